#include "client/tableevents.h"

namespace ombrix::client {

namespace {

namespace parse = wire::parse;
using A = wire::Announcement;

// The event a parser's result makes, or what was wrong with the fields.
template <class Parsed, class Make>
TableEvent readWith(A kind, std::string_view fields,
                    std::optional<Parsed> (*parser)(std::string_view, wire::BadField*), Make make) {
  wire::BadField bad;
  if (auto p = parser(fields, &bad)) return make(*p);
  return ev::Unreadable{kind, bad.number, std::string(bad.text)};
}

}  // namespace

std::optional<TableEvent> readAnnouncement(std::string_view message) {
  const auto [name, f] = wire::splitCommand(message);
  if (name.empty()) return std::nullopt;
  const A kind = wire::lookupAnnouncement(name);
  switch (kind) {
    case A::SendLoginInfo:
      return readWith(kind, f, parse::sendlogininfo, [](int slot) { return ev::LogIn{slot}; });
    case A::NewPlayerInfo:
    case A::ExistingPlayers:
      return readWith(kind, f, parse::slotName, [](const parse::SlotName& p) {
        return ev::Arrived{p.slot, std::string(p.name)};
      });
    case A::PlayerDisconnected:
      return readWith(kind, f, parse::slotName, [](const parse::SlotName& p) {
        return ev::Departed{p.slot, std::string(p.name)};
      });
    case A::JustWatching:
      return readWith(kind, f, parse::justwatching, [](const parse::SeatFlag& p) {
        return ev::JustWatching{p.seat, p.flag == 1};
      });
    case A::HaveWrongVersion:
      return ev::OtherVersion{std::string(f)};
    case A::WrongVersion:
      return ev::WrongVersion{};
    case A::Full:
      return ev::Full{};
    case A::NewPlayerStuff:
      return readWith(kind, f, parse::newplayerstuff, [](const parse::NewPlayerStuff& p) {
        return ev::SeatFound{p.seat, p.bid, p.tricks, p.score, p.played};
      });
    case A::Stats:
      return readWith(kind, f, parse::stats, [](const parse::Stats& p) {
        return ev::GameFound{p.currentPlayer, p.currentBidder, p.round, p.trumpCard, p.gameKind == "h"};
      });
    case A::StartGame:
      return readWith(kind, f, parse::startgame, [](const parse::StartGame& p) {
        return ev::GameStarted{std::string(p.starter), p.kind == "h"};
      });
    case A::StartRound:
      return readWith(kind, f, parse::startround, [](const parse::Pair& p) {
        return ev::RoundStarted{p.first, p.second};
      });
    case A::PlaceCard:
      return readWith(kind, f, parse::placecard, [](const parse::PlaceCard& p) {
        return ev::Dealt{p.seat, p.cards};
      });
    case A::Trump:
      return readWith(kind, f, parse::trump, [](int card) { return ev::Trump{card}; });
    case A::Bid:
      return readWith(kind, f, parse::bidAsk, [](const parse::BidAsk& p) {
        return ev::BidAsked{p.bidder, p.handSize, p.firstPlayer};
      });
    case A::HisBid:
      return readWith(kind, f, parse::hisbid, [](const parse::HisBid& p) {
        return ev::BidMade{p.seat, p.bid, p.total};
      });
    case A::NextPlayer:
      return readWith(kind, f, parse::nextplayer, [](int seat) { return ev::Turn{seat}; });
    case A::PlayCard:
      return readWith(kind, f, parse::playcard, [](const parse::PlayCard& p) {
        return ev::CardPlayed{p.seat, p.position, p.card};
      });
    case A::NeedSuit:
      return ev::CardRefused{};  // its fields name the card, which this table knows already
    case A::TrickWinner:
      return readWith(kind, f, parse::trickwinner, [](const parse::Pair& p) {
        return ev::TrickTaken{p.first, p.second};
      });
    case A::Score:
      return readWith(kind, f, parse::score, [](const parse::Triple& p) {
        return ev::Scored{p.a, p.b, p.c};
      });
    case A::Winner:
      return readWith(kind, f, parse::winner, [](const parse::Winner& p) {
        return ev::GameOver{std::string(p.names), p.best};
      });
    case A::Chat:
    case A::Me: {
      const auto line = parse::colouredText(f);
      return ev::Line{kind == A::Me, std::string(line.text), std::string(line.colour)};
    }
    case A::PlayASound:
      return readWith(kind, f, parse::playasoundRelay, [](const parse::SlotText& p) {
        return ev::Sound{p.slot, std::string(p.text)};
      });
    case A::Rules: {
      const auto list = parse::rules(f);
      if (!list) return std::nullopt;
      const auto r = rules::parse(*list);
      return ev::RulesTold{r.value_or(rules::Rules{}), std::string(*list), r.has_value()};
    }
    case A::Features:  // what the connection keeps (Tchat), not the table
    case A::Secret:
    case A::Unknown:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace ombrix::client
