#include "ui/msgbox.h"

#include <QMessageBox>

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

}  // namespace ombrix::ui
