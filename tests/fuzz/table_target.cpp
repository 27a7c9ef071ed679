#include "tests/fuzz/table_target.h"

#include <QListWidget>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "client/tablewindow.h"
#include "client/gamerecord.h"
#include "client/sounds.h"
#include "client/tablehint.h"
#include "protocol/commands.h"
#include "tests/fuzz/fuzz_input.h"
#include "ui/cardpictures.h"
#include "ui/links.h"
#include "ui/msgbox.h"
#include "windows/lasttrickform.h"
#include "windows/scoreform.h"
#include "windows/spylistform.h"
#include "windows/tallylistform.h"

namespace ombrix::fuzz {

namespace {

[[noreturn]] void broken(const char* what, long long detail = 0) {
  std::fprintf(stderr, "table invariant broken: %s (%lld)\n", what, detail);
  std::abort();
}

// Every announcement the table knows, and one it does not.
const char* const kNames[] = {"CMD_sendlogininfo",
                              "CMD_full",
                              "CMD_newplayerinfo",
                              "CMD_existingplayers",
                              "CMD_havewrongversion",
                              "CMD_wrongversion",
                              "CMD_placecard",
                              "CMD_newplayerstuff",
                              "CMD_stats",
                              "CMD_playerdisconnected",
                              "CMD_startgame",
                              "CMD_startround",
                              "CMD_trump",
                              "CMD_bid",
                              "CMD_hisbid",
                              "CMD_nextplayer",
                              "CMD_playcard",
                              "CMD_needsuit",
                              "CMD_trickwinner",
                              "CMD_score",
                              "CMD_winner",
                              "CMD_chat",
                              "CMD_me",
                              "CMD_justwatching",
                              "CMD_playasound",
                              "CMD_features",
                              "CMD_secret",
                              "CMD_nosuch"};

// A field: mostly a number near the ranges the table uses, sometimes one
// far outside them, a text or nothing. Bytes are read in turn, so an input
// means the same under any compiler.
std::string field(Input& in) {
  const uint8_t k = in.byte();
  switch (k % 10) {
    case 0:
      return std::to_string(static_cast<int8_t>(in.byte()));
    case 1: {
      uint32_t v = 0;
      for (int i = 0; i < 4; ++i) v = v << 8 | in.byte();
      return std::to_string(static_cast<int32_t>(v));
    }
    case 2: {
      const uint8_t length = in.byte();
      return in.bytes(length % 12);
    }
    case 3:
      return "";
    default:
      return std::to_string(in.byte() % 60);
  }
}

std::string announcement(Input& in) {
  std::string m = kNames[in.byte() % std::size(kNames)];
  const int fields = in.byte() % 24;
  for (int i = 0; i < fields; ++i) m += "+" + field(in);
  if (in.byte() & 1) m += "+";
  return m;
}

constexpr int kMostCards = 10;  // a hand never holds more
// Steps the hint may take for one piece of advice: a Strong decision is a
// handful of them (its work over one step's), whatever the host announced.
constexpr int kHintSteps = 16;
constexpr int kSpectatorSlots = 5;
// Widgets and other objects a window may gain while it plays (the hand's
// cards, a bid box, menus made on demand): anything past this is a leak
// that grows with the announcements.
constexpr int kObjectsGained = 200;

int objectsUnder(const QObject& o) { return static_cast<int>(o.findChildren<QObject*>().size()); }

// The window and its secondary windows, made once: the inputs are one long
// stream from the same hostile host, so whatever the window keeps has every
// chance to grow.
struct Window {
  QTemporaryDir files;
  client::Tchat table;
  windows::Tscore score{&table};
  windows::Tlasttrick lastTrick{&table};
  windows::Tspylist spies{&table};
  windows::Ttallylist tally{nullptr, files.filePath("ombrixtally.tld")};
  int objectsAtStart = 0;

  Window() {
    table.settingsFile = files.filePath("quarrowlobby.ini");
    table.onClosed = [] {};
    table.attach(&score, &lastTrick, &spies, nullptr, &tally);
    table.myName = "Me";
    objectsAtStart = objectsUnder(table);
  }
};
Window* g_window = nullptr;

// The window's element tables stay within their sizes, and nothing grows
// with the number of announcements beyond its bound.
void check(const Window& w) {
  const client::Tchat& t = w.table;
  if (t.connection().queued() != 0) broken("the queue did not drain", static_cast<long long>(t.connection().queued()));
  const auto cards = t.cardImages().size();
  if (cards > static_cast<size_t>(kMostCards)) broken("more cards in hand than a hand holds", cards);
  for (int s = 1; s <= 4; ++s)
    if (t.model().cardsShown(s) < 0 || t.model().cardsShown(s) > kMostCards)
      broken("a seat's card count out of range", t.model().cardsShown(s));
  if (w.spies.listbox_spys->count() > kSpectatorSlots)
    broken("more spies than slots", w.spies.listbox_spys->count());
  const QTextDocument* chat = t.findChild<QTextEdit*>("mainchat")->document();
  if (chat->maximumBlockCount() <= 0 || chat->blockCount() > chat->maximumBlockCount())
    broken("the chat pane over its bound", chat->blockCount());
  if (t.soundsPlayed().size() > client::Tchat::kSoundsKept)
    broken("sounds kept over their bound", t.soundsPlayed().size());
  if (t.gameRecord().entries() > client::GameRecord::kMaxEntries)
    broken("the game record over its bound", static_cast<long long>(t.gameRecord().entries()));
  const int objects = objectsUnder(t);
  if (objects > w.objectsAtStart + kObjectsGained) broken("the window keeps gaining objects", objects);
}

}  // namespace

void prepareTable() {
  ui::setMessageBoxSink([](const QString&, std::function<void()> then) {
    if (then) then();
  });
  ui::setQuestionSink([](const QString&, std::function<void(bool)> answer) { answer(false); });
  client::setSoundSink([](const QString&) {});
  ui::setLinkOpener([](const QString&) {});
  ui::CardPictures::instance().useDrawnCards();  // what a host sends, not how a deck draws
  if (!g_window) g_window = new Window;
}

void releaseTable() {
  delete g_window;
  g_window = nullptr;
  ui::setMessageBoxSink({});
  ui::setQuestionSink({});
  client::setSoundSink({});
  ui::setLinkOpener({});
}

int driveTable(const uint8_t* data, size_t size) {
  Input in(data, size);
  client::Tchat& table = g_window->table;
  wire::Framer framer;
  while (in.more()) {
    if (in.byte() % 4 == 0) {
      // Raw bytes, cut at every byte 255 as the socket's reads are.
      const uint8_t length = in.byte();
      framer.feed(in.bytes(length), [&](std::string_view m) {
        table.connection().enqueue(std::string(m));
        return true;
      });
    } else {
      table.connection().enqueue(announcement(in));
    }
    while (table.connection().queued() != 0) table.processsocktimer();
    // Now and then the player presses the hint, and it is stepped as the
    // idle window would: each step bounded, the advice done in a few.
    if (in.more() && in.byte() % 8 == 0) {
      table.Hint1Click();
      for (int i = 0; i < kHintSteps && table.hint().thinking(); ++i) table.hint().step();
      if (table.hint().thinking()) broken("the hint still thinking after its steps", kHintSteps);
    }
    check(*g_window);
  }
  return 0;
}

}  // namespace ombrix::fuzz
