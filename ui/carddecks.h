// The card decks installed from Debian's packages: KDE's
// (kdegames-card-data-kf5, /usr/share/carddecks/svg-*/index.desktop) and
// GNOME's (gnome-cards-data, /usr/share/aisleriot/cards/*.svgz). Both are SVG
// files whose cards are elements named by rank and suit; they differ only in
// how the names are written.
#pragma once

#include <QString>
#include <vector>

namespace ombrix::ui {

struct CardDeck {
  QString id;       // what the settings file keeps: "svg-oxygen-white", "aisleriot/anglo"
  QString name;     // as a player reads it: "Oxygen White", "Anglo (GNOME)"
  QString svg;      // the deck's SVG file (compressed or not)
  QString preview;  // a picture of a card the package ships, or empty
  bool gnomeNames = false;  // "club_1" … "spade_king"; KDE writes "1_club" … "king_spade"
  // The element of card n (1..52 in the game's numbering, 0 the back).
  QString elementId(int n) const;
};

// The decks under the given folders (the system's when empty), KDE's first,
// each group by name.
std::vector<CardDeck> installedDecks(const QString& kdeFolder = {}, const QString& gnomeFolder = {});

// The deck of that id among `decks`, or null.
const CardDeck* findDeck(const std::vector<CardDeck>& decks, const QString& id);

// The deck the table shows when the player chose none: the one it always showed.
inline constexpr const char* kDefaultDeck = "svg-oxygen-white";
// The cards drawn in code, always there (no deck installed, or tests).
inline constexpr const char* kDrawnDeck = "drawn";

}  // namespace ombrix::ui
