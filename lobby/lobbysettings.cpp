#include "lobby/lobbysettings.h"

#include <utility>
#include <vector>

#include "ui/settings.h"
#include "ui/userfiles.h"

namespace ombrix::lobby {

namespace {
const char* const kSection = "Lobby";
}  // namespace

QString settingsFile() { return ui::userFile("quarrowlobby.ini", ui::FileKind::Settings); }

LobbySettings readSettings(const QString& file) {
  const QHash<QString, QString> keys = ui::readSection(file, kSection);
  return {keys.value("name"), keys.value("address"), keys.value("server"), keys.value("portmapping") != "0",
          keys.value("houserules")};
}

bool writeSettings(const QString& file, const LobbySettings& now, const LobbySettings& before) {
  std::vector<std::pair<QString, QString>> keys;
  if (now.name != before.name) keys.emplace_back("Name", now.name);
  if (now.address != before.address) keys.emplace_back("Address", now.address);
  if (now.server != before.server) keys.emplace_back("Server", now.server);
  if (now.portMapping != before.portMapping) keys.emplace_back("PortMapping", now.portMapping ? "1" : "0");
  if (now.houseRules != before.houseRules) keys.emplace_back("HouseRules", now.houseRules);
  if (keys.empty()) return true;
  return ui::makeFolderFor(file) && ui::writeKeys(file, kSection, keys);
}

}  // namespace ombrix::lobby
