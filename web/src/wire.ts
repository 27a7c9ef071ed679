// The game's wire as the web table speaks it: every announcement of the host
// read once into an event, and every request built, here and nowhere else.
// One WebSocket text message is one line of the game (its terminator is the
// door's business). A later announcement is one more case in
// readAnnouncement(), and a number with a sign one more rule in num().

export const VERSION = "1.0.14";
// What this table can do beyond "1.0.14", told right after its log-in:
// "secret", the seat's secret for coming back after a dropped line; "rules",
// the house rules read (CMD_rules) and numbers that may be negative.
export const FEATURES = "secret,rules";
const MOST_SECRET = 64;

export type Event =
  | { kind: "login"; slot: number }
  | { kind: "full" }
  | { kind: "arrived"; slot: number; name: string }
  | { kind: "departed"; slot: number; name: string }
  | { kind: "justWatching"; seat: number; watching: boolean }
  | { kind: "otherVersion"; name: string }
  | { kind: "wrongVersion" }
  | { kind: "seatFound"; seat: number; bid: number; tricks: number; score: number; played: number[] }
  | { kind: "gameFound"; player: number; bidder: number; round: number; trump: number; half: boolean }
  | { kind: "gameStarted"; starter: string; half: boolean }
  | { kind: "roundStarted"; round: number; dealer: number }
  | { kind: "dealt"; seat: number; cards: Array<[number, number]> }
  | { kind: "trump"; card: number }
  | { kind: "bidAsked"; bidder: number; handSize: number; opener: number }
  | { kind: "bidMade"; seat: number; bid: number; total: number }
  | { kind: "turn"; seat: number }
  | { kind: "cardPlayed"; seat: number; position: number; card: number }
  | { kind: "cardRefused" }
  | { kind: "trickTaken"; seat: number; tricks: number }
  | { kind: "scored"; seat: number; total: number; points: number }
  | { kind: "gameOver"; names: string; best: number }
  | { kind: "line"; action: boolean; text: string; colour: string }
  | { kind: "sound"; slot: number; sound: string }
  | { kind: "features"; list: string[] }
  | { kind: "secret"; slot: number; secret: string }
  | { kind: "rules"; list: string }
  | { kind: "unreadable"; command: string; text: string };

class Bad extends Error {}

// A field that should be a number: decimal digits, nothing else.
function num(text: string | undefined): number {
  if (text === undefined || !/^[0-9]{1,9}$/.test(text)) throw new Bad(text ?? "");
  return Number(text);
}

// A score, a total or a best score: a host that knows this table reads house
// rules writes a negative one as -N.
function signed(text: string | undefined): number {
  if (text === undefined || !/^-?[0-9]{1,9}$/.test(text)) throw new Bad(text ?? "");
  return Number(text);
}

// Fields read left to right; rest() is a free-text last field.
class Fields {
  private at = 0;
  constructor(private readonly text: string) {}
  next(): string | undefined {
    if (this.at > this.text.length) return undefined;
    const end = this.text.indexOf("+", this.at);
    const field = this.text.slice(this.at, end < 0 ? this.text.length : end);
    this.at = end < 0 ? this.text.length + 1 : end + 1;
    return field;
  }
  number(): number {
    return num(this.next());
  }
  signed(): number {
    return signed(this.next());
  }
  rest(): string {
    const r = this.at > this.text.length ? "" : this.text.slice(this.at);
    this.at = this.text.length + 1;
    return r;
  }
}

// The text of a chat or action line and the colour after its last "|".
export function colouredText(line: string): { text: string; colour: string } {
  const bar = line.lastIndexOf("|");
  return bar < 0 ? { text: line, colour: "" } : { text: line.slice(0, bar), colour: line.slice(bar + 1) };
}

