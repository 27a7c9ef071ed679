// What the host tells a lobby of its table: every change of the seats, the
// spectators, the stage and the round, once each, and nothing else.
#include <gtest/gtest.h>

#include "host/server.h"
#include "tables/tablestate.h"
#include "tests/support/recorder.h"

namespace ombrix::tables {
void PrintTo(const TableState& s, std::ostream* os) {
  *os << s.players << "/" << s.watchers << " " << stageText(s) << " " << s.version;
}
}  // namespace ombrix::tables

namespace ombrix::test {
namespace {

using tables::Length;
using tables::Stage;
using tables::TableState;

TableState state(int players, int watchers, Stage stage = Stage::Waiting, int round = 0,
                 Length length = Length::None) {
  return {players, watchers, stage, round, length, "1.0.14"};
}

TEST(PublicState, EachSeatGameAndRoundIsToldOnceAndChatterIsNot) {
  HostHarness h(5);
  std::vector<TableState> told;
  h.host.onPublicChange = [&](const TableState& s) { told.push_back(s); };
  auto drain = [&] { h.clock.runUntil([&] { return h.host.receivedlist.empty(); }, 60000); };
  auto login = [&](const std::string& name) {
    const int slot = h.host.acceptConnection();
    h.host.received(slot, "CMD_logininfo+" + std::to_string(slot) + "+1.0.14+" + name + "\xFF");
    drain();
    return slot;
  };
  EXPECT_EQ(h.host.publicState(), state(0, 0));
  for (const char* name : {"Ann", "Bo", "Cy", "Di", "Eve", "Flo"}) login(name);
  EXPECT_EQ(told, (std::vector<TableState>{state(1, 0), state(2, 0), state(3, 0), state(4, 0), state(4, 1),
                                          state(4, 2)}));
  told.clear();
  h.host.received(2, "CMD_chat+2+hello|clRed\xFF");
  h.host.received(3, "CMD_justwatch+3+1\xFF");
  drain();
  EXPECT_TRUE(told.empty());  // talk and watching change nothing a lobby shows

  h.host.connectionClosed(6);  // a spectator leaves
  h.host.connectionClosed(2);  // a player leaves; the computer takes the seat
  EXPECT_EQ(told, (std::vector<TableState>{state(4, 1), state(3, 1)}));
  told.clear();

  // A half game, every seat played by the computer, to its end.
  h.host.received(1, "CMD_startgame+Ann+h+\xFF");
  for (int seat : {1, 3, 4}) h.host.received(1, "CMD_justwatch+" + std::to_string(seat) + "+1\xFF");
  drain();
  h.clock.runUntil([&] { return !h.engine().gameInProgress; }, 10'000'000);
  ASSERT_FALSE(h.engine().gameInProgress);
  std::vector<TableState> expected;
  for (int r = 1; r <= 10; ++r) expected.push_back(state(3, 1, Stage::Playing, r, Length::Half));
  expected.push_back(state(3, 1));
  EXPECT_EQ(told, expected);
}

}  // namespace
}  // namespace ombrix::test
