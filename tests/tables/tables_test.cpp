// A table's public state as strangers send it: the text record read back,
// hostile names and records, the bounded list, the address words.
#include <gtest/gtest.h>

#include <random>

#include "tables/address.h"
#include "tables/cleantext.h"
#include "tables/tablelist.h"
#include "tables/txtrecord.h"

namespace ombrix::tables {
namespace {

std::optional<TableState> read(const std::vector<std::string>& strings, std::string* why = nullptr) {
  std::vector<std::string_view> views(strings.begin(), strings.end());
  return readTxt(views, why);
}

TableState playing(int round, Length length) {
  return {3, 2, Stage::Playing, round, length, "1.0.14"};
}

TEST(TxtRecord, EveryStateAHostCanBeInReadsBackAsItself) {
  std::vector<TableState> states;
  for (int p = 0; p <= kSeats; ++p)
    for (int w = 0; w <= kWatchers; ++w) states.push_back({p, w, Stage::Waiting, 0, Length::None, "1.0.14"});
  for (int r = 1; r <= kFullRounds; ++r) states.push_back(playing(r, Length::Full));
  for (int r = 1; r <= kHalfRounds; ++r) states.push_back(playing(r, Length::Half));
  // House rules ride along as their LIST, in any state.
  for (const char* rules : {"hook", "scoring=penalty,rounds=downup", "hook,scoring=tricks,rounds=downup"}) {
    states.push_back(playing(4, Length::Full));
    states.back().rules = rules;
    states.push_back({0, 0, Stage::Waiting, 0, Length::None, "1.0.14", rules});
  }
  for (const TableState& s : states) {
    const std::vector<std::string> record = txtRecord(s);
    for (const std::string& item : record) EXPECT_LE(item.size(), kMaxTxtString);
    EXPECT_EQ(read(record), s) << stageText(s);
  }
  EXPECT_EQ(txtRecord(playing(7, Length::Half)),
            (std::vector<std::string>{"v=1.0.14", "players=3", "watchers=2", "state=playing", "round=7", "game=half"}));
  EXPECT_EQ(txtRecord({1, 0, Stage::Waiting, 0, Length::None, "1.0.14"}),
            (std::vector<std::string>{"v=1.0.14", "players=1", "watchers=0", "state=waiting", "round=0"}));
  // The design's rules, named, are no variant: the record is a plain table's.
  EXPECT_EQ(txtRecord({1, 0, Stage::Waiting, 0, Length::None, "1.0.14", "design"}),
            txtRecord({1, 0, Stage::Waiting, 0, Length::None, "1.0.14"}));
}

TEST(TxtRecord, HostileRecordsDescribeNoTableAndOddOnesAreReadAsDnsSdSays) {
  const std::vector<std::string> good = {"v=1.0.14", "players=2", "watchers=1", "state=playing", "round=12",
                                         "game=full"};
  auto with = [&](size_t i, std::string replacement) {
    std::vector<std::string> r = good;
    r[i] = std::move(replacement);
    return r;
  };
  std::string why;
  // Numbers that are not numbers, or out of range; an unknown state or game.
  for (const auto& bad : {with(1, "players=5"), with(1, "players=-1"), with(1, "players= 2"), with(1, "players=2x"),
                          with(1, "players=4294967298"), with(1, "players="), with(2, "watchers=6"),
                          with(3, "state=Playing"), with(3, "state=playing\n"), with(4, "round=0"),
                          with(4, "round=21"), with(4, "round=1e1"), with(5, "game=quarter")})
    EXPECT_FALSE(read(bad, &why)) << bad[1] << bad[2] << bad[3] << bad[4] << bad[5];
  EXPECT_EQ(why, "unknown game");
  EXPECT_FALSE(read(with(5, "game=half")));  // round 12 of a half game
  // A missing or broken version: not one of ours.
  for (const auto& v : {std::string("x=1"), std::string("v="), std::string("v=1.0\x01"), std::string("v=1 0"),
                        std::string("v=") + std::string(17, '1')})
    EXPECT_FALSE(read(with(0, v))) << v;
  // Another version is shown as it is: the game warns and plays on.
  EXPECT_EQ(read(with(0, "v=2.0-beta"))->version, "2.0-beta");
  // Keys without regard to case, the first of a repeated key, flags and
  // unknown keys passed over, a waiting table's round taken as 0.
  auto t = read({"V=1.0.14", "PLAYERS=4", "players=0", "flag", "=x", "colour=red", "watchers=5", "state=waiting",
                 "round=9"});
  ASSERT_TRUE(t);
  EXPECT_EQ(*t, (TableState{4, 5, Stage::Waiting, 0, Length::None, "1.0.14"}));
  // A string longer than DNS allows is no string; a record of thousands of
  // strings is read only as far as a table's needs.
  EXPECT_FALSE(read({"v=1.0.14", "players=" + std::string(300, '1'), "watchers=0", "state=waiting"}));
  // The record as it travels: length-prefixed strings; one that claims more
  // than is there ends it.
  using namespace std::string_literals;
  EXPECT_EQ(txtStrings("\x04v=1.\x00\x03" "a=b"s), (std::vector<std::string_view>{"v=1.", "", "a=b"}));
  EXPECT_EQ(txtStrings("\x02ok\x09short"s), (std::vector<std::string_view>{"ok"}));
  EXPECT_TRUE(txtStrings("").empty());
  EXPECT_EQ(txtStrings(std::string(5000, '\0')).size(), kMaxTxtStrings);
  std::vector<std::string> flood(10000, "x=y");
  flood.insert(flood.end(), {"v=1.0.14", "players=1", "watchers=0", "state=waiting"});
  EXPECT_FALSE(read(flood));
}

TEST(CleanText, NamesFromTheNetworkComeOutShowableAndBounded) {
  EXPECT_EQ(cleanText("Ann's table", 63), "Ann's table");
  EXPECT_EQ(cleanText("  two\r\nlines\tand\x1b[31mred \x7f ", 63), "two lines and [31mred");
  EXPECT_EQ(cleanText("Zo\xc3\xab \xe2\x99\xa0", 63), "Zo\xc3\xab \xe2\x99\xa0");  // Zoë ♠ kept
  EXPECT_EQ(cleanText("bad\xff\xc3(", 63), "bad\xef\xbf\xbd\xef\xbf\xbd(");        // each bad byte: U+FFFD
  EXPECT_EQ(cleanText("\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80", 63).find('/'), std::string::npos);  // overlong, surrogate, > U+10FFFF
  EXPECT_EQ(cleanText("abc\xe2\x80\xae" "cba", 63), "abccba");  // a right-to-left override is dropped
  EXPECT_EQ(cleanText("\xc2\x85x\xe2\x80\xa8y", 63), "x y");    // C1 and line separators are breaks
  EXPECT_EQ(cleanText("\x01\x02\n", 63), "");
  // Cut at a character's boundary, never inside one.
  EXPECT_EQ(cleanText("ab\xe2\x99\xa0", 4), "ab");
  EXPECT_EQ(cleanText(std::string(255, 'n'), 63), std::string(63, 'n'));

  // Random bytes, many times over: always valid, clean, within the bound,
  // and cleaning twice changes nothing.
  std::mt19937 rng(19);
  for (int i = 0; i < 20000; ++i) {
    std::string raw(rng() % 300, '\0');
    for (char& c : raw) c = static_cast<char>(rng() % 4 ? rng() % 256 : 0x80 + rng() % 64);
    const size_t bound = 1 + rng() % 80;
    const std::string out = cleanText(raw, bound);
    ASSERT_LE(out.size(), bound);
    ASSERT_TRUE(isClean(out)) << i;
    for (unsigned char c : out) ASSERT_TRUE(c >= 0x20 && c != 0x7f);
    ASSERT_EQ(cleanText(out, bound), out);
    // And a record of random strings is a table or not, never more than one.
    std::vector<std::string> record = {"v=1.0.14"};
    for (int k = 0; k < 6; ++k) record.push_back(raw.substr(0, rng() % 12));
    if (auto t = read(record)) {
      ASSERT_LE(t->players, kSeats);
      ASSERT_LE(t->watchers, kWatchers);
      ASSERT_LE(t->round, roundsOf(t->length));
    }
  }
}

ListedTable table(std::string key, std::string name, Stage stage) {
  ListedTable t;
  t.source = "lan";
  t.key = std::move(key);
  t.name = std::move(name);
  t.host = "10.0.0.1";
  t.port = kGamePort;
  t.state.stage = stage;
  t.state.round = stage == Stage::Playing ? 1 : 0;
  t.state.version = "1.0.14";
  return t;
}

TEST(TableList, WaitingTablesFirstOneEntryATableAndAFloodIsBounded) {
  TableList list;
  EXPECT_EQ(list.put(table("a", "zed", Stage::Waiting)), TableList::Change::Added);
  EXPECT_EQ(list.put(table("b", "Amy", Stage::Playing)), TableList::Change::Added);
  EXPECT_EQ(list.put(table("c", "bob", Stage::Waiting)), TableList::Change::Added);
  auto names = [&] {
    std::vector<std::string> out;
    for (const auto& t : list.tables()) out.push_back(t.name);
    return out;
  };
  EXPECT_EQ(names(), (std::vector<std::string>{"bob", "zed", "Amy"}));
  // The same table again: changed in place, or nothing at all.
  EXPECT_EQ(list.put(table("b", "Amy", Stage::Waiting)), TableList::Change::Updated);
  EXPECT_EQ(list.put(table("b", "Amy", Stage::Waiting)), TableList::Change::Unchanged);
  EXPECT_EQ(names(), (std::vector<std::string>{"Amy", "bob", "zed"}));
  EXPECT_TRUE(list.remove("lan", "a"));
  EXPECT_FALSE(list.remove("lan", "a"));

  for (int i = 0; i < 5000; ++i) list.put(table("flood" + std::to_string(i), "t" + std::to_string(i), Stage::Waiting));
  EXPECT_EQ(list.size(), TableList::kMaxTables);
  EXPECT_EQ(list.put(table("b", "Amy", Stage::Playing)), TableList::Change::Updated);  // known ones still change
  // Each source has its own bound: the local network's flood hides no
  // lobby server's table, and a server's flood no local one.
  ListedTable server = table("s0", "Real", Stage::Waiting);
  server.source = "server";
  EXPECT_EQ(list.put(server), TableList::Change::Added);
  for (int i = 1; i < 5000; ++i) {
    server.key = "s" + std::to_string(i);
    list.put(server);
  }
  EXPECT_EQ(list.countOf("server"), TableList::kMaxTables);
  EXPECT_NE(list.indexOf("server", "s0"), -1);
  EXPECT_EQ(list.removeSource("lan"), TableList::kMaxTables);
}

TEST(TableList, LinesForScriptsCarryHostileNamesSafely) {
  ListedTable t = table("k", "Ann \"the\" \\ host", Stage::Playing);
  t.state = playing(7, Length::Half);
  t.port = 7800;
  EXPECT_EQ(plainLine(t), "Ann \"the\" \\ host\t10.0.0.1:7800\t3/4\t2/5\tround 7 of 10\t1.0.14");
  EXPECT_EQ(jsonLine(t),
            "{\"name\":\"Ann \\\"the\\\" \\\\ host\",\"host\":\"10.0.0.1\",\"port\":7800,\"players\":3,"
            "\"watchers\":2,\"state\":\"playing\",\"round\":7,\"version\":\"1.0.14\",\"source\":\"lan\"}");
  t.name = std::string("a\x01\x1f\x7f" "b");
  EXPECT_TRUE(jsonLine(t).starts_with("{\"name\":\"a\\u0001\\u001f\\u007fb\",\"host\":"));
}

TEST(Address, TheWordsAPlayerTypesAndTheGameIsGiven) {
  using E = Endpoint;
  EXPECT_EQ(parseAddress("10.0.0.5"), (E{"10.0.0.5", 7772}));
  EXPECT_EQ(parseAddress(" cards.example.org:7800 "), (E{"cards.example.org", 7800}));
  EXPECT_EQ(parseAddress("[fe80::1%eth0]:7800"), (E{"fe80::1%eth0", 7800}));
  EXPECT_EQ(parseAddress("[::1]"), (E{"::1", 7772}));
  EXPECT_EQ(parseAddress("::1"), (E{"::1", 7772}));
  for (const char* bad : {"", ":7800", "host:", "host:0", "host:65536", "host:99999999", "host:+80", "host: 80",
                          "two words", "bad\nhost", "-rf", "[::1", "[::1]7800", "[host]:80", "a:b:c:zz", "h\xc3\xa9"})
    EXPECT_FALSE(parseAddress(bad)) << bad;
  EXPECT_FALSE(parseAddress(std::string(254, 'a')));
  EXPECT_EQ(joinAddress({"10.0.0.5", 7772}), "10.0.0.5");
  EXPECT_EQ(joinAddress({"10.0.0.5", 7800}), "10.0.0.5:7800");
  EXPECT_EQ(joinAddress({"fe80::1", 7800}), "[fe80::1]:7800");
  // What the lobby writes, the game reads back.
  for (const E& e : {E{"h", 1}, E{"::1", 65535}, E{"10.1.2.3", 7772}}) EXPECT_EQ(parseAddress(joinAddress(e)), e);
}

}  // namespace
}  // namespace ombrix::tables
