// The host's announcements as the table reads them: each one read once,
// through the command catalogue, into a typed event. Everything at the table
// that follows the game (the model, the window, the game record, the hint,
// the keys, the mute list) takes these events and never the message text.
//
// Pure C++. Texts stay the wire's single-byte text; numbers are as the host
// sent them (the model, not the reader, keeps them within the game's bounds).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "protocol/commands.h"
#include "rules/rules.h"

namespace ombrix::client {

namespace ev {

// The company.
struct LogIn {  // CMD_sendlogininfo: the number this connection holds
  int slot;
};
struct Arrived {  // CMD_newplayerinfo, CMD_existingplayers
  int slot;
  std::string name;
};
struct Departed {  // CMD_playerdisconnected
  int slot;
  std::string name;
};
struct JustWatching {  // CMD_justwatching: the computer plays the seat for now, or no longer
  int seat;
  bool watching;
};
struct OtherVersion {  // CMD_havewrongversion: a player at another version
  std::string name;
};
struct WrongVersion {};  // CMD_wrongversion: this table is at another version
struct Full {};          // CMD_full

// A late joiner's picture of the game under way.
struct SeatFound {  // CMD_newplayerstuff, once a seat
  int seat, bid, tricks, score;
  std::array<int, 4> played;  // the card on the table of seats 1..4, 0 for none
};
struct GameFound {  // CMD_stats, after the four seats
  int turnSeat, bidder, round, trump;
  bool half;
};

// The game.
struct GameStarted {  // CMD_startgame
  std::string starter;
  bool half;
};
struct RoundStarted {  // CMD_startround
  int round, dealer;
};
struct Dealt {  // CMD_placecard: a seat's hand by position (cards 0 when hidden)
  int seat;
  std::vector<wire::PositionCard> cards;
};
struct Trump {  // CMD_trump
  int card;
};
struct BidAsked {  // CMD_bid
  int bidder, handSize, leader;
};
struct BidMade {  // CMD_hisbid; seat 0 only closes the bid box
  int seat, bid, total;
};
struct Turn {  // CMD_nextplayer
  int seat;
};
struct CardPlayed {  // CMD_playcard
  int seat, position, card;
};
struct CardRefused {};  // CMD_needsuit: this table's card must follow suit
struct TrickTaken {     // CMD_trickwinner
  int seat, tricks;
};
struct Scored {  // CMD_score
  int seat, total, points;
};
struct GameOver {  // CMD_winner
  std::string names;
  int best;
};

// The house rules the host plays by (CMD_rules). `known` is false for a
// LIST this table cannot read; `list` is its text either way.
struct RulesTold {
  rules::Rules rules;
  std::string list;
  bool known;
};

// Talk.
struct Line {  // CMD_chat, CMD_me: the text and the colour after its last "|"
  bool action;
  std::string text, colour;
};
struct Sound {  // CMD_playasound
  int slot;
  std::string sound;
};

// An announcement the catalogue could not read. `number` says a number
// field was not a number (`field` is its text), which the window reports;
// other damage it drops silently.
struct Unreadable {
  wire::Announcement kind;
  bool number;
  std::string field;
};

}  // namespace ev

using TableEvent =
    std::variant<ev::LogIn, ev::Arrived, ev::Departed, ev::JustWatching, ev::OtherVersion, ev::WrongVersion,
                 ev::Full, ev::SeatFound, ev::GameFound, ev::GameStarted, ev::RoundStarted, ev::Dealt,
                 ev::Trump, ev::BidAsked, ev::BidMade, ev::Turn, ev::CardPlayed, ev::CardRefused,
                 ev::TrickTaken, ev::Scored, ev::GameOver, ev::RulesTold, ev::Line, ev::Sound,
                 ev::Unreadable>;

// Reads one message as it came off the queue ("CMD_hisbid+2+1+3"). Nothing
// for a message without "+", with an empty name or an unknown one.
std::optional<TableEvent> readAnnouncement(std::string_view message);

// The usual helper for std::visit over the events with a set of lambdas.
template <class... F>
struct Handlers : F... {
  using F::operator()...;
};
template <class... F>
Handlers(F...) -> Handlers<F...>;

}  // namespace ombrix::client
