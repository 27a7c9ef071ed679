#include "ui/carddecks.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "base/cards.h"
#include "ui/settings.h"

namespace ombrix::ui {

namespace {
const char* const kKdeFolder = "/usr/share/carddecks";
const char* const kGnomeFolder = "/usr/share/aisleriot/cards";

// "anglo_modern_4_color" -> "Anglo Modern 4 Color".
QString titleOf(const QString& base) {
  QStringList words = QString(base).replace('-', '_').split('_', Qt::SkipEmptyParts);
  for (QString& w : words) w[0] = w[0].toUpper();
  return words.join(' ');
}

void addKde(const QString& folder, std::vector<CardDeck>& out) {
  const QDir dir(folder);
  std::vector<CardDeck> found;
  for (const QString& sub : dir.entryList({"svg-*"}, QDir::Dirs)) {
    const QString index = dir.filePath(sub + "/index.desktop");
    if (!QFileInfo::exists(index)) continue;
    const QHash<QString, QString> desktop = readSection(index, "KDE Backdeck");
    const QString svg = desktop.value("svg");
    if (svg.isEmpty() || !QFileInfo::exists(dir.filePath(sub + "/" + svg))) continue;
    CardDeck d;
    d.id = sub;
    d.name = desktop.value("name", titleOf(sub.mid(4)));
    d.svg = dir.filePath(sub + "/" + svg);
    const QString preview = desktop.value("preview");
    if (!preview.isEmpty() && QFileInfo::exists(dir.filePath(sub + "/" + preview)))
      d.preview = dir.filePath(sub + "/" + preview);
    found.push_back(d);
  }
  std::sort(found.begin(), found.end(), [](const CardDeck& a, const CardDeck& b) { return a.name < b.name; });
  out.insert(out.end(), found.begin(), found.end());
}

void addGnome(const QString& folder, std::vector<CardDeck>& out) {
  const QDir dir(folder);
  std::vector<CardDeck> found;
  for (const QFileInfo& f : dir.entryInfoList({"*.svgz", "*.svg"}, QDir::Files)) {
    CardDeck d;
    d.id = "aisleriot/" + f.completeBaseName();
    d.name = titleOf(f.completeBaseName()) + " (GNOME)";
    d.svg = f.filePath();
    d.gnomeNames = true;
    found.push_back(d);
  }
  std::sort(found.begin(), found.end(), [](const CardDeck& a, const CardDeck& b) { return a.name < b.name; });
  out.insert(out.end(), found.begin(), found.end());
}
}  // namespace

QString CardDeck::elementId(int n) const {
  if (n < 1 || n > kDeckSize) return "back";
  static const char* const suits[] = {"", "club", "diamond", "heart", "spade"};
  static const char* const ranks[] = {"",  "2", "3",  "4",    "5",     "6",    "7",
                                      "8", "9", "10", "jack", "queen", "king", "1"};
  const char* rank = ranks[rankOf(n)];
  const char* suit = suits[suitOf(n)];
  return gnomeNames ? QString("%1_%2").arg(suit, rank) : QString("%1_%2").arg(rank, suit);
}

std::vector<CardDeck> installedDecks(const QString& kdeFolder, const QString& gnomeFolder) {
  std::vector<CardDeck> decks;
  addKde(kdeFolder.isEmpty() ? kKdeFolder : kdeFolder, decks);
  addGnome(gnomeFolder.isEmpty() ? kGnomeFolder : gnomeFolder, decks);
  return decks;
}

const CardDeck* findDeck(const std::vector<CardDeck>& decks, const QString& id) {
  for (const CardDeck& d : decks)
    if (d.id == id) return &d;
  return nullptr;
}

}  // namespace ombrix::ui
