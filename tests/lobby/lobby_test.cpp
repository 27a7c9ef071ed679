// The lobby window over a source of tables the test plays, and the game
// session's link and process, without a daemon or a real game.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include "client/previnst.h"
#include "lobby/gamesession.h"
#include "lobby/lobbywindow.h"
#include "lobby/servergame.h"
#include "lobbyclient/registration.h"
#include "lobby/servertables.h"
#include "tests/lobbyd/client.h"
#include "tests/lobbyd/server_thread.h"
#include "lobby/tablemodel.h"
#include "tests/support/qtloop.h"
#include "ui/msgbox.h"
#include "ui/oneinstance.h"

namespace ombrix::lobby {

using namespace lobbywire;
using namespace lobbyd;
using namespace lobbyclient;
namespace {

using tables::Length;
using tables::ListedTable;
using tables::Stage;
using test::waitFor;

struct FakeSource : tables::TableSource {
  std::string_view id() const override { return "lan"; }
  void seen(const std::string& key, const std::string& name, const std::string& host, int port, int players,
            int watchers, Stage stage = Stage::Waiting, int round = 0) {
    ListedTable t;
    t.source = "lan";
    t.key = key;
    t.name = name;
    t.host = host;
    t.port = port;
    t.state = {players, watchers, stage, round, stage == Stage::Playing ? Length::Full : Length::None, "1.0.14"};
    onSeen(t);
  }
};

struct Lobby : ::testing::Test {
  Lobby() {
    model.addSource(lan);
    model.addSource(servers);
    game.startProgram = [this](const QString& program, const QStringList& args) -> std::optional<qint64> {
      started.push_back(program + " " + args.join('|'));
      return 0;  // nothing to follow
    };
    game.program = "ombrix";
    ui::setMessageBoxSink([this](const QString& text, std::function<void()> then) {
      boxes.push_back(text);
      if (then) then();
    });
    window.loadSettings(dir.filePath("quarrowlobby.ini"));
    // Other tests' games may hold this desktop; one test asks for real.
    window.otherGameOpen = [] { return false; };
  }
  ~Lobby() override { ui::setMessageBoxSink(nullptr); }
  QStringList rows() {
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r) {
      QStringList cells;
      for (int c = 0; c < TableModel::kColumns; ++c) cells << model.index(r, c).data().toString();
      out << cells.join(" | ");
    }
    return out;
  }

  QTemporaryDir dir;
  FakeSource lan;
  TableModel model;
  GameSession game;
  ServerTables servers;
  Tlobby window{model, game, servers};
  std::vector<QString> started;
  std::vector<QString> boxes;
};

TEST_F(Lobby, ATableIsJoinedOrWatchedAndHostingAndAddressesStartTheGame) {
  lan.seen("a", "Friday cards", "10.0.0.2", 7800, 4, 1, Stage::Playing, 7);
  lan.seen("b", "Reza", "10.0.0.3", 7772, 1, 0);
  lan.seen("c", "Packed", "10.0.0.4", 7772, 4, 5, Stage::Playing, 12);
  model.settle();
  EXPECT_EQ(rows(), (QStringList{"Reza | 10.0.0.3 | 1/4 | 0/5 | waiting | 1.0.14",
                                 "Friday cards | 10.0.0.2:7800 | 4/4 | 1/5 | round 7 of 20 | 1.0.14",
                                 "Packed | 10.0.0.4 | 4/4 | 5/5 | round 12 of 20 | 1.0.14"}));
  EXPECT_EQ(window.label_lan->text(), "Looking for tables on this network…");
  lan.onAvailability(true, "");
  EXPECT_EQ(window.label_lan->text(), "3 tables on this network; waiting tables first.");

  // Without a name nothing starts.
  window.list_tables->selectRow(0);
  EXPECT_FALSE(window.button_join->isEnabled());
  EXPECT_FALSE(window.button_host->isEnabled());
  window.edit_name->setText("  Ann  ");
  EXPECT_TRUE(window.button_join->isEnabled());
  EXPECT_EQ(window.button_join->text(), "Join");

  // The chosen table stays chosen when the list is laid out anew.
  window.list_tables->selectRow(1);
  lan.seen("d", "Aardvark", "10.0.0.5", 7772, 0, 0);
  model.settle();
  ASSERT_EQ(window.chosenRow(), 2);
  EXPECT_EQ(window.button_join->text(), "Watch");  // its seats are taken
  window.joinClick();
  window.list_tables->selectRow(3);
  EXPECT_FALSE(window.button_join->isEnabled());  // no seat and no room to watch
  window.joinClick();
  window.hostClick();

  window.edit_address->setText("not an address!");
  window.addressClick();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].startsWith("\"not an address!\" is not an address"));
  window.edit_address->setText(" cards.example.org:7800 ");
  window.addressClick();
  EXPECT_EQ(started, (std::vector<QString>{"ombrix Ann|10.0.0.2:7800|join", "ombrix Ann|127.0.0.1|true",
                                           "ombrix Ann|cards.example.org:7800|join"}));

  // The name and the address are remembered in the lobby's own section.
  Tlobby again(model, game, servers);
  again.loadSettings(dir.filePath("quarrowlobby.ini"));
  EXPECT_EQ(again.edit_name->text(), "Ann");
  EXPECT_EQ(again.edit_address->text(), "cards.example.org:7800");
}

