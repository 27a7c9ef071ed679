// The web table: a name and "Join", then the table as the host announces it,
// over one WebSocket whose text messages are the game's lines.

import { cardName } from "./cards";
import { Connection, socketUrl, type LineState } from "./connection";
import { showLastTrick, showScoreCard } from "./dialogs";
import { NOTICE, TableModel, type Effects } from "./model";
import { CHATTER, Sounds } from "./sounds";
import { Talk } from "./talk";
import { TableView } from "./view";
import { readAnnouncement, req, type Event } from "./wire";

const $ = <T extends HTMLElement>(id: string) => document.getElementById(id) as T;
const NAME_KEY = "ombrix.name";
// Kept for this tab only: a page the phone reloaded takes its seat back.
const SECRET_KEY = "ombrix.secret", JOINED_KEY = "ombrix.joined";

const model = new TableModel();
const sounds = new Sounds();
const view = new TableView(model);
let conn: Connection | null = null;
let dropNoticed = false;
let secret = sessionStorage.getItem(SECRET_KEY) ?? "";
// Every card this page saw played, in order (the tests read it).
const seen: Array<{ seat: number; card: number }> = [];

const option = (id: string) => $<HTMLInputElement>(id).checked;
for (const id of ["om-opt-sounds", "om-opt-chatter", "om-opt-turnnew"]) {
  const box = $<HTMLInputElement>(id);
  const stored = localStorage.getItem(id);
  if (stored !== null) box.checked = stored === "1";
  box.addEventListener("change", () => localStorage.setItem(id, box.checked ? "1" : "0"));
}

const send = (line: string) => conn?.send(line) ?? false;
const talk = new Talk(
  {
    chat: (text, colour) => send(req.chat(model.mySeat, text, colour)),
    action: (text, colour) => send(req.action(model.mySeat, text, colour)),
    sound: (wave) => send(req.sound(model.mySeat, wave)),
  },
  () => model.loggedIn,
);

function notice(text: string): void {
  talk.add(text, NOTICE);
}

// What a screen reader hears at once, beside the chat's polite log.
function say(text: string): void {
  const live = $("om-live");
  live.textContent = "";
  window.setTimeout(() => (live.textContent = text), 30);
}

function game(e: Event, fx: Effects): void {
  for (const n of fx.notices) talk.add(n.text, n.colour);
  if (option("om-opt-sounds"))
    for (const s of fx.sounds) sounds.play(s === "turn" && option("om-opt-turnnew") ? "turnnew" : s);
  if (fx.played) {
    seen.push({ seat: fx.played.seat, card: fx.played.card });
    const who = fx.played.seat === model.mySeat ? "You" : model.names[fx.played.seat];
    say(`${who} played ${cardName(fx.played.card)}`);
  }
  if (e.kind === "turn" && e.seat === model.mySeat) say("Your turn.");
  if (e.kind === "bidAsked" && e.bidder === model.mySeat) say(`Your bid: 0 to ${model.handSize}.`);
  if (e.kind === "trickTaken" || e.kind === "gameOver") say(model.status1);
  if (e.kind === "scored" && e.seat === model.mySeat) say(model.endText);
  if (fx.stop) {
    sessionStorage.removeItem(JOINED_KEY);
    notice(fx.stop);
    conn?.close();
    conn = null;
  }
}

function receive(line: string): void {
  const e = readAnnouncement(line);
  if (!e) return;
  if (e.kind === "unreadable") {
    console.warn(`'${e.text}' is not a valid integer value (${e.command})`);
    return;
  }
  if (e.kind === "sound") {
    const n = Number(/^wave([0-9]+)$/i.exec(e.sound)?.[1] ?? 0);
    if (option("om-opt-chatter")) sounds.play(e.sound);
    else if (e.slot >= 1 && e.slot <= 4 && n >= 1 && n <= 12)
      notice(`${model.names[e.slot]}: <Chatter Sound> ${CHATTER[n]}`);
    return;
  }
  if (e.kind === "secret") {
    // The seat's secret for this connection: shown again after a drop (or a
    // reload of the page) so that the host gives the seat back.
    secret = e.secret;
    sessionStorage.setItem(SECRET_KEY, secret);
    return;
  }
  const fx = model.apply(e);
  if (e.kind === "login") {
    // Back after a drop: the secret first, so the host has it for the log-in
    // (a host at "1.0.14" ignores it and seats the name as ever).
    if (secret) send(req.reclaim(model.mySeat, secret));
    send(req.login(model.mySeat, model.myName));
    send(""); // the desktop table's second terminator, an empty line
    send(req.features(model.mySeat));
    conn?.seated();
    dropNoticed = false;
  }
  game(e, fx);
  view.render(fx);
  talk.spectators(model.spectators);
}

