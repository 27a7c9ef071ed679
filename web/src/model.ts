// The table as this page knows it from the host's announcements: the company,
// the game, this seat's hand, the trick on the table and the last one. It
// keeps every number within the game's bounds, so nothing a host sends can
// make the page draw a table no game has. Nothing changes it but apply() and
// the player's own card request. What each announcement means follows the
// desktop table.

import { cardName, isCard, suitOf, SUITS } from "./cards";
import type { Event } from "./wire";

export const DEFAULT_NAMES = ["", "You", "Reza", "Vivav", "Derev"];
export const WAITING = "<Waiting>";
export const NOTICE = "$00804000";

export interface Effects {
  notices: Array<{ text: string; colour: string }>;
  sounds: string[];
  // What moved, for the animations and the screen reader.
  played?: { seat: number; card: number; position: number };
  taken?: { seat: number; cards: number[] };
  dealt?: boolean;
  stop?: string; // the connection is over for good, and why
}

const isSeat = (n: number) => Number.isInteger(n) && n >= 1 && n <= 4;
const clamp = (n: number, lo: number, hi: number) => Math.min(hi, Math.max(lo, n));

export class TableModel {
  mySeat = 0;
  loggedIn = false;
  names: string[] = [];
  spectators = new Map<number, string>();
  watching: boolean[] = [];
  gameSeen = false;
  half = false;
  running = false;
  round = 0;
  dealer = 0;
  handSize = 0;
  trump = 0;
  bidder = 0;
  opener = 0;
  onTurn = 0;
  myTurn = false;
  bids: Array<number | null> = [];
  tricks: number[] = [];
  scores: number[] = [];
  totalBids = 0;
  // The house rules the host plays by, as it told them ("" for the design's).
  rules = "";
  hand: number[] = []; // by hand position 1..10, 0 for none
  fans: number[] = []; // the backs each seat shows
  played: number[] = []; // the trick on the table, by seat
  trickWinner = 0;
  ledCard = 0;
  lastTrick = { cards: [0, 0, 0, 0, 0], led: 0, winner: 0, trump: 0 };
  // The score card: rows 1..20 by seat, "" for none, "--" outside a half game.
  card: string[][] = [];
  winnerText = "";
  winnerScore = 0;
  status1 = "";
  status2 = "";
  turnText = "Good Luck!";
  endText = "";
  sentCard = 0; // the hand position asked for, until the host answers

  constructor(public myName = "") {
    this.reset();
  }

  // Back to a table before its log-in: what a new connection starts from.
  reset(): void {
    this.mySeat = 0;
    this.loggedIn = false;
    this.names = ["", WAITING, WAITING, WAITING, WAITING];
    this.spectators.clear();
    this.watching = [false, false, false, false, false];
    this.gameSeen = this.half = this.running = false;
    this.round = this.dealer = this.handSize = this.trump = this.bidder = this.opener = this.onTurn = 0;
    this.myTurn = false;
    this.bids = [null, null, null, null, null];
    this.tricks = [0, 0, 0, 0, 0];
    this.scores = [0, 0, 0, 0, 0];
    this.totalBids = 0;
    this.rules = "";
    this.hand = new Array(11).fill(0);
    this.fans = [0, 0, 0, 0, 0];
    this.played = [0, 0, 0, 0, 0];
    this.trickWinner = this.ledCard = 0;
    this.lastTrick = { cards: [0, 0, 0, 0, 0], led: 0, winner: 0, trump: 0 };
    this.card = Array.from({ length: 22 }, () => ["", "", "", "", ""]);
    this.winnerText = "";
    this.status1 = this.status2 = this.endText = "";
    this.turnText = "Good Luck!";
    this.sentCard = 0;
  }

  // This seat may bid n now: under the hook the last bidder may not make the
  // bids total the round's cards.
  mayBid(n: number): boolean {
    if (!this.rules.split(",").includes("hook")) return true;
    const others = [1, 2, 3, 4].filter((s) => s !== this.mySeat && this.bids[s] !== null).length;
    return others < 3 || this.totalBids + n !== this.handSize;
  }

