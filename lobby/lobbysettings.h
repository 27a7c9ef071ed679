// The lobby's own settings: the section "Lobby" of the settings file the
// game shares ("quarrowlobby.ini", found where the game finds it), written
// with the same byte-keeping writer, so neither program ever changes a byte
// of the other's section.
#pragma once

#include <QString>

namespace ombrix::lobby {

struct LobbySettings {
  QString name;     // "Name": the player's name
  QString address;  // "Address": the last address joined by hand
  // "Server": the lobby server, HOST[:PORT]; empty (no server) unless the
  // player names one: none is built in.
  QString server;
  // "PortMapping": a table hosted through the lobby server asks the home
  // router for a port (UPnP); "0" when the player turned it off.
  bool portMapping = true;
  // "HouseRules": the LIST a table hosted here starts with; empty for the
  // design's rules.
  QString houseRules;
  bool operator==(const LobbySettings&) const = default;
};

// The shared settings file, beside the programs or in the player's folders.
QString settingsFile();

LobbySettings readSettings(const QString& file);
// Writes only what differs from `before` (nothing when nothing does); false
// when the file could not be written.
bool writeSettings(const QString& file, const LobbySettings& now, const LobbySettings& before);

}  // namespace ombrix::lobby