export function readAnnouncement(message: string): Event | null {
  const plus = message.indexOf("+");
  if (plus <= 0) return null;
  const name = message.slice(0, plus);
  const data = message.slice(plus + 1);
  const f = new Fields(data);
  try {
    switch (name) {
      case "CMD_sendlogininfo":
        return { kind: "login", slot: f.number() };
      case "CMD_full":
        return { kind: "full" };
      case "CMD_newplayerinfo":
      case "CMD_existingplayers":
        return { kind: "arrived", slot: f.number(), name: f.rest() };
      case "CMD_playerdisconnected":
        return { kind: "departed", slot: f.number(), name: f.rest() };
      case "CMD_justwatching": {
        const seat = f.number();
        return { kind: "justWatching", seat, watching: f.rest() === "1" };
      }
      case "CMD_havewrongversion":
        return { kind: "otherVersion", name: data };
      case "CMD_wrongversion":
        return { kind: "wrongVersion" };
      case "CMD_newplayerstuff": {
        const seat = f.number(), bid = f.number(), tricks = f.number(), score = f.signed();
        const played = [0, 0, 0, 0, 0];
        for (let i = 0; i < 4; i++) {
          const n = f.number();
          const card = f.number();
          if (n >= 1 && n <= 4) played[n] = card;
        }
        return { kind: "seatFound", seat, bid, tricks, score, played };
      }
      case "CMD_stats": {
        const player = f.number(), bidder = f.number(), round = f.number(), trump = f.number();
        return { kind: "gameFound", player, bidder, round, trump, half: f.next() === "h" };
      }
      case "CMD_startgame": {
        const starter = f.next() ?? "";
        return { kind: "gameStarted", starter, half: f.next() === "h" };
      }
      case "CMD_startround":
        return { kind: "roundStarted", round: f.number(), dealer: f.number() };
      case "CMD_placecard": {
        const seat = f.number();
        const cards: Array<[number, number]> = [];
        for (let p = f.next(); p !== undefined && p !== ""; p = f.next()) cards.push([num(p), f.number()]);
        return { kind: "dealt", seat, cards };
      }
      case "CMD_trump":
        return { kind: "trump", card: f.number() };
      case "CMD_bid":
        return { kind: "bidAsked", bidder: f.number(), handSize: f.number(), opener: f.number() };
      case "CMD_hisbid":
        return { kind: "bidMade", seat: f.number(), bid: f.number(), total: f.number() };
      case "CMD_nextplayer":
        return { kind: "turn", seat: f.number() };
      case "CMD_playcard":
        return { kind: "cardPlayed", seat: f.number(), position: f.number(), card: f.number() };
      case "CMD_needsuit":
        return { kind: "cardRefused" };
      case "CMD_trickwinner":
        return { kind: "trickTaken", seat: f.number(), tricks: f.number() };
      case "CMD_score":
        return { kind: "scored", seat: f.number(), total: f.signed(), points: f.signed() };
      case "CMD_winner": {
        // The names may hold "+": the score is after the last one.
        const last = data.lastIndexOf("+");
        return { kind: "gameOver", names: data.slice(0, Math.max(0, last)), best: signed(data.slice(last + 1)) };
      }
      case "CMD_chat":
      case "CMD_me":
        return { kind: "line", action: name === "CMD_me", ...colouredText(data) };
      case "CMD_playasound":
        return { kind: "sound", slot: f.number(), sound: f.next() ?? "" };
      case "CMD_features":
        return { kind: "features", list: (f.next() ?? "").split(",").filter((w) => w !== "") };
      case "CMD_secret": {
        const slot = f.number();
        const secret = f.next() ?? "";
        return secret.length > MOST_SECRET ? null : { kind: "secret", slot, secret };
      }
      case "CMD_rules":
        return { kind: "rules", list: f.next() ?? "" };
      default:
        return null;
    }
  } catch (e) {
    if (e instanceof Bad) return { kind: "unreadable", command: name, text: e.message };
    throw e;
  }
}

// Requests, page to host.
export const req = {
  login: (slot: number, name: string) => `CMD_logininfo+${slot}+${VERSION}+${oneLine(name)}`,
  features: (slot: number) => `CMD_features+${slot}+${FEATURES}+`,
  reclaim: (slot: number, secret: string) => `CMD_reclaim+${slot}+${secret}+`,
  chat: (slot: number, text: string, colour: string) => `CMD_chat+${slot}+${oneLine(text)}|${colour}`,
  action: (slot: number, text: string, colour: string) => `CMD_action+${slot}+${oneLine(text)}|${colour}`,
  startGame: (name: string, half: boolean) => `CMD_startgame+${oneLine(name)}+${half ? "h" : "f"}+`,
  bid: (slot: number, bid: number) => `CMD_bid+${slot}+${bid}`,
  playCard: (slot: number, position: number) => `CMD_playcard+${slot}+${position}`,
  justWatch: (seat: number, watch: boolean) => `CMD_justwatch+${seat}+${watch ? 1 : 2}`,
  sound: (slot: number, wave: number) => `CMD_playasound+${slot}+wave${wave}+`,
};

// Line breaks would end a line early at a table of "1.0.14".
export function oneLine(text: string): string {
  return text.replace(/[\r\n]/g, " ");
}