// A table as a game registers it, on port 7772 of this machine.
std::unique_ptr<HostRegistration> registerTable(const HostPort& server, const std::string& name, bool isPrivate) {
  TableEntry t;
  t.name = name;
  t.state.players = 1;
  return std::make_unique<HostRegistration>(server, HostPort{"127.0.0.1", 7772}, t, isPrivate);
}

// A real lobby server: the game hosting here is told the server, and the
// code it registers its table under (and how the router answered) comes back
// over its link to be copied and shared; the table is listed with its code
// as it plays; a private table is found by its code alone and joined through
// this lobby; a code no table has is said to be none.
TEST_F(Lobby, ThroughALobbyServerTablesAreListedByCodeAndJoinedByIt) {
  ServerThread server;
  ASSERT_TRUE(game.listen(0));
  window.edit_name->setText("Ann");
  window.edit_code->setText("+2345678");
  EXPECT_FALSE(window.button_code->isEnabled());  // no server yet
  EXPECT_FALSE(window.check_private->isEnabled());
  EXPECT_TRUE(window.label_server->text().startsWith("No lobby server"));

  window.edit_server->setText(QString::fromStdString(server.address()));
  window.serverChanged();
  EXPECT_TRUE(window.check_private->isEnabled());
  // House rules chosen here are the game's to host by (lan_test.sh follows
  // these words to the table's record).
  window.check_hook->setChecked(true);
  window.combo_scoring->setCurrentIndex(window.combo_scoring->findText("Scoring: a point a trick, + 10 when made"));
  window.combo_rounds->setCurrentIndex(window.combo_rounds->findText("Rounds: 10 down to 1, then up"));
  window.hostClick();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0], "ombrix Ann|127.0.0.1|true|--rules|hook,scoring=tricks,rounds=downup|--lobby-server|" +
                            QString::fromStdString(server.address()));

  // The game (here: its registration and its link) registers and says so.
  auto ann = registerTable(server.hostPort(), "Ann", false);
  std::string annCode;
  ann->onCode = [&](const std::string& c) { annCode = c; };
  ann->start();
  ASSERT_TRUE(waitFor([&] { return !annCode.empty(); }));
  net::TAsyncSock link;
  link.setHostName("127.0.0.1");
  link.setPortName(std::to_string(game.linkPort()));
  link.OnConnect = [&](net::TAsyncSock* s) {
    s->Send("status port mapping: no router offers it (joiners come through the relay)\n"
            "a line of a later game\ncode " + annCode.substr(1) + "\n");
    // One line in two writes, and one far too long, which is dropped.
    s->Send("status the lobby server cannot reach this table: joiners come ");
    s->Send("through its relay\nstatus " + std::string(2000, 'x') + "\n");
  };
  link.Open();
  ASSERT_TRUE(waitFor([&] { return window.label_code->text().contains("through its relay"); }))
      << window.label_code->text().toStdString();
  const QString code = window.inviteCode();
  EXPECT_EQ(code.toStdString(), annCode);
  EXPECT_TRUE(window.label_code->text().contains(code));
  EXPECT_TRUE(window.label_code->text().contains("port mapping: no router offers it"));
  EXPECT_FALSE(window.label_code->text().contains("xxx"));
  ASSERT_TRUE(window.button_copy->isVisibleTo(&window));
  window.button_copy->click();
  // The invite carries its server, so a friend's lobby needs none set.
  const QString invite = QString::fromStdString(server.address()) + "/" + code;
  EXPECT_EQ(QApplication::clipboard()->text(), invite);
  EXPECT_TRUE(window.label_code->text().contains(invite));

  // The table plays; the server lists what it says.
  TableEntry playing;
  playing.name = "Ann";
  playing.state.players = 3;
  playing.state.watchers = 1;
  playing.state.stage = Stage::Playing;
  playing.state.round = 4;
  ann->update(playing);
  const QString row = "Ann | " + code + " | 3/4 | 1/5 | round 4 of 20 | 1.0.14";
  ASSERT_TRUE(waitFor([&] {
    servers.refresh();
    model.settle();
    return rows().contains(row);
  })) << rows().join('\n').toStdString();
  EXPECT_EQ(window.label_server->text(), "1 public table from the lobby server.");

  // A private table is not listed, and is joined by its code as typed.
  auto bea = registerTable(server.hostPort(), "Bea", true);
  std::string beaCode;
  bea->onCode = [&](const std::string& c) { beaCode = c; };
  bea->start();
  ASSERT_TRUE(waitFor([&] { return !beaCode.empty(); }));
  int listings = 0;
  servers.onListed = [&] { ++listings; };
  ASSERT_TRUE(waitFor([&] {
    servers.refresh();
    return listings == 2;  // one asked for surely after Bea registered
  }));
  model.settle();
  EXPECT_EQ(model.rowOf("server", beaCode), -1);
  EXPECT_GE(model.rowOf("server", code.toStdString()), 0);
  // The game hosting here ends: its code goes with it.
  link.Close();
  ASSERT_TRUE(waitFor([&] { return !game.running(); }));
  EXPECT_TRUE(window.inviteCode().isEmpty());
  window.edit_code->setText(" " + QString::fromStdString(beaCode.substr(1)).toLower() + " ");
  window.codeClick();
  ASSERT_TRUE(waitFor([&] { return started.size() == 2; }));
  // The game joins this lobby, which carries it to the table.
  EXPECT_TRUE(started[1].startsWith("ombrix Ann|127.0.0.1:") && started[1].endsWith("|join")) << started[1].toStdString();

  window.edit_code->setText("+2345678");
  window.codeClick();
  ASSERT_TRUE(waitFor([&] { return !boxes.empty(); }));
  EXPECT_EQ(boxes[0], "The table was not reached: no table has the code +2345678.");

  // The lobby server and the house rules are remembered in the lobby's section.
  Tlobby again(model, game, servers);
  again.loadSettings(dir.filePath("quarrowlobby.ini"));
  EXPECT_EQ(again.edit_server->text(), QString::fromStdString(server.address()));
  EXPECT_EQ(rules::format(again.houseRules()), "hook,scoring=tricks,rounds=downup");

  // A friend with no lobby server set pastes the whole invite.
  window.edit_server->clear();
  window.serverChanged();
  window.edit_code->setText(QString::fromStdString(beaCode));
  EXPECT_FALSE(window.button_code->isEnabled());  // a code alone needs a server
  window.edit_code->setText(" " + QString::fromStdString(server.address() + "/" + beaCode) + " ");
  ASSERT_TRUE(window.button_code->isEnabled());
  window.codeClick();
  ASSERT_TRUE(waitFor([&] { return started.size() == 3; })) << (boxes.empty() ? "" : boxes.back().toStdString());
  EXPECT_TRUE(started[2].startsWith("ombrix Ann|127.0.0.1:")) << started[2].toStdString();
  EXPECT_TRUE(window.edit_server->text().isEmpty());
}

