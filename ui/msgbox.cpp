#include "ui/msgbox.h"

#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <vector>

namespace ombrix::ui {

namespace {
MessageBoxSink& sink() {
  static MessageBoxSink s;
  return s;
}
QuestionSink& questionSink() {
  static QuestionSink s;
  return s;
}
ChoiceSink& choiceSink() {
  static ChoiceSink s;
  return s;
}
}  // namespace

void setMessageBoxSink(MessageBoxSink s) { sink() = std::move(s); }

void messageBox(const QString& text, std::function<void()> then) {
  if (sink()) return sink()(text, std::move(then));
  // Window-modal but not a nested loop: the timers keep dispatching.
  auto* box = new QMessageBox(QMessageBox::Information, "Ombrix", text, QMessageBox::Ok);
  box->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(box, &QMessageBox::finished, box, [then](int) {
    if (then) then();
  });
  box->open();
}

void setQuestionSink(QuestionSink s) { questionSink() = std::move(s); }

void question(const QString& text, std::function<void(bool yes)> answer) {
  if (questionSink()) return questionSink()(text, std::move(answer));
  auto* box = new QMessageBox(QMessageBox::Question, "Ombrix", text, QMessageBox::Yes | QMessageBox::No);
  box->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(box, &QMessageBox::finished, box, [answer](int button) {
    if (answer) answer(button == QMessageBox::Yes);
  });
  box->open();
}

void setChoiceSink(ChoiceSink s) { choiceSink() = std::move(s); }

void choice(const QString& text, const QStringList& buttons, std::function<void(int)> answer) {
  if (choiceSink()) return choiceSink()(text, buttons, std::move(answer));
  auto* box = new QMessageBox(QMessageBox::Question, "Ombrix", text, QMessageBox::NoButton);
  box->setAttribute(Qt::WA_DeleteOnClose);
  std::vector<QAbstractButton*> pressed;
  for (const QString& b : buttons) pressed.push_back(box->addButton(b, QMessageBox::AcceptRole));
  if (!pressed.empty()) {
    box->setDefaultButton(static_cast<QPushButton*>(pressed.front()));
    box->setEscapeButton(pressed.back());
  }
  QObject::connect(box, &QMessageBox::finished, box, [box, answer, pressed](int) {
    const auto it = std::find(pressed.begin(), pressed.end(), box->clickedButton());
    const int index = it == pressed.end() ? static_cast<int>(pressed.size()) - 1 : static_cast<int>(it - pressed.begin());
    if (answer) answer(index);
  });
  box->open();
}

}  // namespace ombrix::ui
