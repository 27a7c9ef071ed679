// A card on a window: one card's picture, or a fan of backs, drawn from
// ui/cardpictures.h at the size the label takes on the screen. While only a
// stand-in of another size is there, the label shows it scaled and takes
// the real picture when it comes.
#pragma once

#include <QLabel>
#include <cstdint>

namespace ombrix::ui {

class CardLabel : public QLabel {
 public:
  // The design distance between two backs of a fan.
  static constexpr int kFanStep = 5;

  explicit CardLabel(QWidget* parent = nullptr);
  ~CardLabel() override;

  // Shows card n (0 the back, 1..52 a face); -1 shows nothing.
  void setCard(int n);
  int shownCard() const { return card_; }
  // Shows `count` backs side by side, each kFanStep design pixels right of
  // the one before, the later ones over the earlier; 0 shows nothing. The
  // label's width is the fan's (set by its owner).
  void setFan(int count);
  int fanCount() const { return fan_; }
  // A veil over the card: it may not be played now.
  void setDimmed(bool on);
  bool dimmed() const { return dimmed_; }
  // The picture is exact for the label's size and the screen (not a stand-in).
  bool sharp() const { return sharp_; }
  // Not drawn while a picture of it is on its way here (client/flights.h);
  // everything else about it stands.
  void setVeiled(bool on);
  bool veiled() const { return veiled_; }
  // A frame around the card: it takes the trick on the table.
  void setHighlighted(bool on);
  bool highlighted() const { return highlighted_; }

  // The card's size on the screen at the factor its parent shows the design.
  QSize cardSize() const;

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  void refresh();
  int card_ = -1, fan_ = 0;
  bool dimmed_ = false, sharp_ = true, veiled_ = false, highlighted_ = false;
  int listener_ = 0;
  uint64_t drawnFor_ = 0;  // the pictures' style generation the label shows
};

}  // namespace ombrix::ui