TEST(Invite, IsReadWithOrWithoutItsServer) {
  const auto read = [](std::string_view text) {
    const auto i = readInvite(text);
    return !i ? std::string("none") : (i->server ? tables::joinAddress(*i->server, 0) : std::string("-")) + " " + i->code;
  };
  EXPECT_EQ(read(" +k7m2q9x "), "- +K7M2Q9X");
  EXPECT_EQ(read("lobby.example.org/+K7M2Q9X"), "lobby.example.org:7773 +K7M2Q9X");
  // The server's web link names its web door's port: the server answers on its own.
  EXPECT_EQ(read("HTTP://[2001:db8::1]:7780/%2BK7M2Q9X"), "[2001:db8::1]:7773 +K7M2Q9X");
  EXPECT_EQ(read("10.0.0.5:7800/K7M2Q9X"), "10.0.0.5:7800 +K7M2Q9X");
  for (std::string_view bad : {"", "/+K7M2Q9X", "lobby.example.org/", "a b/+K7M2Q9X", "x/+K7M2Q9", "x:99999/+K7M2Q9X"})
    EXPECT_EQ(read(bad), "none") << bad;
  EXPECT_EQ(inviteText({"::1", 7773}, "+K7M2Q9X"), "[::1]:7773/+K7M2Q9X");
}

