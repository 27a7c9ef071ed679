#include "client/mutelist.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>

#include "windows/spylistform.h"

namespace ombrix::client {

namespace {
const QString kSeatFamily = "label_playername";
}

MuteList::MuteList(TableView& table) : t_(table), seatMenu_(table.surface().findChild<QMenu*>("popup_kick")) {
  separator_ = seatMenu_->addSeparator();
  entry_ = seatMenu_->addAction("Mute");
  entry_->setObjectName("Mute1");
  connect(entry_, &QAction::triggered, this, [this] { toggle(target_, targetName_); });
  // The seat menu's entries are the host's alone, and are disabled for
  // anyone else as it opens; muting is everyone's.
  connect(seatMenu_, &QMenu::aboutToShow, this, [this] { entry_->setEnabled(true); });
  popup_mute = new QMenu(&t_.surface());
  popup_mute->setObjectName("popup_mute");
  popup_mute->addAction(entry_);
  for (int p = 1; p <= 4; ++p) t_.el("label_playername", p)->installEventFilter(this);
}

void MuteList::attach(windows::Tspylist* spies) {
  spies_ = spies;
  if (spies_)
    spies_->extendMenu = [this](QMenu& menu, int number, const QString& name) {
      addEntry(menu, number, name);
    };
}

void MuteList::prepare(int number, const QString& name) {
  target_ = number;
  targetName_ = name;
  entry_->setText(isMuted(number) ? "Unmute" : "Mute");
}

bool MuteList::eventFilter(QObject* o, QEvent* e) {
  if (e->type() != QEvent::ContextMenu) return false;
  auto* label = static_cast<QWidget*>(o);
  const int seat = label->objectName().mid(kSeatFamily.size()).toInt();
  const QString name = t_.caption(seat);
  const bool offer = TableModel::isSeat(seat) && seat != t_.model().mySeat() && name != TableModel::kWaiting;
  if (offer) prepare(seat, name);
  entry_->setVisible(offer);
  separator_->setVisible(offer);
  if (label->contextMenuPolicy() == Qt::CustomContextMenu)
    return false;  // the seat menu opens, with the entry
  if (!offer) return false;
  entry_->setEnabled(true);
  popup_mute->popup(static_cast<QContextMenuEvent*>(e)->globalPos());
  return true;
}

QAction* MuteList::addEntry(QMenu& menu, int number, const QString& name) {
  if (number == t_.model().mySeat()) return nullptr;
  menu.addSeparator();
  QAction* a = menu.addAction(isMuted(number) ? "Unmute" : "Mute");
  a->setObjectName("Mute1");
  connect(a, &QAction::triggered, this, [this, number, name] { toggle(number, name); });
  return a;
}

void MuteList::toggle(int number, const QString& name) {
  if (number < 1) return;
  if (muted_.erase(number)) {
    t_.notice(name + " is no longer muted.");
    return;
  }
  muted_[number] = name;
  t_.notice(name +
             " is muted: their chat lines, actions and chatter sounds are not shown or played here.");
}

std::map<int, QString> MuteList::present() const {
  std::map<int, QString> out;
  const TableModel& m = t_.model();
  for (int n = 1; n <= TableModel::kLastSlot; ++n) {
    const std::string& name = m.name(n);
    if (!name.empty() && name != TableModel::kWaiting)
      out[n] = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
  }
  return out;
}

int MuteList::senderOf(const QString& line, const QString& after) const {
  int sender = 0;
  qsizetype longest = -1;
  for (const auto& [n, name] : present())
    if (name.size() > longest && line.startsWith(name + after)) {
      sender = n;
      longest = name.size();
    }
  return sender;
}

bool MuteList::hides(const TableEvent& e) const {
  if (muted_.empty()) return false;
  if (const auto* line = std::get_if<ev::Line>(&e)) {
    const QString text = QString::fromLatin1(line->text.data(), static_cast<qsizetype>(line->text.size()));
    return isMuted(senderOf(text, line->action ? " " : " chats: "));
  }
  if (const auto* sound = std::get_if<ev::Sound>(&e)) return isMuted(sound->slot);
  return false;
}

void MuteList::after(const TableEvent& e) {
  if (muted_.empty()) return;
  if (const auto* d = std::get_if<ev::Departed>(&e)) muted_.erase(d->slot);
  // Someone else in that place (a seat's new name, a spectator gone) ends it too.
  const std::map<int, QString> now = present();
  std::erase_if(muted_, [&](const auto& m) {
    const auto at = now.find(m.first);
    return at == now.end() || at->second != m.second;
  });
}

}  // namespace ombrix::client