// A lobby server's reasons, as a player reads them.
const REFUSALS: Record<string, string> = {
  unknown: "No table has that invite code (it may have ended).",
  busy: "That table cannot take another player through the server just now. Try again in a moment.",
  full: "That table cannot take another player through the server just now. Try again in a moment.",
  "no answer": "The table did not answer the server. Try again in a moment.",
};

function lineState(state: LineState, why = ""): void {
  const status = $("om-joinstatus");
  switch (state) {
    case "connecting":
      status.textContent = "Connecting…";
      break;
    case "open":
      // A new connection starts from a table before its log-in.
      model.reset();
      view.render();
      status.textContent = "";
      break;
    case "lost":
      if (!dropNoticed) notice("Connection lost, reconnecting…");
      dropNoticed = true;
      break;
    case "gave up":
      notice("The table cannot be reached. Reload the page to try again.");
      break;
    case "refused":
      notice(REFUSALS[why] ?? `The table cannot be joined (${why || "refused"}).`);
      model.loggedIn = false;
      sessionStorage.removeItem(JOINED_KEY);
      break;
    case "ended":
      notice("The table closed the connection.");
      model.loggedIn = false;
      sessionStorage.removeItem(JOINED_KEY);
      break;
  }
}

function join(name: string): void {
  model.myName = name;
  localStorage.setItem(NAME_KEY, name);
  sessionStorage.setItem(JOINED_KEY, name);
  $("om-join").hidden = true;
  $("om-game").hidden = false;
  view.render();
  conn = new Connection(socketUrl(location));
  conn.onLine = receive;
  conn.onState = lineState;
  conn.open();
}

$<HTMLFormElement>("om-join").addEventListener("submit", (e) => {
  e.preventDefault();
  const name = $<HTMLInputElement>("om-name").value.trim().replace(/[+|]/g, " ");
  if (name) join(name);
});
$<HTMLInputElement>("om-name").value = localStorage.getItem(NAME_KEY) ?? "";
// This tab had joined and was reloaded (a phone brings back a page it had
// put away so): straight back to the table.
const rejoin = sessionStorage.getItem(JOINED_KEY);
if (rejoin) join(rejoin);

view.onPlay = (position) => {
  if (!model.loggedIn || !model.myTurn) return;
  if (!send(req.playCard(model.mySeat, position))) return;
  model.cardSent(position);
  view.render();
};

function bid(): void {
  const input = $<HTMLInputElement>("om-bid");
  const n = Number(input.value);
  if (!Number.isInteger(n) || input.value.trim() === "") return notice(`'${input.value}' is not a valid integer value`);
  if (n > model.handSize) return notice(`You can't bid more then ${model.handSize}.`);
  if (n < 0) return notice("A bid is 0 or more.");
  if (!model.mayBid(n))
    return notice(`The hook: the last bid may not make the bids total ${model.handSize}. Bid another number.`);
  if (!model.loggedIn || !send(req.bid(model.mySeat, n))) return;
  input.value = "0";
  model.bidder = 0;
  view.render();
}
$("om-bidbutton").addEventListener("click", bid);
$("om-bid").addEventListener("keydown", (e) => {
  if (e.key === "Enter") {
    e.preventDefault();
    bid();
  }
});

function start(half: boolean): void {
  if (model.mySeat === 1 && model.loggedIn) send(req.startGame(model.myName, half));
}
$("om-startfull").addEventListener("click", () => start(false));
$("om-starthalf").addEventListener("click", () => start(true));
$("om-justwatch").addEventListener("change", (e) => {
  const box = e.target as HTMLInputElement;
  if (model.seated && model.loggedIn) send(req.justWatch(model.mySeat, !model.watching[model.mySeat]));
  box.checked = model.seated && model.watching[model.mySeat]; // follows the host's word
});
$("om-scorebutton").addEventListener("click", () => showScoreCard(model));
$("om-lastbutton").addEventListener("click", () => showLastTrick(model));
$("om-optionsbutton").addEventListener("click", () => {
  const menu = $("om-options");
  menu.hidden = !menu.hidden;
  $("om-optionsbutton").setAttribute("aria-expanded", String(!menu.hidden));
});

document.addEventListener("keydown", (e) => {
  if (e.key === "F2" && model.mySeat === 1 && !model.running) {
    e.preventDefault();
    start(e.shiftKey);
  } else if (e.key === "Escape" && document.activeElement?.id === "om-chat") {
    view.focusTable();
  }
});

// What the tests read of the page.
Object.assign(window, { ombrix: { model, seen, sounds } });
