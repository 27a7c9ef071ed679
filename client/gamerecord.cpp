#include "client/gamerecord.h"

#include <QSaveFile>
#include <algorithm>
#include <array>

namespace ombrix::client {

namespace {

QString latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

QString plural(int n, const char* one, const char* many) {
  return QString::number(n) + " " + (n == 1 ? one : many);
}

}  // namespace

QString GameRecord::cardName(int card) {
  static const char* const kRanks[] = {"2", "3", "4", "5", "6", "7", "8", "9", "10", "J", "Q", "K", "A"};
  static const char kSuits[] = {'C', 'D', 'H', 'S'};
  if (card < 1 || card > 52) return "?";
  return QString(kRanks[(card - 1) % 13]) + kSuits[(card - 1) / 13];
}

QStringList GameRecord::captions() const {
  QStringList names;
  for (int s = 1; s <= kSeats; ++s) names << latin1(table_.name(s));
  return names;
}

GameRecord::Round& GameRecord::round() { return game_.rounds.back(); }

bool GameRecord::room() {
  if (entries_ >= kMaxEntries) return false;
  ++entries_;
  return true;
}

QString GameRecord::name(const Round& r, int seat) const {
  return seat >= 1 && seat <= r.names.size() ? r.names[seat - 1] : "seat " + QString::number(seat);
}

void GameRecord::after(const TableEvent& e) {
  std::visit(Handlers{[this](const ev::SeatFound& x) { found(x); }, [this](const ev::Dealt& x) { dealt(x); },
                      [this](const ev::GameStarted& x) { startGame(x); },
                      [this](const ev::GameFound& x) { joinGame(x); },
                      [this](const ev::RoundStarted& x) { startRound(x); },
                      [this, &e](const auto&) {
                        if (game_.seen && !game_.rounds.empty()) inRound(e);
                      }},
             e);
}

void GameRecord::found(const ev::SeatFound& p) {
  if (p.seat < 1 || p.seat > kSeats) return;
  // One entry a seat: told twice, the later stands.
  const Found f{p.bid, p.tricks, p.score, p.played[p.seat - 1]};
  auto same = std::find_if(found_.begin(), found_.end(), [&](const auto& e) { return e.first == p.seat; });
  if (same != found_.end())
    same->second = f;
  else
    found_.push_back({p.seat, f});
}

void GameRecord::dealt(const ev::Dealt& p) {
  // The own hand: dealt at a round's start, or as it stood when joining
  // (before CMD_stats opens the round).
  if (p.seat != table_.mySeat()) return;
  foundHand_.clear();
  for (auto [position, card] : p.cards)
    if (card > 0) foundHand_.push_back(card);
  std::sort(foundHand_.begin(), foundHand_.end());
  if (game_.seen && !game_.rounds.empty() && round().tricks.empty()) round().hand = foundHand_;
}

void GameRecord::inRound(const TableEvent& e) {
  std::visit(Handlers{[this](const ev::Trump& p) { round().trump = p.card; },
                      [this](const ev::BidAsked& p) { round().handSize = p.handSize; },
                      [this](const ev::BidMade& p) {
                        if (p.seat >= 1 && p.seat <= kSeats && room()) {
                          round().bids.push_back({p.seat, p.bid});
                          round().totalBids = p.total;
                        }
                      },
                      [this](const ev::CardPlayed& p) { cardPlayed(p); },
                      [this](const ev::TrickTaken& p) { trickWon(p); },
                      [this](const ev::Scored& p) {
                        if (p.seat >= 1 && p.seat <= kSeats && room())
                          round().scores.push_back({p.seat, p.points, p.total});
                      },
                      [this](const ev::GameOver& p) {
                        game_.winner = latin1(p.names);
                        game_.best = p.best;
                      },
                      [](const auto&) {}},
             e);
}

void GameRecord::beginGame(bool half, const std::string& starter) {
  rejoining_ = false;
  game_ = Game{};
  entries_ = 0;
  game_.seen = true;
  game_.half = half;
  game_.starter = latin1(starter);
  game_.names = captions();
}

void GameRecord::startGame(const ev::GameStarted& p) {
  beginGame(p.half, p.starter);
  found_.clear();
}

void GameRecord::joinGame(const ev::GameFound& p) {
  if (resumed_) {
    const SavedGame saved = std::move(*resumed_);
    resumed_.reset();
    // The host put back the game the save holds: its rounds are this table's.
    if (!saved.told.empty() && saved.round == p.round) return resumeGame(p, saved);
  }
  // Back after a dropped line to the game this record follows (unfinished,
  // of the same kind, not gone back in rounds): the rounds seen stay.
  const bool goesOn = rejoining_ && game_.seen && game_.best < 0 && game_.half == p.half &&
                      !game_.rounds.empty() && p.round >= game_.rounds.back().number;
  rejoining_ = false;
  if (!goesOn) {
    game_ = Game{};
    entries_ = 0;
    game_.seen = game_.joined = true;
    game_.half = p.half;
    game_.names = captions();
  }
  Round r;
  r.number = p.round;
  r.handSize = rules::handSize(table_.rules(), p.round);
  r.trump = p.trump;
  r.names = goesOn ? captions() : game_.names;
  r.namesChanged = goesOn && r.names != game_.rounds.back().names;
  r.hand = foundHand_;
  r.handAtJoin = true;
  r.joinedHere = !goesOn;
  r.backHere = goesOn;
  QStringList state;
  Trick underway;
  int tricksTaken = 0;
  for (const auto& [seat, f] : found_) {
    state << name(r, seat) + " bid " + QString::number(f.bid) + ", " + plural(f.tricks, "trick", "tricks") +
                 ", score " + QString::number(f.score);
    tricksTaken += f.tricks;
    if (f.card > 0) underway.cards.push_back({seat, f.card});
  }
  r.joinedState = state.join("; ");
  if (!underway.cards.empty()) {
    underway.number = tricksTaken + 1;
    underway.onTableAtJoin = static_cast<int>(underway.cards.size());
    r.tricks.push_back(underway);
  }
  r.trickBase = tricksTaken;
  game_.rounds.push_back(r);
  found_.clear();
}

void GameRecord::resumeGame(const ev::GameFound& p, const SavedGame& saved) {
  beginGame(p.half, saved.starter);
  const int me = table_.mySeat();
  std::vector<int> mine;  // the cards this table played in the round
  auto dealtHand = [&](std::vector<int> held) {
    held.insert(held.end(), mine.begin(), mine.end());
    std::sort(held.begin(), held.end());
    mine.clear();
    return held;
  };
  for (const SavedGame::Told& t : saved.told) {
    switch (t.kind) {
      case SavedGame::Told::Round:
        if (!game_.rounds.empty()) round().hand = dealtHand({});
        if (!room()) return;
        game_.rounds.emplace_back();
        round().number = static_cast<int>(game_.rounds.size());
        round().dealer = t.a;
        round().handSize = rules::handSize(table_.rules(), round().number);
        round().trump = t.b;
        round().names = game_.names;
        break;
      case SavedGame::Told::Bid:
        if (!game_.rounds.empty() && room()) {
          round().bids.push_back({t.a, t.b});
          round().totalBids += t.b;
        }
        break;
      case SavedGame::Told::Play:
        if (game_.rounds.empty()) break;
        if (t.a == me) mine.push_back(t.b);
        cardPlayed({t.a, 0, t.b});
        break;
      case SavedGame::Told::Trick:
        if (!game_.rounds.empty()) trickWon({t.a, 0});
        break;
    }
  }
  if (game_.rounds.empty()) return;
  round().hand = dealtHand(foundHand_);
  // The scores, each seat's running total with its round.
  std::array<int, kSeats + 1> total{};
  for (size_t r = 0; r < saved.roundPoints.size() && r < game_.rounds.size(); ++r)
    for (int seat = 1; seat <= kSeats; ++seat) {
      total[seat] += saved.roundPoints[r][seat];
      if (room()) game_.rounds[r].scores.push_back({seat, saved.roundPoints[r][seat], total[seat]});
    }
  found_.clear();
}

void GameRecord::startRound(const ev::RoundStarted& p) {
  if (!game_.seen || !room()) return;
  Round r;
  r.number = p.round;
  r.dealer = p.dealer;
  r.handSize = rules::handSize(table_.rules(), p.round);
  r.names = captions();
  r.namesChanged = r.names != (game_.rounds.empty() ? game_.names : game_.rounds.back().names);
  game_.rounds.push_back(r);
}

void GameRecord::cardPlayed(const ev::CardPlayed& p) {
  if (p.seat < 1 || p.seat > kSeats || !room()) return;
  std::vector<Trick>& tricks = round().tricks;
  if (tricks.empty() || tricks.back().winner != 0) {
    Trick t;
    t.number = tricks.empty() ? round().trickBase + 1 : tricks.back().number + 1;
    tricks.push_back(t);
  }
  tricks.back().cards.push_back({p.seat, p.card});
}

void GameRecord::trickWon(const ev::TrickTaken& p) {
  if (round().tricks.empty() || round().tricks.back().winner != 0) return;
  round().tricks.back().winner = p.seat;
}

QString GameRecord::text() const {
  QStringList out;
  out << "Ombrix game record";
  if (!game_.seen) {
    out << "No game seen yet.";
    return out.join('\n') + '\n';
  }
  const QString kind = game_.half ? "HALF (10 rounds)" : "FULL (20 rounds)";
  if (game_.joined) {
    const int first = game_.rounds.empty() ? 0 : game_.rounds.front().number;
    out << "Game: " + kind + ", joined during round " + QString::number(first) +
               "; the rounds before were not seen";
  } else {
    out << "Game: " + kind + ", started by " + game_.starter;
  }
  const int me = table_.mySeat();
  if (me >= 1 && me <= kSeats)
    out << "Seen by: " + game_.names.value(me - 1) + ", seat " + QString::number(me);
  else
    out << "Seen by: " + latin1(table_.name(me)) + ", spectator";
  auto seats = [](const QStringList& names) {
    QStringList s;
    for (int i = 0; i < names.size(); ++i) s << QString::number(i + 1) + " " + names[i];
    return "Seats: " + s.join(", ");
  };
  out << seats(game_.names);

  for (const Round& r : game_.rounds) {
    out << "";
    QString head = "Round " + QString::number(r.number) + ": " + plural(r.handSize, "card", "cards");
    if (r.dealer) head += ", dealer " + name(r, r.dealer);
    head += ", trump " + (r.trump ? cardName(r.trump) : QString("not seen"));
    if (r.joinedHere) head += " (joined during this round)";
    if (r.backHere) head += " (back during this round after the line dropped)";
    out << head;
    if (r.namesChanged) out << seats(r.names);
    if (!r.joinedState.isEmpty()) out << "When joined: " + r.joinedState;
    if (!r.hand.empty()) {
      QStringList cards;
      for (int c : r.hand) cards << cardName(c);
      out << QString(r.handAtJoin ? "Hand when joined: " : "Hand: ") + cards.join(' ');
    }
    if (!r.bids.empty()) {
      QStringList bids;
      for (auto [seat, bid] : r.bids) bids << name(r, seat) + " " + QString::number(bid);
      out << "Bids: " + bids.join(", ") + "; total " + QString::number(r.totalBids);
    }
    for (const Trick& t : r.tricks) {
      QStringList before, cards;
      for (size_t i = 0; i < t.cards.size(); ++i)
        (static_cast<int>(i) < t.onTableAtJoin ? before : cards)
            << name(r, t.cards[i].first) + " " + cardName(t.cards[i].second);
      QString line = "Trick " + QString::number(t.number) + ": ";
      if (!before.isEmpty()) line += "(on the table when joined: " + before.join(", ") + ") ";
      line += cards.join(", ");
      line += t.winner ? "; won by " + name(r, t.winner) : QString("; not finished");
      out << line;
    }
    if (!r.scores.empty()) {
      QStringList scores;
      for (const Score& s : r.scores)
        scores << name(r, s.seat) + " " + QString::number(s.points) + " (total " + QString::number(s.total) +
                      ")";
      out << "Scores: " + scores.join(", ");
    }
  }
  if (game_.best >= 0)
    out << ""
        << "Winner: " + game_.winner + " with " + QString::number(game_.best);
  return out.join('\n') + '\n';
}

bool GameRecord::save(const QString& path, QString* error) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(text().toUtf8()) < 0 ||
      !file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace ombrix::client
