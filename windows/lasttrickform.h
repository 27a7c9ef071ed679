// The last trick: the four cards of the trick completed last, its winner,
// the suit that was led and the trump.
#pragma once

#include <QDialog>
#include <array>
#include <functional>

class QLabel;

namespace ombrix::ui {
class CardLabel;
}

namespace ombrix::windows {

class Tlasttrick : public QDialog {
 public:
  explicit Tlasttrick(QWidget* parent = nullptr);
  std::array<ui::CardLabel*, 5> played{};  // [1..4], host seats
  std::array<QLabel*, 5> player{};
  QLabel *label_winner, *label_ledoff;
  ui::CardLabel* trumpcard;
  std::function<QString(int seat)> seatCaption;

  // Fills the window at the end of a trick; `led` 0 keeps the led-suit text.
  void fill(const QString& winnerText, const std::array<int, 5>& cards, int trump, int led);
  static QString suitName(int card);  // "" outside 1..52

 protected:
  bool event(QEvent* e) override;
};

}  // namespace ombrix::windows