  get seated(): boolean {
    return isSeat(this.mySeat);
  }

  // A seat's caption, or a spectator's name.
  name(slot: number): string {
    return isSeat(slot) ? this.names[slot] : this.spectators.get(slot) ?? "";
  }

  // Screen position 1 bottom, 2 left, 3 top, 4 right: this table's own seat
  // at the bottom; a spectator sees seat 1 there.
  seatAt(position: number): number {
    const s = this.seated ? this.mySeat : 1;
    return ((s + position - 2) % 4) + 1;
  }
  positionOf(seat: number): number {
    const s = this.seated ? this.mySeat : 1;
    return ((seat - s + 4) % 4) + 1;
  }

  // The cards this seat may play now: those of the led suit when it has one.
  playable(): Set<number> {
    const out = new Set<number>();
    if (!this.myTurn) return out;
    const cards = this.hand.map((c, p) => [p, c]).filter(([p, c]) => p > 0 && isCard(c));
    const led = isCard(this.ledCard) ? suitOf(this.ledCard) : 0;
    const follow = led && cards.some(([, c]) => suitOf(c) === led);
    for (const [p, c] of cards) if (!follow || suitOf(c) === led) out.add(p);
    return out;
  }

  // The hand positions in the order shown: by card, clubs to spades, two to ace.
  sortedHand(): number[] {
    const out: number[] = [];
    for (let p = 1; p <= 10; p++) if (isCard(this.hand[p])) out.push(p);
    return out.sort((a, b) => this.hand[a] - this.hand[b]);
  }

  cardSent(position: number): void {
    this.myTurn = false;
    this.sentCard = position;
  }

  private you(seat: number, mine: string, theirs: string): string {
    return seat === this.mySeat ? mine : this.names[seat] + theirs;
  }

