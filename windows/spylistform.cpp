#include "windows/spylistform.h"
#include "ui/designscale.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>

namespace ombrix::windows {

namespace {
constexpr int kWidth = 170, kHeight = 195;
}  // namespace

Tspylist::Tspylist(QWidget* parent) : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName("Tspylist");
  setWindowTitle("Ombrix-Spys");
  resize(kWidth, kHeight);
  setStyleSheet("QDialog { background: #F5F0A9; }");
  listbox_spys = new QListWidget(this);
  listbox_spys->setObjectName("listbox_spys");
  listbox_spys->setGeometry(0, 0, 154, 130);
  listbox_spys->setMouseTracking(true);
  listbox_spys->viewport()->installEventFilter(this);
  QFont f("Arial");
  f.setPixelSize(11);
  listbox_spys->setFont(f);
  auto* caption = new QLabel("Spy List", this);
  QFont b("Arial");
  b.setBold(true);
  b.setPixelSize(19);
  caption->setFont(b);
  caption->setGeometry(4, 134, 100, 24);
  auto* done = new QPushButton("Done", this);
  done->setObjectName("Button1");
  done->setGeometry(100, 162, 55, 20);
  connect(done, &QPushButton::clicked, this, [this] { hide(); });
  popup_kickhim = new QAction("Remove From Game", this);
  popup_kickhim->setObjectName("popup_kickhim");
  popup_kickhim->setEnabled(false);
  connect(popup_kickhim, &QAction::triggered, this, [this] { popup_kickhimClick(); });
  ui::scaleWithWindow(this, {kWidth, kHeight});
}

void Tspylist::add(int number, const QString& name) {
  // One line a slot: a slot told again shows the later name.
  const QString entry = QString::number(number) + ": " + name;
  for (int i = 0; i < listbox_spys->count(); ++i)
    if (listbox_spys->item(i)->text().startsWith(QString::number(number) + ": "))
      return listbox_spys->item(i)->setText(entry);
  listbox_spys->addItem(entry);
}

bool Tspylist::remove(int number, const QString& name) {
  const QString entry = QString::number(number) + ": " + name;
  for (int i = 0; i < listbox_spys->count(); ++i)
    if (listbox_spys->item(i)->text().compare(entry, Qt::CaseInsensitive) == 0) {
      delete listbox_spys->takeItem(i);
      return true;
    }
  return false;
}

void Tspylist::pointAt(const QPoint& pos) {
  QListWidgetItem* item = listbox_spys->itemAt(pos);
  pointed = item ? listbox_spys->row(item) : -1;
}

void Tspylist::popup_kickhimClick() {
  if (pointed < 0 || pointed >= listbox_spys->count()) return;
  const QString text = listbox_spys->item(pointed)->text();
  bool ok = false;
  const int number = text.left(text.indexOf(':')).toInt(&ok);
  if (ok && kicking) kicking(number);
}

bool Tspylist::eventFilter(QObject* o, QEvent* e) {
  if (o == listbox_spys->viewport()) {
    if (e->type() == QEvent::MouseMove) pointAt(static_cast<QMouseEvent*>(e)->position().toPoint());
    if (e->type() == QEvent::ContextMenu) {
      auto* ce = static_cast<QContextMenuEvent*>(e);
      pointAt(ce->pos());
      QMenu menu;
      menu.setObjectName("popup_kick");
      menu.addAction(popup_kickhim);
      if (extendMenu && pointed >= 0 && pointed < listbox_spys->count()) {
        const QString text = listbox_spys->item(pointed)->text();  // "7: Ann"
        bool ok = false;
        const int number = text.left(text.indexOf(':')).toInt(&ok);
        if (ok) extendMenu(menu, number, text.mid(text.indexOf(':') + 2));
      }
      menu.exec(ce->globalPos());
      return true;
    }
  }
  return QDialog::eventFilter(o, e);
}

}  // namespace ombrix::windows
