// A solo game closed and taken up again, end to end: the real table window,
// its score card and the in-process host, with the save on disk between two
// runs of the program.
#include <gtest/gtest.h>

#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTextEdit>

#include "app/hostbinding.h"
#include "client/tablewindow.h"
#include "client/gamerecord.h"
#include "host/savegame.h"
#include "tests/client/table_fixture.h"
#include "tests/support/qtloop.h"
#include "ui/msgbox.h"
#include "windows/lasttrickform.h"
#include "windows/scoreform.h"
#include "windows/downloadform.h"
#include "windows/spylistform.h"
#include "windows/startform.h"

namespace ombrix::test {
namespace {

constexpr double kScale = 40;  // the host's pauses, forty times faster
constexpr int kTotalRow = 21;  // the score card's totals

// One run of the program: the host, the table window and its score card.
struct Program {
  Program(const QTemporaryDir& dir, const std::string& save, uint64_t seed) {
    host = std::make_unique<HostSockets>(seed, kScale);
    binding = std::make_unique<HostBinding>(*host, save);
    table = std::make_unique<Tchat>();
    table->settingsFile = dir.filePath("quarrowlobby.ini");
    score = new windows::Tscore(table.get());
    table->attach(score, new windows::Tlasttrick(table.get()), new windows::Tspylist(table.get()), binding.get());
    table->hostPort = "0";
  }
  ~Program() {
    // As the program ends: the saver first, so nothing of the teardown
    // reaches the save.
    binding.reset();
    table.reset();
    host.reset();
  }
  std::unique_ptr<HostSockets> host;
  std::unique_ptr<HostBinding> binding;
  std::unique_ptr<Tchat> table;
  windows::Tscore* score = nullptr;
};

// What a player sees of the game, to hold the resumed table against.
struct Seen {
  std::array<int, 11> hand{};
  std::array<int, 5> scores{}, tricks{}, bids{}, backs{};
  std::array<int, 4> trick{};  // the trick on the table, in the order played
  int round = 0, inTrick = 0, leader = 0;
  std::vector<QString> card;  // the score card's rows so far and its totals
  bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* os) {
  auto list = [os](const char* what, auto& a) {
    *os << what << ":";
    for (auto x : a) *os << " " << x;
    *os << "\n";
  };
  *os << "round " << s.round << ", " << s.inTrick << " in the trick led by " << s.leader << "\n";
  list("hand", s.hand), list("on the table", s.trick), list("scores", s.scores);
  list("tricks", s.tricks), list("bids", s.bids), list("backs", s.backs);
  for (const QString& c : s.card) *os << c.toStdString() << " ";
}

Seen seen(const Program& r) {
  const client::TableModel& m = r.table->model();
  Seen s;
  s.hand = m.hand();
  s.round = m.round();
  s.inTrick = m.inTrick();
  s.leader = m.leader();
  s.trick = m.trick();
  for (int seat = 1; seat <= 4; ++seat) {
    s.scores[seat] = m.score(seat);
    s.tricks[seat] = m.tricks(seat);
    s.bids[seat] = m.bid(seat);
    s.backs[seat] = m.cardsShown(seat);
    for (int row = 1; row < m.round(); ++row) s.card.push_back(r.score->cell(seat, row));
    s.card.push_back(r.score->cell(seat, kTotalRow));
  }
  return s;
}

struct SoloResume : ::testing::Test {
  void SetUp() override {
    ui::setMessageBoxSink([this](const QString& t, std::function<void()> then) {
      boxes.push_back(t);
      if (then) then();
    });
    ui::setChoiceSink([this](const QString& text, const QStringList& buttons, std::function<void(int)> answer) {
      asked.push_back(text + " [" + buttons.join("|") + "]");
      answer(answerWith);
    });
  }
  void TearDown() override {
    ui::setMessageBoxSink({});
    ui::setChoiceSink({});
  }
  QTemporaryDir dir;
  std::string save = dir.filePath(kSaveFileName).toStdString();
  std::vector<QString> boxes, asked;
  int answerWith = 0;
};

TEST_F(SoloResume, AGameClosedMidTrickGoesOnWhereItWasAndANewGameForgetsIt) {
  // The same game never closed: its record is what the resumed one must write.
  QString uninterrupted;
  {
    Program whole(dir, dir.filePath("whole.sav").toStdString(), 5);
    whole.table->processparams({});
    ASSERT_TRUE(waitFor([&] { return whole.table->model().loggedIn(); }));
    whole.table->StartHalfGame1Click();
    ASSERT_TRUE(playToTheEnd(*whole.table, 120000));
    uninterrupted = whole.table->gameRecord().text();
  }
  Seen before;
  {
    Program first(dir, save, 5);
    first.table->processparams({});
    ASSERT_TRUE(waitFor([&] { return first.table->model().loggedIn(); }));
    EXPECT_TRUE(asked.empty());  // nothing saved yet
    first.table->StartHalfGame1Click();
    // Into a round, a trick taken, another seat's card on the table, the
    // player on turn: the host waits for the player and nothing moves.
    const client::TableModel& m = first.table->model();
    ASSERT_TRUE(playUntil(
        *first.table,
        [&] {
          int taken = 0;
          for (int s = 1; s <= 4; ++s) taken += m.tricks(s);
          return m.round() >= 3 && m.myTurn() && taken >= 1 && m.inTrick() >= 1;
        },
        60000));
    before = seen(first);
    first.table->close();  // File > Exit: the game is saved
    ASSERT_TRUE(QFile::exists(QString::fromStdString(save)));
  }
  ASSERT_TRUE(QFile::copy(QString::fromStdString(save), QString::fromStdString(save + ".copy")));

  {
    Program second(dir, save, 6);  // another seed: the cards come from the save alone
    second.table->processparams({});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "Resume the game you left in round " + QString::number(before.round) +
                            "? [Resume|New Game]");
    const client::TableModel& m = second.table->model();
    ASSERT_TRUE(waitFor([&] { return m.myTurn(); }));
    EXPECT_EQ(seen(second), before);
    EXPECT_EQ(label_round(*second.table)->text(), "Round: " + QString::number(before.round));
    EXPECT_EQ(second.table->handInOrder().size(), static_cast<size_t>(std::count_if(
                                                       before.hand.begin() + 1, before.hand.end(),
                                                       [](int c) { return c != 0; })));
    // Play goes on to the end, and a finished game leaves nothing to resume.
    ASSERT_TRUE(playToTheEnd(*second.table, 120000));
    EXPECT_EQ(m.round(), 10);
    // The record goes on as if the window had never closed, rounds before included.
    EXPECT_EQ(second.table->gameRecord().text(), uninterrupted);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(save)));
  }

  // The same save again, answered "New Game": gone, and the table waits for a start.
  ASSERT_TRUE(QFile::rename(QString::fromStdString(save + ".copy"), QString::fromStdString(save)));
  answerWith = 1;
  Program third(dir, save, 7);
  third.table->processparams({});
  ASSERT_EQ(asked.size(), 2u);
  ASSERT_TRUE(waitFor([&] { return third.table->model().loggedIn(); }));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(save)));
  EXPECT_FALSE(third.table->model().gameSeen());
  EXPECT_TRUE(button_start(*third.table)->isVisibleTo(third.table.get()));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(SoloResume, ADamagedSaveIsToldKeptAsideAndTheGameStartsAnyway) {
  QFile f(QString::fromStdString(save));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("ombrix save 1\nround 3\n");  // cut short, no checksum
  f.close();
  Program run(dir, save, 5);
  run.table->processparams({});
  ASSERT_TRUE(waitFor([&] { return run.table->model().loggedIn(); }));
  EXPECT_TRUE(asked.empty());
  const QString chat = mainchat(*run.table)->toPlainText();
  EXPECT_TRUE(chat.contains("could not be read")) << chat.toStdString();
  EXPECT_TRUE(chat.contains(QString::fromStdString(save + ".damaged"))) << chat.toStdString();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(save)));
  EXPECT_TRUE(QFile::exists(QString::fromStdString(save + ".damaged")));
  run.table->StartHalfGame1Click();
  EXPECT_TRUE(playUntil(*run.table, [&] { return run.table->model().round() == 2; }, 30000));
}

