// The command catalogue: every message between a table window and the host.
//
// Wire rules, encoded here and nowhere else:
//  * a message is single-byte text: "CMD_" name "+" fields, ended by byte 255
//    (kTerminator); no length prefix, no escaping, never a line break;
//  * fields are separated by "+"; numbers are unsigned decimal text;
//  * a free-text last field (a name, a chat line) is the whole rest of the
//    message and may itself contain "+";
//  * where a receiver reads a last field up to the next "+", the sender puts
//    a "+" after it; those trailing "+" below are part of the format.
//
// Builders write the message without its terminator into `out` (replacing
// what was there, so a caller can reuse one buffer on a hot path). Parsers
// take the fields text after the command word and return nothing when a
// field is missing or a number is not decimal.
//
// What a table can do beyond "1.0.14" is told without changing the version
// (a host at "1.0.14" compares it and warns) and without a field a table or
// host at "1.0.14" would misread: both ignore a command name they do not
// know. Right after its log-in record a table sends "CMD_features+" slot
// "+" list "+", the comma-separated words of what it can do ("secret"; a
// later table adds its own words to the same list). A host that knows the
// command answers with its own list, "CMD_features+" list "+", and for each
// word both know, what goes with it:
//  * "secret": "CMD_secret+" slot "+" secret "+", the seat's secret for the
//    connection that holds the slot now. A table whose line dropped sends
//    "CMD_reclaim+" slot "+" secret "+" on its new connection right before
//    its log-in record; only a log-in that presents the secret gets the
//    seat (or spectator slot) back, and only while the host keeps it for
//    the name that left it. Presented under the same name for a connection
//    the host still holds (the line dropped on the table's side only), it
//    closes that connection as a departure and the new one takes the seat.
//    A table at "1.0.14" sends no list, gets no secret, and is seated by
//    the usual rule.
//  * "rules": the table shows the house rules and reads numbers that may
//    be negative ("-N": scores, totals, a best score). The host sends it
//    "CMD_rules+" LIST (rules/rules.h; "design" for none) after its
//    log-in and at every game start. At a table with house rules, a
//    connection that has not said "rules" right after its log-in (a table
//    at "1.0.14") is told so in one line and closed: it is never seated,
//    asked for a move, or sent a number it could misread. Slot 1 chooses
//    the rules between games with "CMD_rules+" slot "+" LIST.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol/fields.h"