  apply(e: Event): Effects {
    const fx: Effects = { notices: [], sounds: [] };
    const notice = (text: string) => fx.notices.push({ text, colour: NOTICE });
    switch (e.kind) {
      case "login":
        this.mySeat = clamp(e.slot, 0, 9);
        this.loggedIn = true;
        break;
      case "full":
        fx.stop = "The Game is full, Disconnecting..";
        break;
      case "arrived":
        if (e.slot >= 5 && e.slot <= 9) {
          this.spectators.set(e.slot, e.name);
          notice(e.slot === this.mySeat ? "You are just spying." : e.name + " is spying.");
        } else if (isSeat(e.slot)) {
          this.names[e.slot] = e.name;
          notice(e.slot === this.mySeat ? "You are Connected." : e.name + " has Connected.");
        }
        break;
      case "departed":
        if (e.slot === this.mySeat) {
          this.loggedIn = false;
          fx.stop = "You have left the table.";
          break;
        }
        if (isSeat(e.slot)) {
          const caption = this.names[e.slot];
          if (caption !== WAITING && caption !== DEFAULT_NAMES[e.slot]) notice(caption + " disconnected.");
          this.names[e.slot] = DEFAULT_NAMES[e.slot];
          this.watching[e.slot] = false;
        }
        if (this.spectators.get(e.slot) === e.name) {
          notice(e.name + " has left.");
          this.spectators.delete(e.slot);
        }
        break;
      case "justWatching":
        if (!isSeat(e.seat)) break;
        this.watching[e.seat] = e.watching;
        notice(this.names[e.seat] + (e.watching ? " is just watching" : " now playing again"));
        break;
      case "otherVersion":
        notice(e.name + " has a different version of the game then you.");
        break;
      case "wrongVersion":
        notice("You have a differnt version of the game then the host.");
        break;
      case "seatFound":
        if (!isSeat(e.seat)) break;
        this.bids[e.seat] = clamp(e.bid, 0, 10);
        this.tricks[e.seat] = clamp(e.tricks, 0, 10);
        this.scores[e.seat] = e.score;
        for (let n = 1; n <= 4; n++) if (isCard(e.played[n])) this.played[n] = e.played[n];
        this.running = this.gameSeen = true;
        break;
      case "gameFound":
        this.onTurn = isSeat(e.player) ? e.player : 0;
        this.round = clamp(e.round, 0, 20);
        this.trump = isCard(e.trump) ? e.trump : 0;
        this.half = e.half;
        this.running = this.gameSeen = true;
        this.setRows();
        for (let s = 1; s <= 4; s++) if (this.names[s] === WAITING) this.names[s] = DEFAULT_NAMES[s];
        this.ledCard = this.leadOfTable();
        break;
      case "gameStarted":
        this.gameSeen = this.running = true;
        this.half = e.half;
        for (let s = 1; s <= 4; s++) {
          this.scores[s] = 0;
          this.bids[s] = null;
          this.tricks[s] = 0;
          this.fans[s] = 0;
          this.watching[s] = false;
          if (this.names[s] === WAITING) this.names[s] = DEFAULT_NAMES[s];
        }
        this.card = Array.from({ length: 22 }, () => ["", "", "", "", ""]);
        this.setRows();
        this.hand.fill(0);
        this.winnerText = "";
        this.endText = "";
        notice(
          (e.starter === this.myName ? "You have" : e.starter + " has") + ` started a ${e.half ? "HALF" : "FULL"} game.`,
        );
        if (this.rules) {
          this.status1 = `House rules: ${this.rules}.`;
          notice(this.status1);
        }
        break;
      case "roundStarted":
        this.round = clamp(e.round, 0, 20);
        this.dealer = e.dealer;
        {
          const starting =
            `Round ${this.round} is starting! ` +
            (e.dealer === this.mySeat ? "You are dealer." : `${this.name(e.dealer)} is dealer.`);
          // The first round leaves the house rules on the first line until the first trick.
          if (this.round === 1 && this.rules) this.status2 = starting;
          else this.status1 = starting;
        }
        for (let s = 1; s <= 4; s++) {
          this.fans[s] = 0;
          this.bids[s] = null;
          this.tricks[s] = 0;
          this.played[s] = 0;
        }
        this.trickWinner = this.ledCard = this.totalBids = 0;
        this.hand.fill(0);
        this.bidder = this.onTurn = 0;
        this.myTurn = false;
        break;
      case "dealt": {
        if (!isSeat(e.seat)) break;
        this.played[e.seat] = 0;
        let count = 0;
        for (const [position, card] of e.cards) {
          if (position < 1 || position > 10) continue;
          count = position;
          if (e.seat === this.mySeat) this.hand[position] = isCard(card) ? card : 0;
        }
        if (e.seat !== this.mySeat && count) this.fans[e.seat] = count;
        if (e.seat === this.mySeat) fx.dealt = true;
        break;
      }
      case "trump":
        this.trump = isCard(e.card) ? e.card : 0;
        break;
      case "bidAsked":
        this.endText = "";
        this.bidder = isSeat(e.bidder) ? e.bidder : 0;
        this.handSize = clamp(e.handSize, 0, 10);
        this.opener = isSeat(e.opener) ? e.opener : 0;
        this.onTurn = 0;
        if (this.bidder === this.mySeat) {
          this.status2 = this.turnText = "Your bid..";
          fx.sounds.push("bid");
        } else if (this.bidder) {
          this.status2 = this.turnText = this.names[this.bidder] + " Bid..";
        }
        break;
      case "bidMade":
        this.endText = "";
        if (e.seat === this.bidder) this.bidder = 0;
        if (!isSeat(e.seat)) break;
        this.bids[e.seat] = clamp(e.bid, 0, 10);
        this.totalBids = e.total;
        this.status2 = this.you(e.seat, "You bid: ", " bids: ") + e.bid;
        break;
      case "turn":
        this.onTurn = isSeat(e.seat) ? e.seat : 0;
        this.bidder = 0;
        if (e.seat === this.mySeat) {
          this.turnText = "Your Turn.";
          this.status2 = "Your Turn";
          this.myTurn = true;
          this.sentCard = 0;
          fx.sounds.push("turn");
        } else {
          this.turnText = this.status2 = this.name(e.seat) + "'s turn.";
          this.myTurn = false;
        }
        break;
      case "cardPlayed": {
        if (!isSeat(e.seat) || !isCard(e.card)) break;
        if (this.trickWinner) {
          // The next trick's first card: the last one's cards are gone.
          this.trickWinner = 0;
        }
        this.bidder = 0;
        this.played[e.seat] = e.card;
        if (e.seat === this.mySeat) {
          if (e.position >= 1 && e.position <= 10) this.hand[e.position] = 0;
          this.sentCard = 0;
        } else {
          this.fans[e.seat] = Math.max(0, this.fans[e.seat] - 1);
        }
        if (!this.ledCard) this.ledCard = e.card;
        if (e.seat === this.onTurn) this.onTurn = 0;
        fx.played = { seat: e.seat, card: e.card, position: e.position };
        fx.sounds.push("placecard");
        break;
      }
      case "cardRefused":
        this.myTurn = true;
        this.sentCard = 0;
        fx.sounds.push("turnoverbad");
        break;
      case "trickTaken": {
        if (!isSeat(e.seat)) break;
        this.status2 = "";
        this.onTurn = 0;
        this.status1 = this.you(e.seat, "You won the trick!", " won the trick.");
        this.tricks[e.seat] = clamp(e.tricks, 0, 10);
        this.trickWinner = e.seat;
        this.lastTrick = { cards: [...this.played], led: this.ledCard, winner: e.seat, trump: this.trump };
        fx.taken = { seat: e.seat, cards: [...this.played] };
        this.played = [0, 0, 0, 0, 0];
        this.ledCard = 0;
        if (e.seat === this.mySeat) fx.sounds.push("taketrick");
        break;
      }
      case "scored":
        if (!isSeat(e.seat)) break;
        this.scores[e.seat] = e.total;
        this.card[21][e.seat] = String(e.total);
        if (this.round >= 1 && this.round <= 20) this.card[this.round][e.seat] = String(e.points);
        if (e.seat === this.mySeat) {
          // Under house rules a miss may score (by tricks) or lose points.
          const made = this.rules ? this.bids[e.seat] === this.tricks[e.seat] : e.points !== 0;
          this.endText = made ? "You Made your Bid!" : "You did not make your Bid!";
          fx.sounds.push(made ? "turnovergood" : "turnoverbad");
        }
        break;
      case "gameOver":
        this.winnerText = e.names;
        this.winnerScore = e.best;
        this.status1 = e.names + " won the game.";
        this.status2 = "Winning Score: " + e.best;
        this.endText = "Game Over!";
        this.running = false;
        this.myTurn = false;
        this.bidder = this.onTurn = 0;
        this.hand.fill(0);
        this.fans = [0, 0, 0, 0, 0];
        if (this.myName && e.names.includes(this.myName)) fx.sounds.push("winner");
        break;
      case "line":
        fx.notices.push({ text: e.text, colour: e.colour || "clWhite" });
        break;
      case "rules":
        this.rules = e.list === "design" ? "" : e.list;
        break;
      case "sound":
      case "features":
      case "secret":
      case "unreadable":
        break;
    }
    return fx;
  }

  // Whose card led the trick on the table, for a late joiner: the seat
  // after the last one to play, going back from the seat on turn.
  private leadOfTable(): number {
    if (!this.onTurn) return 0;
    let seat = this.onTurn;
    let lead = 0;
    for (let i = 0; i < 3; i++) {
      seat = seat === 1 ? 4 : seat - 1;
      if (isCard(this.played[seat])) lead = this.played[seat];
      else break;
    }
    return lead;
  }

  private setRows(): void {
    for (let r = 1; r <= 20; r++)
      for (let s = 1; s <= 4; s++) {
        if (this.half && r > 10) this.card[r][s] = "--";
        else if (this.card[r][s] === "--") this.card[r][s] = "";
      }
  }

  ledSuitName(): string {
    return isCard(this.lastTrick.led) ? SUITS[suitOf(this.lastTrick.led)] : "";
  }
}

export { cardName };
