#include "windows/startform.h"

#include <QLabel>
#include <QPushButton>

#include "ui/designscale.h"
#include "widgets/art.h"

namespace ombrix::windows {

namespace {

constexpr int kWidth = 380, kHeight = 214;
// The choices stand in rows: a button and a line saying what it does.
constexpr int kFirstRow = 62, kRowStep = 46, kRowHeight = 32, kButtonWidth = 140, kGap = 10, kMargin = 12;

QLabel* text(QWidget* parent, const QString& s, const char* name, int pixels, bool bold = false) {
  auto* l = new QLabel(s, parent);
  l->setObjectName(name);
  l->setWordWrap(true);
  QFont f("Arial");
  f.setPixelSize(pixels);
  f.setBold(bold);
  l->setFont(f);
  return l;
}

}  // namespace

Tstart::Tstart(QWidget* parent) : QDialog(parent, Qt::Tool) {
  setObjectName("Tstart");
  setWindowTitle("Ombrix");
  resize(kWidth, kHeight);
  ui::designFill(new widgets::BackgroundPanel(this));
  text(this, "Welcome to Ombrix", "label_welcome", 18, true)->setGeometry(kMargin, 10, kWidth - 2 * kMargin, 26);
  text(this, "What would you like to do?", "label_what", 12)->setGeometry(kMargin, 36, kWidth - 2 * kMargin, 18);
  auto row = [this](const QString& caption, const char* name, const QString& says, const char* labelName,
                    int index, auto click) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setGeometry(kMargin, kFirstRow + index * kRowStep, kButtonWidth, kRowHeight);
    connect(b, &QPushButton::clicked, this, [this, click] { (this->*click)(); });
    auto* l = text(this, says, labelName, 12);
    l->setGeometry(kMargin + kButtonWidth + kGap, kFirstRow + index * kRowStep,
                   kWidth - 2 * kMargin - kButtonWidth - kGap, kRowHeight);
    return std::pair{b, l};
  };
  std::tie(button_resume, label_resume) =
      row("Resume", "button_resume", "", "label_resume", 0, &Tstart::button_resumeClick);
  button_solo = row("Play Solo", "button_solo", "Three computer players join you at this table.", "label_solo", 1,
                    &Tstart::button_soloClick)
                    .first;
  button_others = row("Play with Others", "button_others",
                      "Opens Ombrix Lobby: join or host a table on your network or online.", "label_others", 2,
                      &Tstart::button_othersClick)
                      .first;
  ui::scaleWithWindow(this, {kWidth, kHeight});
}

void Tstart::offer(int savedRound) {
  chosen_ = false;
  saved_ = savedRound > 0;
  const bool saved = saved_;
  button_resume->setVisible(saved);
  label_resume->setVisible(saved);
  label_resume->setText("Take up the game you left in round " + QString::number(savedRound) + ".");
  // Without a saved game the two rows stand in the middle of the three.
  const int top = saved ? kFirstRow + kRowStep : kFirstRow + kRowStep / 2;
  const std::pair<QWidget*, QWidget*> rows[] = {{button_solo, findChild<QWidget*>("label_solo")},
                                                {button_others, findChild<QWidget*>("label_others")}};
  for (int k = 0; k < 2; ++k)
    for (QWidget* w : {rows[k].first, rows[k].second}) ui::designMove(w, {ui::designRect(w).x(), top + k * kRowStep});
  QPushButton* preferred = saved ? button_resume : button_solo;
  for (QPushButton* b : {button_resume, button_solo, button_others}) {
    b->setAutoDefault(false);
    b->setDefault(b == preferred);
  }
  show();
  raise();
  activateWindow();
  preferred->setFocus();
}

void Tstart::choose(const std::function<void()>& f) {
  if (chosen_) return;
  chosen_ = true;
  hide();
  if (f) f();
}

void Tstart::reject() {
  if (chosen_) return QDialog::reject();
  choose(saved_ ? onResume : onSolo);
}

void Tstart::showEvent(QShowEvent* e) {
  if (QWidget* p = parentWidget()) move(p->geometry().center() - QPoint(width() / 2, height() / 2));
  QDialog::showEvent(e);
}

}  // namespace ombrix::windows
