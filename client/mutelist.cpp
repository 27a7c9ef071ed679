#include "client/mutelist.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>

#include "client/chatform.h"
#include "protocol/commands.h"
#include "windows/spylistform.h"

namespace ombrix::client {

namespace {
const QString kSeatFamily = "label_playername";
}

MuteList::MuteList(Tchat& table) : t_(table) {
  separator_ = t_.popup_kick->addSeparator();
  entry_ = t_.popup_kick->addAction("Mute");
  entry_->setObjectName("Mute1");
  connect(entry_, &QAction::triggered, this, [this] { toggle(target_, targetName_); });
  // The seat menu's entries are the host's alone, and are disabled for
  // anyone else as it opens; muting is everyone's.
  connect(t_.popup_kick, &QMenu::aboutToShow, this, [this] { entry_->setEnabled(true); });
  popup_mute = new QMenu(&t_);
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
  const bool offer = seat >= 1 && seat <= 4 && seat != t_.mySeat && name != "<Waiting>";
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
  if (number == t_.mySeat) return nullptr;
  menu.addSeparator();
  QAction* a = menu.addAction(isMuted(number) ? "Unmute" : "Mute");
  a->setObjectName("Mute1");
  connect(a, &QAction::triggered, this, [this, number, name] { toggle(number, name); });
  return a;
}

void MuteList::toggle(int number, const QString& name) {
  if (number < 1) return;
  if (muted_.erase(number)) {
    t_.addlinetochat(name + " is no longer muted.");
    return;
  }
  muted_[number] = name;
  t_.addlinetochat(name +
                   " is muted: their chat lines, actions and chatter sounds are not shown or played here.");
}

std::map<int, QString> MuteList::present() const {
  std::map<int, QString> out;
  for (int s = 1; s <= 4; ++s)
    if (t_.caption(s) != "<Waiting>") out[s] = t_.caption(s);
  if (spies_)
    for (int i = 0; i < spies_->listbox_spys->count(); ++i) {
      const QString entry = spies_->listbox_spys->item(i)->text();  // "7: Ann"
      const int colon = entry.indexOf(": ");
      bool ok = false;
      const int n = entry.left(colon).toInt(&ok);
      if (colon > 0 && ok) out[n] = entry.mid(colon + 2);
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

bool MuteList::hides(const std::string& entry) const {
  if (muted_.empty()) return false;
  const auto [command, fields] = wire::splitCommand(entry);
  const QString d = QString::fromLatin1(fields.data(), static_cast<int>(fields.size()));
  const QString line = d.left(d.indexOf('|'));  // the whole payload when there is no colour
  switch (wire::lookupAnnouncement(command)) {
    case wire::Announcement::Chat:
      return isMuted(senderOf(line, " chats: "));
    case wire::Announcement::Me:
      return isMuted(senderOf(line, " "));
    case wire::Announcement::PlayASound:
      return isMuted(d.section('+', 0, 0).toInt());
    default:
      return false;
  }
}

void MuteList::afterCommand(const std::string& entry) {
  if (muted_.empty()) return;
  const auto [command, fields] = wire::splitCommand(entry);
  if (wire::lookupAnnouncement(command) == wire::Announcement::PlayerDisconnected)
    muted_.erase(
        QString::fromLatin1(fields.data(), static_cast<int>(fields.size())).section('+', 0, 0).toInt());
  // Someone else in that place (a seat's new name, a spectator gone) ends it too.
  const std::map<int, QString> now = present();
  std::erase_if(muted_, [&](const auto& m) {
    const auto at = now.find(m.first);
    return at == now.end() || at->second != m.second;
  });
}

}  // namespace ombrix::client