// A game this lobby did not start (a solo game) holds the desktop: Host asks
// to end it, and the table starts once it has ended; Cancel leaves it be.
TEST_F(Lobby, AGameOpenOnTheDesktopIsEndedFirstWhenThePlayerSaysSo) {
  QTemporaryDir runtime;
  const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  window.otherGameOpen = ui::gameOpen;
  auto solo = std::make_unique<client::PrevInstance>();
  ASSERT_FALSE(solo->running());
  int closes = 0;
  solo->onClose = [&] {
    ++closes;
    QTimer::singleShot(0, [&] { solo.reset(); });  // the game ends, its lock with it
  };
  std::vector<QString> asked;
  int answer = 1;
  ui::setChoiceSink([&](const QString& text, const QStringList&, std::function<void(int)> then) {
    asked.push_back(text);
    then(answer);
  });
  window.edit_name->setText("Ann");
  window.hostClick();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_TRUE(asked[0].contains("A solo game is saved"));
  EXPECT_TRUE(started.empty());
  answer = 0;
  window.hostClick();
  ASSERT_TRUE(waitFor([&] { return started.size() == 1; }));
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(solo);
  window.hostClick();  // nothing open now: nothing asked
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(started.size(), 2u);
  ui::setChoiceSink(nullptr);
  qputenv("XDG_RUNTIME_DIR", before);
}

// A server set by its bare name or address reaches the game with the lobby
// server's port, IPv6 in brackets, so the game never reads it as its own.
TEST_F(Lobby, ABareLobbyServerReachesTheGameWithItsPort) {
  window.edit_name->setText("Ann");
  for (const char* bare : {"localhost", " 127.0.0.1 ", "::1"}) {
    window.edit_server->setText(bare);
    window.serverChanged();
    window.hostClick();
  }
  EXPECT_EQ(started, (std::vector<QString>{"ombrix Ann|127.0.0.1|true|--lobby-server|localhost:7773",
                                           "ombrix Ann|127.0.0.1|true|--lobby-server|127.0.0.1:7773",
                                           "ombrix Ann|127.0.0.1|true|--lobby-server|[::1]:7773"}));
}