// Our lobby beside the game: the first window offers what a player can do,
// and Return never loses a saved game.
TEST_F(SoloResume, TheFirstWindowLeadsToPlayAndReturnResumes) {
  const QString lobby = dir.filePath("ombrix-lobby");
  QFile(lobby).open(QIODevice::WriteOnly);
  QStringList started;
  bool exited = false;
  struct Run : Program {
    Run(const QTemporaryDir& dir, const std::string& save, const QString& lobby, QStringList& started, bool& exited)
        : Program(dir, save, 5) {
      download = new windows::Tdownload(table.get());
      download->lobbyPath = lobby;
      download->startProgram = [&started](const QString& p, const QStringList&) { return started << p, true; };
      table->attachDownload(download);
      download->exitProgram = [&exited] { exited = true; };
      start = new windows::Tstart(table.get());
      table->attachStart(start);
      table->processparams({});
    }
    windows::Tdownload* download;
    windows::Tstart* start;
  };
  auto returnKey = [](QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
  };
  int round = 0;
  {
    Run first(dir, save, lobby, started, exited);
    ASSERT_TRUE(first.start->isVisible());
    EXPECT_FALSE(first.download->isVisible());
    EXPECT_FALSE(first.start->button_resume->isVisible());
    EXPECT_TRUE(first.start->button_solo->isDefault());
    // The solo game is loaded behind the window; the design's window stays a menu entry away.
    ASSERT_TRUE(waitFor([&] { return first.table->model().loggedIn(); }));
    returnKey(first.start);
    EXPECT_FALSE(first.start->isVisible());
    action(*first.table, "DownloadLobby1")->trigger();
    EXPECT_TRUE(first.download->isVisible());
    first.table->StartHalfGame1Click();
    ASSERT_TRUE(playUntil(*first.table, [&] { return first.table->model().round() == 2 && first.table->model().myTurn(); }, 60000));
    round = first.table->model().round();
    first.table->close();
  }
  ASSERT_TRUE(asked.empty());  // the design's question is the window's now
  {
    // "Play with Others": the lobby starts, the game ends, the save stays.
    Run second(dir, save, lobby, started, exited);
    ASSERT_TRUE(second.start->button_resume->isVisible());
    EXPECT_TRUE(second.start->button_resume->isDefault());
    EXPECT_EQ(second.start->label_resume->text(), "Take up the game you left in round 2.");
    second.start->button_others->click();
    EXPECT_EQ(started, QStringList{lobby});
    EXPECT_TRUE(exited);
    second.table->close();
  }
  ASSERT_TRUE(QFile::exists(QString::fromStdString(save)));
  // Return takes the default: the game goes on where it was.
  Run third(dir, save, lobby, started, exited);
  returnKey(third.start);
  ASSERT_TRUE(waitFor([&] { return third.table->model().myTurn(); }));
  EXPECT_EQ(third.table->model().round(), round);
  EXPECT_TRUE(third.table->model().gameSeen());
}

}  // namespace
}  // namespace ombrix::test
