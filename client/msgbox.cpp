#include "client/msgbox.h"

#include <QMessageBox>

namespace ombrix::client {

namespace {
MessageBoxSink& sink() {
  static MessageBoxSink s;
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

}  // namespace ombrix::client
