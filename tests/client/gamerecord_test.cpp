// The game record: a seeded solo half game played to its end, its record read
// back line by line and held against every announcement the table received;
// then what a late joiner's and a spectator's records say, and a save that
// fails.
#include "client/gamerecord.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <map>
#include <tuple>

#include "tests/client/table_fixture.h"

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace ombrix::test {
namespace {

using client::GameRecord;

TEST(GameRecord, CardsAreRankAndSuitLetter) {
  const std::map<int, QString> names = {{1, "2C"},  {9, "10C"}, {10, "JC"}, {13, "AC"}, {14, "2D"},
                                        {26, "AD"}, {27, "2H"}, {39, "AH"}, {40, "2S"}, {52, "AS"}};
  for (auto [card, name] : names) EXPECT_EQ(GameRecord::cardName(card), name) << card;
  EXPECT_EQ(GameRecord::cardName(0), "?");
  EXPECT_EQ(GameRecord::cardName(53), "?");
}

// --- A seeded solo game --------------------------------------------------------

constexpr uint64_t kSeed = 1313;
constexpr double kTimeScale = 100;  // the host's pauses a hundred times shorter: 55 tricks in seconds

// The host, keeping a copy of everything it sends the table (slot 1).
class TapHost : public HostSockets {
 public:
  using HostSockets::HostSockets;
  void send(int slot, std::string_view m) override {
    if (slot == 1) toTable.emplace_back(m);
    HostSockets::send(slot, m);
  }
  std::vector<std::string> toTable;
};

// One round as the announcements tell it, or as the record tells it.
struct RoundSeen {
  int number = 0;
  QString dealer, trump;
  std::vector<QString> hand;
  std::vector<std::pair<QString, int>> bids;
  std::vector<std::vector<std::pair<QString, QString>>> tricks;  // (name, card) in order
  std::vector<QString> winners;
  std::vector<std::tuple<QString, int, int>> scores;  // name, points, total
  bool operator==(const RoundSeen&) const = default;
};

const QString kNames[5] = {"", "You", "Reza", "Vivav", "Derev"};

QStringList fieldsOf(const std::string& m) { return QString::fromLatin1(m.c_str()).split('+'); }

std::vector<RoundSeen> fromAnnouncements(const std::vector<std::string>& messages, QString* winnerLine) {
  std::vector<RoundSeen> rounds;
  bool trickOpen = false;
  for (const std::string& m : messages) {
    const QStringList f = fieldsOf(m);
    const QString c = f[0];
    if (c == "CMD_startround") {
      rounds.push_back({});
      rounds.back().number = f[1].toInt();
      rounds.back().dealer = kNames[f[2].toInt()];
      continue;
    }
    if (rounds.empty()) continue;
    RoundSeen& r = rounds.back();
    if (c == "CMD_trump") {
      r.trump = GameRecord::cardName(f[1].toInt());
    } else if (c == "CMD_placecard" && f[1] == "1") {
      std::vector<int> cards;
      for (int k = 3; k < f.size(); k += 2) cards.push_back(f[k].toInt());
      std::sort(cards.begin(), cards.end());
      for (int card : cards) r.hand.push_back(GameRecord::cardName(card));
    } else if (c == "CMD_hisbid" && f[1] != "0") {
      r.bids.push_back({kNames[f[1].toInt()], f[2].toInt()});
    } else if (c == "CMD_playcard") {
      if (!trickOpen) r.tricks.emplace_back();
      trickOpen = true;
      r.tricks.back().push_back({kNames[f[1].toInt()], GameRecord::cardName(f[3].toInt())});
    } else if (c == "CMD_trickwinner") {
      r.winners.push_back(kNames[f[1].toInt()]);
      trickOpen = false;
    } else if (c == "CMD_score") {
      r.scores.push_back({kNames[f[1].toInt()], f[3].toInt(), f[2].toInt()});
    } else if (c == "CMD_winner") {
      *winnerLine = "Winner: " + f[1] + " with " + f[2];
    }
  }
  return rounds;
}

std::vector<RoundSeen> fromRecord(const QString& text, QStringList* unread) {
  static const QRegularExpression round(R"(^Round (\d+): \d+ cards?, dealer (\S+), trump (\S+)$)"),
      hand(R"(^Hand: (.*)$)"), bids(R"(^Bids: (.*); total \d+$)"),
      trick(R"(^Trick \d+: (.*); won by (\S+)$)"), scores(R"(^Scores: (.*)$)"),
      score(R"(^(\S+) (\d+) \(total (\d+)\)$)");
  std::vector<RoundSeen> rounds;
  for (const QString& line : text.split('\n')) {
    QRegularExpressionMatch m;
    if ((m = round.match(line)).hasMatch()) {
      rounds.push_back({});
      rounds.back().number = m.captured(1).toInt();
      rounds.back().dealer = m.captured(2);
      rounds.back().trump = m.captured(3);
    } else if (line.isEmpty()) {
      continue;
    } else if (rounds.empty()) {
      *unread << line;
    } else if ((m = hand.match(line)).hasMatch()) {
      for (const QString& card : m.captured(1).split(' ')) rounds.back().hand.push_back(card);
    } else if ((m = bids.match(line)).hasMatch()) {
      for (const QString& b : m.captured(1).split(", "))
        rounds.back().bids.push_back({b.section(' ', 0, 0), b.section(' ', 1).toInt()});
    } else if ((m = trick.match(line)).hasMatch()) {
      rounds.back().tricks.emplace_back();
      for (const QString& played : m.captured(1).split(", "))
        rounds.back().tricks.back().push_back({played.section(' ', 0, 0), played.section(' ', 1)});
      rounds.back().winners.push_back(m.captured(2));
    } else if ((m = scores.match(line)).hasMatch()) {
      for (const QString& s : m.captured(1).split(", ")) {
        const QRegularExpressionMatch one = score.match(s);
        EXPECT_TRUE(one.hasMatch()) << s.toStdString();
        rounds.back().scores.push_back({one.captured(1), one.captured(2).toInt(), one.captured(3).toInt()});
      }
    } else {
      *unread << line;
    }
  }
  return rounds;
}

struct RecordedSolo : Table {
  void SetUp() override {
    Table::SetUp();
    host = std::make_unique<TapHost>(kSeed, kTimeScale);
    binding = std::make_unique<HostBinding>(*host);
    table.attach(&score, &lastTrick, &spies, binding.get());
    table.hostPort = "0";
    table.processparams({});
    ASSERT_TRUE(waitFor([&] { return table.model().loggedIn() && table.caption(1) == "You"; }));
  }
  std::unique_ptr<TapHost> host;
  std::unique_ptr<HostBinding> binding;
};

TEST_F(RecordedSolo, AGamesRecordHoldsEveryAnnouncedMove) {
  EXPECT_FALSE(table.gameRecord().hasGame());
  table.StartHalfGame1Click();
  QString midway;
  int clicks = 0;
  ASSERT_TRUE(playToTheEnd(table, 300000, [&] {
    if (++clicks == 30) midway = table.gameRecord().text();
  }));
  EXPECT_TRUE(table.gameRecord().hasGame());

  const QString text = table.gameRecord().text();
  QString winnerLine;
  const std::vector<RoundSeen> announced = fromAnnouncements(host->toTable, &winnerLine);
  QStringList unread;
  const std::vector<RoundSeen> recorded = fromRecord(text, &unread);
  ASSERT_EQ(announced.size(), 10u);
  ASSERT_EQ(recorded.size(), 10u);
  for (size_t r = 0; r < 10; ++r) {
    EXPECT_EQ(recorded[r], announced[r]) << "round " << r + 1;
    EXPECT_EQ(recorded[r].tricks.size(), r + 1);  // a finished round holds every trick
  }
  EXPECT_EQ(unread,
            (QStringList{"Ombrix game record", "Game: HALF (10 rounds), started by You",
                         "Seen by: You, seat 1", "Seats: 1 You, 2 Reza, 3 Vivav, 4 Derev", winnerLine}));
  EXPECT_TRUE(text.contains("\nRound 3: 3 cards, dealer "));
  EXPECT_TRUE(text.contains("\nRound 10: 10 cards, dealer "));

  // On demand during the game: the rounds so far as they stand at the end,
  // and of the round under way what had been played.
  const qsizetype lastRound = midway.lastIndexOf("\n\nRound ");
  EXPECT_TRUE(text.startsWith(midway.left(lastRound)));
  EXPECT_GE(midway.left(lastRound).count("\nRound "), 5);
  for (const QString& line : midway.mid(lastRound).split('\n', Qt::SkipEmptyParts))
    if (!line.endsWith("; not finished")) {
      EXPECT_TRUE(text.contains(line + "\n")) << line.toStdString();
    }

  QTemporaryDir dir;
  const QString path = dir.filePath("game.txt");
  ASSERT_TRUE(table.saveGameRecord(path));
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(saved.readAll()), text);
  EXPECT_TRUE(boxes.empty());
}

// --- Fed announcements ------------------------------------------------------------

TEST_F(Table, ALateJoinersRecordStartsWhereItCameIn) {
  feed("CMD_sendlogininfo+3");
  feed("CMD_newplayerinfo+3+Cy");
  feed("CMD_existingplayers+1+Ann");
  feed("CMD_placecard+3+1+0+2+27+3+0+4+52+5+0+6+0+7+8");
  feed("CMD_newplayerstuff+1+2+1+22+1+14+2+0+3+0+4+20+");
  feed("CMD_newplayerstuff+2+0+0+11+1+14+2+0+3+0+4+20+");
  feed("CMD_newplayerstuff+3+1+0+5+1+14+2+0+3+0+4+20+");
  feed("CMD_newplayerstuff+4+3+2+0+1+14+2+0+3+0+4+20+");
  feed("CMD_stats+2+0+7+33+f+");
  feed("CMD_playcard+2+4+17");
  feed("CMD_playcard+3+2+27");
  feed("CMD_trickwinner+1+2");
  feed("CMD_playcard+1+1+3");
  const QString text = table.gameRecord().text();
  EXPECT_EQ(text.section("\n\n", 0, 0),
            "Ombrix game record\n"
            "Game: FULL (20 rounds), joined during round 7; the rounds before were "
            "not seen\n"
            "Seen by: Cy, seat 3\n"
            "Seats: 1 Ann, 2 Reza, 3 Cy, 4 Derev");
  EXPECT_EQ(text.section("\n\n", 1),
            "Round 7: 7 cards, trump 8H (joined during this round)\n"
            "When joined: Ann bid 2, 1 trick, score 22; Reza bid 0, 0 tricks, score 11; Cy bid 1, 0 tricks, "
            "score 5; Derev bid 3, 2 tricks, score 0\n"
            "Hand when joined: 9C 2H AS\n"
            "Trick 4: (on the table when joined: Ann 2D, Derev 8D) Reza 5D, Cy 2H; won by Ann\n"
            "Trick 5: Ann 4C; not finished\n");
  // The next round is recorded from its start.
  feed("CMD_startround+8+4");
  feed("CMD_placecard+3+1+40+2+41");
  feed("CMD_trump+1");
  EXPECT_TRUE(
      table.gameRecord().text().endsWith("\nRound 8: 8 cards, dealer Derev, trump 2C\nHand: 2S 3S\n"));
}

TEST_F(Table, ASpectatorsRecordNamesTheWatcherAndAFailedSaveIsTold) {
  EXPECT_EQ(table.gameRecord().text(), "Ombrix game record\nNo game seen yet.\n");
  // The menu entry is offered once there is a game to record.
  EXPECT_EQ(action(table, "SaveGameRecord1")->text(), QString::fromUtf8("Save Game Record\u2026"));
  auto* file = qobject_cast<QMenu*>(action(table, "SaveGameRecord1")->associatedObjects().value(0));
  ASSERT_TRUE(file);
  file->aboutToShow();
  EXPECT_FALSE(action(table, "SaveGameRecord1")->isEnabled());
  feed("CMD_sendlogininfo+6");
  feed("CMD_newplayerinfo+6+Eve");
  feed("CMD_newplayerinfo+1+Ann");
  feed("CMD_startgame+Ann+h+");
  file->aboutToShow();
  EXPECT_TRUE(action(table, "SaveGameRecord1")->isEnabled());
  feed("CMD_startround+1+4");
  feed("CMD_placecard+1+1+0");
  feed("CMD_trump+30");
  feed("CMD_hisbid+1+1+1");
  feed("CMD_newplayerinfo+2+Bo");  // a person takes the computer's seat mid-round
  feed("CMD_startround+2+1");
  const QString text = table.gameRecord().text();
  EXPECT_TRUE(
      text.startsWith("Ombrix game record\nGame: HALF (10 rounds), started by Ann\n"
                      "Seen by: Eve, spectator\nSeats: 1 Ann, 2 Reza, 3 Vivav, 4 Derev\n"));
  EXPECT_TRUE(text.contains("\nRound 1: 1 card, dealer Derev, trump 5H\nBids: Ann 1; total 1\n"));
  EXPECT_TRUE(text.endsWith(
      "\nRound 2: 2 cards, dealer Ann, trump not seen\nSeats: 1 Ann, 2 Bo, 3 Vivav, 4 Derev\n"));

  QTemporaryDir dir;
  const QString path = dir.filePath("no-such-folder/game.txt");
  EXPECT_FALSE(table.saveGameRecord(path));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].startsWith("Could not save the game record to " + path + ": "))
      << boxes[0].toStdString();
}

}  // namespace
}  // namespace ombrix::test
