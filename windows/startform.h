// The first window of a solo start when Ombrix Lobby is installed beside
// the game: what a player can do here, "Play Solo", "Play with Others" and,
// when a game was left unfinished, "Resume". Return takes the default:
// "Resume" when there is a saved game, so a hasty key never loses one.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;

namespace ombrix::windows {

class Tstart : public QDialog {
 public:
  explicit Tstart(QWidget* parent = nullptr);

  // Offers "Resume" for a game left in that round (0: no saved game) and
  // shows the window, its default chosen.
  void offer(int savedRound);

  QPushButton *button_solo, *button_others, *button_resume;
  QLabel* label_resume;

  // What each choice does; the window is closed first.
  std::function<void()> onSolo, onOthers, onResume;

  void button_soloClick() { choose(onSolo); }
  void button_othersClick() { choose(onOthers); }
  void button_resumeClick() { choose(onResume); }

 protected:
  // Closed without a choice (the close box, Escape): the default is taken,
  // so the game behind the window goes on as Return would have had it.
  void reject() override;
  void showEvent(QShowEvent* e) override;  // centred on the table

 private:
  void choose(const std::function<void()>& f);
  bool chosen_ = false;
  bool saved_ = false;
};

}  // namespace ombrix::windows