// Hosting through a lobby server asks the home router for a port unless the
// player turned that off; the choice is kept in the lobby's section.
TEST_F(Lobby, TheRoutersPortIsAskedForUnlessTurnedOffAndTheChoiceIsKept) {
  window.edit_name->setText("Ann");
  EXPECT_FALSE(window.check_upnp->isEnabled());  // no server, no mapping to ask for
  EXPECT_TRUE(window.check_upnp->isChecked());
  window.edit_server->setText("127.0.0.1:1");
  window.serverChanged();
  ASSERT_TRUE(window.check_upnp->isEnabled());
  window.hostClick();
  window.check_upnp->setChecked(false);
  window.hostClick();
  ASSERT_EQ(started.size(), 2u);
  EXPECT_FALSE(started[0].contains("--no-port-mapping"));
  EXPECT_TRUE(started[1].endsWith("|--lobby-server|127.0.0.1:1|--no-port-mapping")) << started[1].toStdString();
  QFile f(dir.filePath("quarrowlobby.ini"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readAll().contains("PortMapping=0"));
  Tlobby again(model, game, servers);
  again.loadSettings(dir.filePath("quarrowlobby.ini"));
  EXPECT_FALSE(again.check_upnp->isChecked());
}

TEST_F(Lobby, WhileAGameRunsHostAndJoinWaitUntilItsLinkCloses) {
  ASSERT_TRUE(game.listen(0));
  window.edit_name->setText("Ann");
  window.show();
  EXPECT_TRUE(window.button_host->isEnabled());
  net::TAsyncSock link;  // what the game opens and never writes to
  link.setHostName("127.0.0.1");
  link.setPortName(std::to_string(game.linkPort()));
  link.Open();
  ASSERT_TRUE(waitFor([&] { return game.running(); }));
  EXPECT_FALSE(window.button_host->isEnabled());
  EXPECT_TRUE(window.label_game->isVisibleTo(&window));
  window.hostClick();
  EXPECT_TRUE(started.empty());
  EXPECT_FALSE(game.host("Ann"));  // one game at a time

  link.Close();
  ASSERT_TRUE(waitFor([&] { return !game.running(); }));
  EXPECT_TRUE(window.button_host->isEnabled());
  EXPECT_FALSE(window.label_game->isVisibleTo(&window));
}

TEST_F(Lobby, AGameThatEndsBeforeItOpensTheLinkIsFollowedByItsProcess) {
  GameSession real;  // starts programs for real
  real.program = QStandardPaths::findExecutable("true");
  ASSERT_FALSE(real.program.isEmpty());
  int ended = 0;
  real.onEnded = [&] { ++ended; };
  ASSERT_TRUE(real.host("Ann"));  // `true Ann 127.0.0.1 true` ends at once
  ASSERT_TRUE(waitFor([&] { return ended == 1; }));
  EXPECT_FALSE(real.running());
  real.program = "/nonexistent/ombrix";
  EXPECT_FALSE(real.join("Ann", "10.0.0.1"));
}

TEST_F(Lobby, TheGamesSectionKeepsEveryByteAndAFloodOfTablesIsBounded) {
  const QByteArray game =
      "; the game's own\r\n[Ombrix]\r\n  Textsize = 12 \r\nPhrase1=Hi; there\r\n\r\n[Lobby]\r\nname=Old\r\n"
      "Extra=kept\r\n";
  const QString file = dir.filePath("shared.ini");
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(game);
  }
  window.loadSettings(file);
  EXPECT_EQ(window.edit_name->text(), "Old");
  window.edit_name->setText("Ann");
  window.hostClick();
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("; the game's own\r\n[Ombrix]\r\n  Textsize = 12 \r\nPhrase1=Hi; there\r\n\r\n"
                                    "[Lobby]\r\nName=Ann\r\nExtra=kept\r\n"));

  lan.onAvailability(false, "the avahi-daemon service is not running");
  EXPECT_EQ(window.label_lan->text(),
            "Tables on this network cannot be shown: the avahi-daemon service is not running. Join by address "
            "still works.");
  lan.onAvailability(true, "");
  for (int i = 0; i < 5000; ++i) lan.seen("k" + std::to_string(i), "t" + std::to_string(i), "10.0.0.9", 7772, i % 5, 0);
  ASSERT_TRUE(waitFor([&] { return model.rowCount() == static_cast<int>(tables::TableList::kMaxTables); }));
  EXPECT_EQ(window.label_lan->text(), "200 tables on this network; waiting tables first.");
}


// The lobby reads the server's listing page by page, as far as its list
// holds: a table registered after a hundred others is listed too.
TEST(LobbyServerTables, EveryPageTheListHoldsIsRead) {
  Limits limits;
  limits.address = {1000, 200, 1000, 1000, 10, 1};
  limits.requestsBurst = 1000;
  ServerThread server(limits);
  std::vector<std::unique_ptr<lobbytest::Client>> hosts;
  auto registerTable = [&](const std::string& name) {
    hosts.push_back(std::make_unique<lobbytest::Client>(server.port(), "127.0.0.1"));
    TableEntry t;
    t.name = name;
    t.port = 1;
    hosts.back()->send(registerLine(t, false));
    ASSERT_EQ(hosts.back()->next(Op::Registered).op, Op::Registered);
  };
  for (int i = 0; i < 149; ++i) registerTable("Table " + std::to_string(i));
  registerTable("Ann's table");
  ServerTables servers;
  std::set<std::string> seen, names;
  servers.onSeen = [&](const ListedTable& t) {
    seen.insert(t.code);
    names.insert(t.name);
  };
  int listings = 0;
  servers.onListed = [&] { ++listings; };
  servers.setServer(server.hostPort());
  // The listing's order may lag its tables by a quarter second.
  for (int tries = 0; tries < 20 && seen.size() < 150; ++tries) {
    const int before = listings;
    if (tries) servers.refresh();
    ASSERT_TRUE(waitFor([&] { return listings > before; }));
  }
  EXPECT_EQ(seen.size(), 150u);
  EXPECT_TRUE(names.contains("Ann's table"));
}

}  // namespace
}  // namespace ombrix::lobby