namespace ombrix::wire {

constexpr char kTerminator = '\xFF';

// The host's version text, exchanged at log-in.
constexpr std::string_view kVersion = "1.0.14";

// The words of "CMD_features": what a table or a host can do.
constexpr std::string_view kFeatureSecret = "secret";
// What this program's tables and hosts can do, as they tell it.
constexpr std::string_view kFeatureRules = "rules";
constexpr std::string_view kFeatures = "secret,rules";
// Whether a comma-separated list holds `word`.
bool hasFeature(std::string_view list, std::string_view word);
// Longest secret a host takes or a table keeps; a host's are 32 hex digits.
constexpr size_t kMaxSecret = 64;

// Requests, table window to host.
enum class Request {
  Unknown,
  LoginInfo,
  KickHim,
  BotSpeed,
  Chat,
  Action,
  StartGame,
  Bid,
  PlayCard,
  JustWatch,
  PlayASound,
  BotSkill,
  Features,
  Reclaim,
  Rules,
};

// Announcements, host to table window.
enum class Announcement {
  Unknown,
  SendLoginInfo,
  Full,
  NewPlayerInfo,
  ExistingPlayers,
  HaveWrongVersion,
  WrongVersion,
  PlaceCard,
  NewPlayerStuff,
  Stats,
  PlayerDisconnected,
  StartGame,
  StartRound,
  Trump,
  Bid,
  HisBid,
  NextPlayer,
  PlayCard,
  NeedSuit,
  TrickWinner,
  Score,
  Winner,
  Chat,
  Me,
  JustWatching,
  PlayASound,
  // What the connection keeps rather than the table: the host's features
  // and the seat's secret.
  Features,
  Secret,
  // The house rules in force.
  Rules,
};

// A message cut at its first "+": the command name and the fields after it.
// A message without "+" has an empty name and is ignored by both sides.
struct Split {
  std::string_view name;
  std::string_view fields;
};
Split splitCommand(std::string_view message);

// Line breaks become spaces. A table at "1.0.14" ends a message at a line
// break, so one relayed inside a name or a chat line would make it run the
// rest as a command of its own.
bool hasLineBreak(std::string_view text);
void toOneLine(std::string& text);

// Exact, case-sensitive lookups of a command name ("CMD_bid").
Request lookupRequest(std::string_view name);
Announcement lookupAnnouncement(std::string_view name);

// One hand position and the card it holds (0 = hidden or empty).
using PositionCard = std::pair<int, int>;

namespace build {
// Table window to host.
void logininfo(std::string& out, int slot, std::string_view version, std::string_view name);
void kickhim(std::string& out, int slot, int target);
void botspeed(std::string& out, int slot, int ms);
void chat(std::string& out, int slot, std::string_view text, std::string_view colour);
void action(std::string& out, int slot, std::string_view text, std::string_view colour);
void startgameRequest(std::string& out, std::string_view name, bool half);
void bid(std::string& out, int slot, int bid);
void playcardRequest(std::string& out, int slot, int position);
void justwatch(std::string& out, int seat, bool watch);
void playasoundRequest(std::string& out, int slot, int wave);
// "CMD_botskill+" slot "+" skill "+": "classic", "standard" or "strong".
void botskill(std::string& out, int slot, std::string_view skill);
// "CMD_features+" slot "+" list "+": what this table can do, after its log-in.
void features(std::string& out, int slot, std::string_view list);
// "CMD_reclaim+" slot "+" secret "+": the seat's secret from the line that dropped.
void reclaim(std::string& out, int slot, std::string_view secret);
// "CMD_rules+" slot "+" LIST: slot 1 chooses the house rules of the next game.
void rulesRequest(std::string& out, int slot, std::string_view list);

// Host to table window.
void sendlogininfo(std::string& out, int slot);
void full(std::string& out);
void newplayerinfo(std::string& out, int slot, std::string_view name);
void existingplayers(std::string& out, int slot, std::string_view name);
void havewrongversion(std::string& out, std::string_view name);
void wrongversion(std::string& out);
void placecard(std::string& out, int seat, const PositionCard* cards, int count);
void newplayerstuff(std::string& out, int seat, int bid, int tricks, int score,
                    const std::array<int, 4>& played);
void stats(std::string& out, int currentPlayer, int currentBidder, int round, int trumpCard,
           std::string_view gameKind);
void playerdisconnected(std::string& out, int slot, std::string_view name);
void startgame(std::string& out, std::string_view starter, std::string_view kind);
void startround(std::string& out, int round, int dealer);
void trump(std::string& out, int card);
void bidAsk(std::string& out, int bidder, int handSize, int firstPlayer);
void hisbid(std::string& out, int seat, int bid, int total);
void nextplayer(std::string& out, int seat);
void playcard(std::string& out, int seat, int position, int card);
void needsuit(std::string& out, int seat, int position);
void trickwinner(std::string& out, int seat, int tricks);
void score(std::string& out, int seat, int total, int points);
void winner(std::string& out, std::string_view names, int best);
// `text` carries its "|" colour suffix, relayed as it came.
void chatRelay(std::string& out, std::string_view name, std::string_view text);
void meRelay(std::string& out, std::string_view name, std::string_view text);
// The host's own line that a player who left the game is back: an action
// line in the tables' notice colour, which a table at "1.0.14" shows as it
// shows its own notices ("CMD_me+Ann has reconnected|$00804000").
void reconnected(std::string& out, std::string_view name);
void justwatching(std::string& out, int seat, bool watching);
// `sound` is the requester's text unchanged ("wave3+").
void playasoundRelay(std::string& out, int slot, std::string_view sound);
// "CMD_features+" list "+": what the host can do, answering a table's list.
void hostFeatures(std::string& out, std::string_view list);
// "CMD_secret+" slot "+" secret "+": the seat's secret, to the table that holds it.
void secret(std::string& out, int slot, std::string_view secret);
// "CMD_rules+" LIST: the house rules in force, to a table that reads them.
void rules(std::string& out, std::string_view list);
// One line in the tables' notice colour, as the host's own action line
// ("CMD_me+" text "|$00804000"), which a table at "1.0.14" shows too.
void notice(std::string& out, std::string_view text);
}  // namespace build

namespace parse {
// Requests, as the host reads them.
struct LoginInfo {
  int slot;
  std::string_view version;
  std::string_view name;
};
struct SlotTarget {
  int slot;
  int target;
};
struct SlotValue {
  int slot;
  int value;
};
struct SlotText {
  int slot;
  std::string_view text;
};
struct StartGameRequest {
  std::string_view name;
  std::string_view kind;
};
struct JustWatch {
  int seat;
  std::string_view flag;
};

std::optional<LoginInfo> logininfo(std::string_view fields);
std::optional<SlotTarget> kickhim(std::string_view fields);
std::optional<SlotValue> botspeed(std::string_view fields);
std::optional<SlotText> chat(std::string_view fields);  // also CMD_action
std::optional<StartGameRequest> startgameRequest(std::string_view fields);
std::optional<SlotValue> bid(std::string_view fields);              // slot, bid
std::optional<SlotValue> playcardRequest(std::string_view fields);  // slot, position
std::optional<JustWatch> justwatch(std::string_view fields);
std::optional<SlotText> playasoundRequest(std::string_view fields);  // text "waveN+"
std::optional<SlotText> botskill(std::string_view fields);           // text: the skill's name
std::optional<SlotText> features(std::string_view fields);           // text: the table's list
std::optional<SlotText> reclaim(std::string_view fields);            // text: the secret
std::optional<SlotText> rulesRequest(std::string_view fields);       // text: the LIST

// Announcements, as a table window reads them.
struct SlotName {
  int slot;
  std::string_view name;
};
struct PlaceCard {
  int seat;
  std::vector<PositionCard> cards;
};
struct NewPlayerStuff {
  int seat, bid, tricks, score;
  std::array<int, 4> played;
};
struct Stats {
  int currentPlayer, currentBidder, round, trumpCard;
  std::string_view gameKind;
};
struct StartGame {
  std::string_view starter;
  std::string_view kind;
};
struct BidAsk {
  int bidder, handSize, firstPlayer;
};
struct HisBid {
  int seat, bid, total;
};
struct PlayCard {
  int seat, position, card;
};
struct Winner {
  std::string_view names;
  int best;
};
struct SeatFlag {
  int seat;
  int flag;
};
struct Pair {
  int first, second;
};  // startround, trickwinner
struct Triple {
  int a, b, c;
};  // score: seat, total, points

// Each takes a BadField to learn why a message did not parse (see
// protocol/fields.h); the table window reports a number that is not one.
std::optional<int> sendlogininfo(std::string_view fields, BadField* bad = nullptr);
// newplayerinfo, existingplayers, playerdisconnected
std::optional<SlotName> slotName(std::string_view fields, BadField* bad = nullptr);
std::optional<PlaceCard> placecard(std::string_view fields, BadField* bad = nullptr);
std::optional<NewPlayerStuff> newplayerstuff(std::string_view fields, BadField* bad = nullptr);
std::optional<Stats> stats(std::string_view fields, BadField* bad = nullptr);
std::optional<StartGame> startgame(std::string_view fields, BadField* bad = nullptr);
std::optional<Pair> startround(std::string_view fields, BadField* bad = nullptr);
std::optional<int> trump(std::string_view fields, BadField* bad = nullptr);
std::optional<BidAsk> bidAsk(std::string_view fields, BadField* bad = nullptr);
std::optional<HisBid> hisbid(std::string_view fields, BadField* bad = nullptr);
std::optional<int> nextplayer(std::string_view fields, BadField* bad = nullptr);
std::optional<PlayCard> playcard(std::string_view fields, BadField* bad = nullptr);
std::optional<Pair> needsuit(std::string_view fields, BadField* bad = nullptr);  // seat, position
std::optional<Pair> trickwinner(std::string_view fields, BadField* bad = nullptr);
std::optional<Triple> score(std::string_view fields, BadField* bad = nullptr);
std::optional<Winner> winner(std::string_view fields, BadField* bad = nullptr);
std::optional<SeatFlag> justwatching(std::string_view fields, BadField* bad = nullptr);
// slot, "waveN"
std::optional<SlotText> playasoundRelay(std::string_view fields, BadField* bad = nullptr);
// The host's list of what it can do.
std::optional<std::string_view> hostFeatures(std::string_view fields);
// slot, the seat's secret (at most kMaxSecret bytes)
std::optional<SlotText> secret(std::string_view fields);
// The LIST of the house rules, as sent (read by rules::parse).
std::optional<std::string_view> rules(std::string_view fields);

// A chat or action line: the text and the colour after its last "|".
struct ColouredText {
  std::string_view text;
  std::string_view colour;
};
ColouredText colouredText(std::string_view line);
}  // namespace parse

}  // namespace ombrix::wire
