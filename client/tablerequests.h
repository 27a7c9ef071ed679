// What a table asks of its host, typed as the host's announcements are
// (client/tableevents.h): the window names a request, the connection
// (client/tableconnection.h) writes it on the wire (protocol/commands.h).
// Texts are the single-byte text the wire carries.
#pragma once

#include <string>
#include <variant>

namespace ombrix::client {

namespace rq {
// The answer to the host's greeting: the connection adds the seat's secret
// before it, after a dropped line, and what the table can do after it.
struct LogIn {
  int slot;
  std::string name;
};
struct Chat {
  int slot;
  std::string text, colour;  // the colour as colour text ("clBlack", "$00804000")
};
struct Action {  // "/me" lines and phrases
  int slot;
  std::string text, colour;
};
struct Sound {
  int slot, wave;  // 1..12
};
struct StartGame {
  std::string name;
  bool half;
};
struct Bid {
  int slot, bid;
};
struct PlayCard {
  int slot, position;  // the hand position, 1..10
};
struct JustWatch {
  int seat;
  bool watch;  // the computer plays the seat; false: the player again
};
struct Kick {
  int slot, target;
};
struct BotSpeed {
  int slot, ms;
};
struct BotSkill {
  int slot;
  std::string skill;  // "classic", "standard", "strong"
};
struct HouseRules {  // slot 1 chooses the next game's
  int slot;
  std::string list;  // rules::format's LIST
};
}  // namespace rq

using TableRequest = std::variant<rq::LogIn, rq::Chat, rq::Action, rq::Sound, rq::StartGame, rq::Bid, rq::PlayCard,
                                  rq::JustWatch, rq::Kick, rq::BotSpeed, rq::BotSkill, rq::HouseRules>;

// The request as one message, without its terminator (a log-in without the
// secret and the features the connection adds).
std::string messageOf(const TableRequest& request);

}  // namespace ombrix::client
