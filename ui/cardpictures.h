// The 53 card pictures: 0 the back, 1..52 the faces in the card numbering,
// drawn from an SVG deck of Debian's KDE card data at the screen's pixel
// ratio, each once, when first asked for.
#pragma once

#include <QPixmap>
#include <array>
#include <memory>

class QSvgRenderer;

namespace ombrix::ui {

class CardPictures {
 public:
  static constexpr int kWidth = 71, kHeight = 96;
  static CardPictures& instance();
  // The picture of card n (0 = back); a drawn placeholder if no deck is installed.
  const QPixmap& picture(int n);
  // The SVG element of card n: "1_club" for the ace of clubs ... "king_spade", "back".
  static QString elementId(int n);

 private:
  CardPictures();
  ~CardPictures();
  std::unique_ptr<QSvgRenderer> svg_;
  std::array<QPixmap, 53> cache_;
};

}  // namespace ombrix::ui
