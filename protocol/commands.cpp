#include "protocol/commands.h"

#include <charconv>

#include "protocol/fields.h"

namespace ombrix::wire {

namespace {

// Appends pieces to a message; numbers as plain decimal text.
class Out {
 public:
  Out(std::string& s, std::string_view word) : s_(s) {
    s_.clear();  // clear+append: assign() takes the slower overlapping-replace path
    s_.append(word);
  }
  Out& text(std::string_view t) {
    s_.append(t);
    return *this;
  }
  Out& num(int n) {
    // Nearly every number on the wire is a seat, position, card or small
    // count; the short cases skip to_chars on the engine's hot path.
    if (n >= 0 && n < 10) {
      s_.push_back(static_cast<char>('0' + n));
      return *this;
    }
    if (n >= 10 && n < 100) {
      const char two[2] = {static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
      s_.append(two, 2);
      return *this;
    }
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, n);
    s_.append(buf, r.ptr);
    return *this;
  }
  Out& plus() {
    s_.push_back('+');
    return *this;
  }
  Out& numPlus(int n) { return num(n).plus(); }

 private:
  std::string& s_;
};

template <class E>
struct NameEntry {
  std::string_view name;
  E value;
};

constexpr NameEntry<Request> kRequests[] = {
    {"CMD_logininfo", Request::LoginInfo},
    {"CMD_kickhim", Request::KickHim},
    {"CMD_botspeed", Request::BotSpeed},
    {"CMD_chat", Request::Chat},
    {"CMD_action", Request::Action},
    {"CMD_startgame", Request::StartGame},
    {"CMD_bid", Request::Bid},
    {"CMD_playcard", Request::PlayCard},
    {"CMD_justwatch", Request::JustWatch},
    {"CMD_playasound", Request::PlayASound},
    {"CMD_botskill", Request::BotSkill},
    {"CMD_features", Request::Features},
    {"CMD_reclaim", Request::Reclaim},
    {"CMD_rules", Request::Rules},
};

constexpr NameEntry<Announcement> kAnnouncements[] = {
    {"CMD_sendlogininfo", Announcement::SendLoginInfo},
    {"CMD_full", Announcement::Full},
    {"CMD_newplayerinfo", Announcement::NewPlayerInfo},
    {"CMD_existingplayers", Announcement::ExistingPlayers},
    {"CMD_havewrongversion", Announcement::HaveWrongVersion},
    {"CMD_wrongversion", Announcement::WrongVersion},
    {"CMD_placecard", Announcement::PlaceCard},
    {"CMD_newplayerstuff", Announcement::NewPlayerStuff},
    {"CMD_stats", Announcement::Stats},
    {"CMD_playerdisconnected", Announcement::PlayerDisconnected},
    {"CMD_startgame", Announcement::StartGame},
    {"CMD_startround", Announcement::StartRound},
    {"CMD_trump", Announcement::Trump},
    {"CMD_bid", Announcement::Bid},
    {"CMD_hisbid", Announcement::HisBid},
    {"CMD_nextplayer", Announcement::NextPlayer},
    {"CMD_playcard", Announcement::PlayCard},
    {"CMD_needsuit", Announcement::NeedSuit},
    {"CMD_trickwinner", Announcement::TrickWinner},
    {"CMD_score", Announcement::Score},
    {"CMD_winner", Announcement::Winner},
    {"CMD_chat", Announcement::Chat},
    {"CMD_me", Announcement::Me},
    {"CMD_justwatching", Announcement::JustWatching},
    {"CMD_playasound", Announcement::PlayASound},
    {"CMD_features", Announcement::Features},
    {"CMD_secret", Announcement::Secret},
    {"CMD_rules", Announcement::Rules},
};

template <class E, size_t N>
E lookup(const NameEntry<E> (&table)[N], std::string_view name) {
  for (const auto& e : table)
    if (e.name == name) return e.value;
  return E::Unknown;
}

}  // namespace

Split splitCommand(std::string_view message) {
  const size_t plus = message.find('+');
  if (plus == std::string_view::npos) return {{}, {}};
  return {message.substr(0, plus), message.substr(plus + 1)};
}

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

void toOneLine(std::string& text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
}

bool hasFeature(std::string_view list, std::string_view word) {
  while (!list.empty()) {
    const size_t comma = list.find(',');
    if (list.substr(0, comma) == word) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

Request lookupRequest(std::string_view name) { return lookup(kRequests, name); }
Announcement lookupAnnouncement(std::string_view name) { return lookup(kAnnouncements, name); }

namespace build {

void logininfo(std::string& out, int slot, std::string_view version, std::string_view name) {
  Out(out, "CMD_logininfo+").numPlus(slot).text(version).plus().text(name);
}
void kickhim(std::string& out, int slot, int target) {
  Out(out, "CMD_kickhim+").numPlus(slot).numPlus(target);
}
void botspeed(std::string& out, int slot, int ms) { Out(out, "CMD_botspeed+").numPlus(slot).numPlus(ms); }
void botskill(std::string& out, int slot, std::string_view skill) {
  Out(out, "CMD_botskill+").numPlus(slot).text(skill).plus();
}
void features(std::string& out, int slot, std::string_view list) {
  Out(out, "CMD_features+").numPlus(slot).text(list).plus();
}
void reclaim(std::string& out, int slot, std::string_view secret) {
  Out(out, "CMD_reclaim+").numPlus(slot).text(secret).plus();
}
void rulesRequest(std::string& out, int slot, std::string_view list) {
  Out(out, "CMD_rules+").numPlus(slot).text(list);
}
void chat(std::string& out, int slot, std::string_view text, std::string_view colour) {
  Out(out, "CMD_chat+").numPlus(slot).text(text).text("|").text(colour);
}
void action(std::string& out, int slot, std::string_view text, std::string_view colour) {
  Out(out, "CMD_action+").numPlus(slot).text(text).text("|").text(colour);
}
void startgameRequest(std::string& out, std::string_view name, bool half) {
  Out(out, "CMD_startgame+").text(name).text(half ? "+h+" : "+f+");
}
void bid(std::string& out, int slot, int bid) { Out(out, "CMD_bid+").numPlus(slot).num(bid); }
void playcardRequest(std::string& out, int slot, int position) {
  Out(out, "CMD_playcard+").numPlus(slot).num(position);
}
void justwatch(std::string& out, int seat, bool watch) {
  Out(out, "CMD_justwatch+").numPlus(seat).text(watch ? "1" : "2");
}
void playasoundRequest(std::string& out, int slot, int wave) {
  Out(out, "CMD_playasound+").numPlus(slot).text("wave").numPlus(wave);
}

void sendlogininfo(std::string& out, int slot) { Out(out, "CMD_sendlogininfo+").num(slot); }
void full(std::string& out) { Out(out, "CMD_full+"); }
void newplayerinfo(std::string& out, int slot, std::string_view name) {
  Out(out, "CMD_newplayerinfo+").numPlus(slot).text(name);
}
void existingplayers(std::string& out, int slot, std::string_view name) {
  Out(out, "CMD_existingplayers+").numPlus(slot).text(name);
}
void havewrongversion(std::string& out, std::string_view name) {
  Out(out, "CMD_havewrongversion+").text(name);
}
void wrongversion(std::string& out) { Out(out, "CMD_wrongversion+"); }
void placecard(std::string& out, int seat, const PositionCard* cards, int count) {
  Out o(out, "CMD_placecard+");
  o.num(seat);
  for (int i = 0; i < count; ++i) o.plus().numPlus(cards[i].first).num(cards[i].second);
}
void newplayerstuff(std::string& out, int seat, int bid, int tricks, int score,
                    const std::array<int, 4>& played) {
  Out o(out, "CMD_newplayerstuff+");
  o.numPlus(seat).numPlus(bid).numPlus(tricks).numPlus(score);
  for (int s = 0; s < 4; ++s) o.numPlus(s + 1).numPlus(played[s]);
}
void stats(std::string& out, int currentPlayer, int currentBidder, int round, int trumpCard,
           std::string_view gameKind) {
  Out(out, "CMD_stats+")
      .numPlus(currentPlayer)
      .numPlus(currentBidder)
      .numPlus(round)
      .numPlus(trumpCard)
      .text(gameKind)
      .plus();
}
void playerdisconnected(std::string& out, int slot, std::string_view name) {
  Out(out, "CMD_playerdisconnected+").numPlus(slot).text(name);
}
void startgame(std::string& out, std::string_view starter, std::string_view kind) {
  Out(out, "CMD_startgame+").text(starter).plus().text(kind).plus();
}
void startround(std::string& out, int round, int dealer) {
  Out(out, "CMD_startround+").numPlus(round).num(dealer);
}
void trump(std::string& out, int card) { Out(out, "CMD_trump+").num(card); }
void bidAsk(std::string& out, int bidder, int handSize, int firstPlayer) {
  Out(out, "CMD_bid+").numPlus(bidder).numPlus(handSize).num(firstPlayer);
}
void hisbid(std::string& out, int seat, int bid, int total) {
  Out(out, "CMD_hisbid+").numPlus(seat).numPlus(bid).num(total);
}
void nextplayer(std::string& out, int seat) { Out(out, "CMD_nextplayer+").num(seat); }
void playcard(std::string& out, int seat, int position, int card) {
  Out(out, "CMD_playcard+").numPlus(seat).numPlus(position).num(card);
}
void needsuit(std::string& out, int seat, int position) {
  Out(out, "CMD_needsuit+").numPlus(seat).text("2+").numPlus(position);
}
void trickwinner(std::string& out, int seat, int tricks) {
  Out(out, "CMD_trickwinner+").numPlus(seat).num(tricks);
}
void score(std::string& out, int seat, int total, int points) {
  Out(out, "CMD_score+").numPlus(seat).numPlus(total).num(points);
}
void winner(std::string& out, std::string_view names, int best) {
  Out(out, "CMD_winner+").text(names).plus().num(best);
}
void chatRelay(std::string& out, std::string_view name, std::string_view text) {
  Out(out, "CMD_chat+").text(name).text(" chats: ").text(text);
}
void meRelay(std::string& out, std::string_view name, std::string_view text) {
  Out(out, "CMD_me+").text(name).text(" ").text(text);
}
void reconnected(std::string& out, std::string_view name) {
  Out(out, "CMD_me+").text(name).text(" has reconnected|$00804000");
}
void justwatching(std::string& out, int seat, bool watching) {
  Out(out, "CMD_justwatching+").numPlus(seat).text(watching ? "1" : "2");
}
void playasoundRelay(std::string& out, int slot, std::string_view sound) {
  Out(out, "CMD_playasound+").numPlus(slot).text(sound);
}
void hostFeatures(std::string& out, std::string_view list) { Out(out, "CMD_features+").text(list).plus(); }
void secret(std::string& out, int slot, std::string_view secret) {
  Out(out, "CMD_secret+").numPlus(slot).text(secret).plus();
}
void rules(std::string& out, std::string_view list) { Out(out, "CMD_rules+").text(list); }
void notice(std::string& out, std::string_view text) { Out(out, "CMD_me+").text(text).text("|$00804000"); }

}  // namespace build

namespace parse {

std::optional<LoginInfo> logininfo(std::string_view fields) {
  FieldReader r(fields);
  auto slot = r.nextInt();
  auto version = r.next();
  if (!slot || !version) return std::nullopt;
  return LoginInfo{*slot, *version, r.rest()};
}

std::optional<SlotTarget> kickhim(std::string_view fields) {
  FieldReader r(fields);
  auto slot = r.nextInt();
  auto target = r.nextInt();
  if (!slot || !target) return std::nullopt;
  return SlotTarget{*slot, *target};
}

std::optional<SlotValue> botspeed(std::string_view fields) {
  FieldReader r(fields);
  auto slot = r.nextInt();
  auto ms = r.nextInt();
  if (!slot || !ms) return std::nullopt;
  return SlotValue{*slot, *ms};
}

std::optional<SlotText> botskill(std::string_view fields) {
  FieldReader r(fields);
  auto slot = r.nextInt();
  auto skill = r.next();
  if (!slot || !skill) return std::nullopt;
  return SlotText{*slot, *skill};
}

std::optional<SlotText> features(std::string_view fields) { return botskill(fields); }

std::optional<SlotText> reclaim(std::string_view fields) {
  auto r = botskill(fields);
  if (!r || r->text.empty() || r->text.size() > kMaxSecret) return std::nullopt;
  return r;
}

std::optional<std::string_view> hostFeatures(std::string_view fields) { return FieldReader(fields).next(); }

std::optional<SlotText> secret(std::string_view fields) { return reclaim(fields); }

std::optional<SlotText> rulesRequest(std::string_view fields) {
  FieldReader r(fields);
  auto slot = r.nextInt();
  if (!slot) return std::nullopt;
  return SlotText{*slot, r.rest()};
}

std::optional<std::string_view> rules(std::string_view fields) {
  if (fields.empty()) return std::nullopt;
  return fields;
}

std::optional<SlotText> chat(std::string_view fields) {
  FieldReader r(fields);
  auto slot = r.nextInt();
  if (!slot) return std::nullopt;
  return SlotText{*slot, r.rest()};
}

std::optional<StartGameRequest> startgameRequest(std::string_view fields) {
  FieldReader r(fields);
  auto name = r.next();
  auto kind = r.next();
  if (!name || !kind) return std::nullopt;
  return StartGameRequest{*name, *kind};
}

namespace {
std::optional<SlotValue> slotThenInt(std::string_view fields) {
  FieldReader r(fields);
  auto slot = r.nextInt();
  if (!slot) return std::nullopt;
  auto value = r.restInt();
  if (!value) return std::nullopt;
  return SlotValue{*slot, *value};
}

// Splits a message made only of numbers, with or without a trailing "+".
// `maySign`: bit i set when field i may be negative (a score, a total).
template <size_t N>
std::optional<std::array<int, N>> numbers(std::string_view fields, BadField* bad = nullptr, unsigned maySign = 0) {
  std::array<int, N> v{};
  FieldReader r(fields, bad);
  for (size_t i = 0; i < N; ++i) {
    auto f = (i + 1 < N) ? r.next() : std::optional<std::string_view>(r.rest());
    if (f && i + 1 == N && !f->empty() && f->back() == '+') f->remove_suffix(1);
    auto n = r.number(f, (maySign >> i & 1u) != 0);
    if (!n) return std::nullopt;
    v[i] = *n;
  }
  return v;
}
}  // namespace

std::optional<SlotValue> bid(std::string_view fields) { return slotThenInt(fields); }
std::optional<SlotValue> playcardRequest(std::string_view fields) { return slotThenInt(fields); }

std::optional<JustWatch> justwatch(std::string_view fields) {
  FieldReader r(fields);
  auto seat = r.nextInt();
  if (!seat) return std::nullopt;
  return JustWatch{*seat, r.rest()};
}

std::optional<SlotText> playasoundRequest(std::string_view fields) { return chat(fields); }

std::optional<int> sendlogininfo(std::string_view fields, BadField* bad) {
  return FieldReader(fields, bad).restInt();
}

std::optional<SlotName> slotName(std::string_view fields, BadField* bad) {
  FieldReader r(fields, bad);
  auto slot = r.nextInt();
  if (!slot) return std::nullopt;
  return SlotName{*slot, r.rest()};
}

std::optional<PlaceCard> placecard(std::string_view fields, BadField* bad) {
  PlaceCard pc{};
  const size_t plus = fields.find('+');
  FieldReader r(plus == std::string_view::npos ? std::string_view() : fields.substr(plus + 1), bad);
  auto seat = r.number(fields.substr(0, plus));
  if (!seat) return std::nullopt;
  pc.seat = *seat;
  while (!r.atEnd()) {
    auto pos = r.nextInt();
    if (!pos) return std::nullopt;
    auto cardText = r.next();
    std::optional<int> card = cardText ? r.number(cardText) : r.restInt();
    if (!card) return std::nullopt;
    pc.cards.emplace_back(*pos, *card);
  }
  return pc;
}

std::optional<NewPlayerStuff> newplayerstuff(std::string_view fields, BadField* bad) {
  auto v = numbers<12>(fields, bad, 1u << 3);  // the score
  if (!v) return std::nullopt;
  const auto& n = *v;
  if (n[4] != 1 || n[6] != 2 || n[8] != 3 || n[10] != 4) return std::nullopt;
  return NewPlayerStuff{n[0], n[1], n[2], n[3], {n[5], n[7], n[9], n[11]}};
}

std::optional<Stats> stats(std::string_view fields, BadField* bad) {
  FieldReader r(fields, bad);
  auto a = r.nextInt();
  if (!a) return std::nullopt;
  auto b = r.nextInt();
  if (!b) return std::nullopt;
  auto c = r.nextInt();
  if (!c) return std::nullopt;
  auto d = r.nextInt();
  if (!d) return std::nullopt;
  auto kind = r.next();
  if (!kind) return std::nullopt;
  return Stats{*a, *b, *c, *d, *kind};
}

std::optional<StartGame> startgame(std::string_view fields, BadField*) {
  // The starter's name may itself hold "+": the kind is the field before the
  // trailing "+".
  if (fields.empty() || fields.back() != '+') return std::nullopt;
  std::string_view body = fields.substr(0, fields.size() - 1);
  const size_t plus = body.rfind('+');
  if (plus == std::string_view::npos) return std::nullopt;
  return StartGame{body.substr(0, plus), body.substr(plus + 1)};
}

std::optional<Pair> startround(std::string_view fields, BadField* bad) {
  auto v = numbers<2>(fields, bad);
  if (!v) return std::nullopt;
  return Pair{(*v)[0], (*v)[1]};
}

std::optional<int> trump(std::string_view fields, BadField* bad) {
  return FieldReader(fields, bad).restInt();
}

std::optional<BidAsk> bidAsk(std::string_view fields, BadField* bad) {
  auto v = numbers<3>(fields, bad);
  if (!v) return std::nullopt;
  return BidAsk{(*v)[0], (*v)[1], (*v)[2]};
}

std::optional<HisBid> hisbid(std::string_view fields, BadField* bad) {
  auto v = numbers<3>(fields, bad);
  if (!v) return std::nullopt;
  return HisBid{(*v)[0], (*v)[1], (*v)[2]};
}

std::optional<int> nextplayer(std::string_view fields, BadField* bad) {
  return FieldReader(fields, bad).restInt();
}

std::optional<PlayCard> playcard(std::string_view fields, BadField* bad) {
  auto v = numbers<3>(fields, bad);
  if (!v) return std::nullopt;
  return PlayCard{(*v)[0], (*v)[1], (*v)[2]};
}

std::optional<Pair> needsuit(std::string_view fields, BadField* bad) {
  auto v = numbers<3>(fields, bad);
  if (!v) return std::nullopt;
  return Pair{(*v)[0], (*v)[2]};
}

std::optional<Pair> trickwinner(std::string_view fields, BadField* bad) {
  auto v = numbers<2>(fields, bad);
  if (!v) return std::nullopt;
  return Pair{(*v)[0], (*v)[1]};
}

std::optional<Triple> score(std::string_view fields, BadField* bad) {
  auto v = numbers<3>(fields, bad, 0b110);  // the total and the round's points
  if (!v) return std::nullopt;
  return Triple{(*v)[0], (*v)[1], (*v)[2]};
}

std::optional<Winner> winner(std::string_view fields, BadField* bad) {
  // Names may hold "+" (they are free text); the score follows the last one.
  const size_t plus = fields.rfind('+');
  FieldReader r({}, bad);
  if (plus == std::string_view::npos) {
    r.number(std::nullopt);
    return std::nullopt;
  }
  auto best = r.number(fields.substr(plus + 1), true);
  if (!best) return std::nullopt;
  return Winner{fields.substr(0, plus), *best};
}

std::optional<SeatFlag> justwatching(std::string_view fields, BadField* bad) {
  auto v = numbers<2>(fields, bad);
  if (!v) return std::nullopt;
  return SeatFlag{(*v)[0], (*v)[1]};
}

std::optional<SlotText> playasoundRelay(std::string_view fields, BadField* bad) {
  FieldReader r(fields, bad);
  auto slot = r.nextInt();
  if (!slot) return std::nullopt;
  auto sound = r.next();
  if (!sound) return std::nullopt;
  return SlotText{*slot, *sound};
}

ColouredText colouredText(std::string_view line) {
  const size_t bar = line.rfind('|');
  if (bar == std::string_view::npos) return {line, {}};
  return {line.substr(0, bar), line.substr(bar + 1)};
}

}  // namespace parse

}  // namespace ombrix::wire
