// The table drawn from the model: the four seats with their captions,
// scores, tricks, bids, fans and marks, the trick on the table, the trump,
// the bid box, the start buttons and the hand. Cards move as on the desktop
// table: a card played travels from its seat to the middle, a trick taken
// goes to its winner, a hand dealt comes from the middle.

import { cardName, isCard } from "./cards";
import { cardPicture } from "./deck";
import type { Effects, TableModel } from "./model";

const $ = <T extends HTMLElement>(id: string) => document.getElementById(id) as T;
const still = () => window.matchMedia("(prefers-reduced-motion: reduce)").matches;
const MOVE_MS = 280, TAKE_MS = 420, DEAL_STAGGER_MS = 35;

function el(tag: string, cls = "", text = ""): HTMLElement {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text) e.textContent = text;
  return e;
}

function cardEl(card: number, label = ""): HTMLElement {
  const c = el("div", "card" + (card ? "" : " back"));
  c.appendChild(cardPicture(card));
  if (label) {
    c.setAttribute("role", "img");
    c.setAttribute("aria-label", label);
  }
  return c;
}

export class TableView {
  onPlay: (position: number) => void = () => {};
  private handButtons = new Map<number, HTMLButtonElement>();
  private trickCards = new Map<number, HTMLElement>(); // by seat
  private shownTrump = -1;

  constructor(private readonly m: TableModel) {
    $("om-hand").addEventListener("keydown", (e) => this.handKeys(e));
  }

  private seatEl(position: number): HTMLElement {
    return document.querySelector(`.seat.pos${position}`) as HTMLElement;
  }

  // Draws the table as the model shows it, then what moved.
  render(fx?: Effects): void {
    const m = this.m;
    // Where things were, before they move.
    const from = new Map<string, DOMRect>();
    if (fx?.played) {
      const { seat, position } = fx.played;
      const b = seat === m.mySeat ? this.handButtons.get(position) : null;
      const src = b ?? this.seatEl(m.positionOf(seat)).querySelector(".fan") ?? this.seatEl(m.positionOf(seat));
      from.set("played", src.getBoundingClientRect());
    }
    if (fx?.taken) this.takeAway(fx.taken.seat);

    $("om-round").textContent = `Round: ${m.round}`;
    $("om-totalbids").textContent = `Total Bids: ${m.totalBids}`;
    $("om-turntext").textContent = m.turnText;
    $("om-status1").textContent = m.status1;
    $("om-status2").textContent = m.status2;
    const end = $("om-end");
    end.textContent = m.endText;
    end.hidden = !m.endText;
    for (let p = 1; p <= 4; p++) this.drawSeat(p);
    this.drawTrick();
    this.drawTrump();
    this.drawBidBox();
    $("om-start").hidden = !(m.mySeat === 1 && !m.running && m.loggedIn);
    const jw = $<HTMLInputElement>("om-justwatch");
    jw.checked = m.seated && m.watching[m.mySeat];
    jw.disabled = !m.seated;
    this.drawHand(fx?.dealt ?? false);

    const r = from.get("played");
    if (r && fx?.played) {
      const to = this.trickCards.get(fx.played.seat);
      if (to) this.flyFrom(to, r, MOVE_MS);
    }
  }

  private drawSeat(position: number): void {
    const m = this.m;
    const seat = m.seatAt(position);
    const box = this.seatEl(position);
    box.dataset.seat = String(seat);
    if (!box.firstChild) {
      box.append(el("div", "plate"), el("div", "info"), el("div", "fan"));
      const plate = box.querySelector(".plate")!;
      plate.append(el("span", "turnmark", "\u25B6"), el("span", "name"), el("span", "eyes", "\u{1F440}"),
        el("span", "trickmark", "\u2713"), el("span", "winnermark", "\u{1F3C6}"));
      plate.querySelector(".turnmark")!.setAttribute("aria-hidden", "true");
      plate.querySelector(".eyes")!.setAttribute("title", "Just watching");
      box.setAttribute("role", "group");
    }
    const name = m.names[seat];
    const bid = m.bids[seat];
    const onTurn = m.onTurn === seat || m.bidder === seat;
    const won = !!m.winnerText && m.winnerText.includes(name) && !m.running;
    box.querySelector(".name")!.textContent = name;
    box.classList.toggle("onturn", onTurn);
    box.classList.toggle("watching", m.watching[seat]);
    box.classList.toggle("tookit", m.trickWinner === seat);
    box.classList.toggle("won", won);
    box.classList.toggle("mine", seat === m.mySeat);
    const info = box.querySelector(".info")!;
    info.replaceChildren(
      el("span", "", "Score "), el("b", "score", String(m.scores[seat])),
      el("span", "", " Tricks "), el("b", "tricks", String(m.tricks[seat])),
      el("span", bid === null ? "bidlabel grey" : "bidlabel", " Bid "),
      el("b", bid === null ? "bid grey" : "bid", String(bid ?? 0)),
    );
    const parts = [name, `score ${m.scores[seat]}`, `tricks ${m.tricks[seat]}`];
    if (bid !== null) parts.push(`bid ${bid}`);
    if (onTurn) parts.push("on turn");
    if (m.watching[seat]) parts.push("just watching");
    if (won) parts.push("won the game");
    box.setAttribute("aria-label", parts.join(", "));
    const fan = box.querySelector(".fan") as HTMLElement;
    const count = seat === m.mySeat ? 0 : m.fans[seat];
    while (fan.childElementCount > count) fan.lastElementChild!.remove();
    while (fan.childElementCount < count) fan.appendChild(cardEl(0));
    fan.setAttribute("aria-label", count ? `${count} cards` : "");
  }

  private drawTrick(): void {
    const m = this.m;
    const trick = $("om-trick");
    for (let seat = 1; seat <= 4; seat++) {
      const card = m.played[seat];
      let shown = this.trickCards.get(seat);
      if (shown && Number(shown.dataset.card) !== card) {
        shown.remove();
        this.trickCards.delete(seat);
        shown = undefined;
      }
      if (!shown && isCard(card)) {
        shown = cardEl(card, `${m.names[seat]}: ${cardName(card)}`);
        shown.dataset.card = String(card);
        trick.appendChild(shown); // the card played last lies on top
        this.trickCards.set(seat, shown);
      }
      if (shown) shown.className = `card played pos${m.positionOf(seat)}`;
    }
  }

  // The trick's cards go to the seat that took it.
  private takeAway(seat: number): void {
    const target = this.seatEl(this.m.positionOf(seat)).getBoundingClientRect();
    for (const [, card] of this.trickCards) {
      if (still()) {
        card.remove();
        continue;
      }
      const r = card.getBoundingClientRect();
      const ghost = card.cloneNode(true) as HTMLElement;
      ghost.removeAttribute("role");
      ghost.setAttribute("aria-hidden", "true");
      ghost.className = "card ghost";
      Object.assign(ghost.style, { left: `${r.left}px`, top: `${r.top}px`, width: `${r.width}px`, height: `${r.height}px` });
      document.body.appendChild(ghost);
      card.remove();
      const dx = target.left + target.width / 2 - (r.left + r.width / 2);
      const dy = target.top + target.height / 2 - (r.top + r.height / 2);
      ghost
        .animate([{ transform: "none", opacity: 1 }, { transform: `translate(${dx}px, ${dy}px) scale(0.5)`, opacity: 0 }], {
          duration: TAKE_MS,
          easing: "ease-in",
        })
        .finished.finally(() => ghost.remove());
    }
    this.trickCards.clear();
  }

  private flyFrom(elm: HTMLElement, from: DOMRect, ms: number, delay = 0): void {
    if (still()) return;
    const to = elm.getBoundingClientRect();
    if (!to.width) return;
    const dx = from.left - to.left, dy = from.top - to.top;
    const s = from.width / to.width || 1;
    elm.animate([{ transform: `translate(${dx}px, ${dy}px) scale(${s})` }, { transform: "none" }], {
      duration: ms,
      delay,
      easing: "cubic-bezier(.2,.7,.3,1)",
      fill: "backwards",
    });
  }

  private drawTrump(): void {
    if (this.shownTrump === this.m.trump) return;
    this.shownTrump = this.m.trump;
    const t = $("om-trump");
    t.replaceChildren();
    if (isCard(this.m.trump)) t.appendChild(cardEl(this.m.trump, `Trump card: ${cardName(this.m.trump)}`));
  }

  private drawBidBox(): void {
    const m = this.m;
    const box = $("om-bidbox");
    const asked = m.bidder === m.mySeat && m.seated && m.handSize >= 0 && m.bidder !== 0;
    const was = !box.hidden;
    box.hidden = !asked;
    const input = $<HTMLInputElement>("om-bid");
    input.max = String(m.handSize);
    if (Number(input.value) > m.handSize) input.value = String(m.handSize);
    $("om-firstplay").textContent =
      m.opener === m.mySeat ? "You will play first" : m.opener ? `${m.names[m.opener]} will play first` : "";
    if (asked && !was && !this.typing()) {
      input.focus();
      input.select();
    }
  }

  private typing(): boolean {
    return document.activeElement?.id === "om-chat" || document.activeElement?.id === "om-name";
  }

  private drawHand(dealt: boolean): void {
    const m = this.m;
    const hand = $("om-hand");
    const order = m.sortedHand();
    const playable = m.playable();
    const focused = [...this.handButtons].find(([, b]) => b === document.activeElement)?.[0];
    for (const [p, b] of this.handButtons)
      if (!order.includes(p) || Number(b.dataset.card) !== m.hand[p]) {
        b.remove();
        this.handButtons.delete(p);
      }
    const centre = $("om-trick").getBoundingClientRect();
    order.forEach((p, i) => {
      let b = this.handButtons.get(p);
      const fresh = !b;
      if (!b) {
        b = document.createElement("button");
        b.type = "button";
        b.className = "card inhand";
        b.dataset.card = String(m.hand[p]);
        b.dataset.position = String(p);
        b.setAttribute("aria-label", cardName(m.hand[p]));
        b.appendChild(cardPicture(m.hand[p]));
        b.addEventListener("click", () => this.onPlay(p));
        this.handButtons.set(p, b);
      }
      if (hand.children[i] !== b) hand.insertBefore(b, hand.children[i] ?? null);
      const may = playable.has(p);
      b.classList.toggle("playable", may);
      b.classList.toggle("blocked", m.myTurn && !may);
      b.classList.toggle("sent", m.sentCard === p);
      b.setAttribute("aria-description", may ? "playable" : "");
      if (fresh && dealt) this.flyFrom(b, centre, MOVE_MS, i * DEAL_STAGGER_MS);
    });
    this.rove(order, playable, focused);
  }

  // One card of the hand is in the Tab order: the focused one, or the
  // first that may be played.
  private rove(order: number[], playable: Set<number>, focused?: number): void {
    const first = order.find((p) => playable.has(p)) ?? order[0];
    const keep = focused !== undefined && this.handButtons.has(focused) ? focused : first;
    for (const [p, b] of this.handButtons) b.tabIndex = p === keep ? 0 : -1;
    if (this.m.myTurn && playable.size && !this.typing() && $("om-bidbox").hidden) {
      const active = document.activeElement;
      const inHand = active instanceof HTMLElement && active.classList.contains("inhand");
      if (!inHand) this.handButtons.get(first)?.focus();
    } else if (focused !== undefined && !this.handButtons.has(focused)) {
      this.handButtons.get(keep)?.focus();
    }
  }

  // Left, Right, Home, End along the cards that may be played (the whole
  // hand when none may), as at the desktop table.
  private handKeys(e: KeyboardEvent): void {
    const order = this.m.sortedHand();
    const playable = this.m.playable();
    const along = playable.size ? order.filter((p) => playable.has(p)) : order;
    const at = Number((document.activeElement as HTMLElement)?.dataset?.position ?? 0);
    let i = along.indexOf(at);
    if (e.key === "ArrowLeft") i = i <= 0 ? along.length - 1 : i - 1;
    else if (e.key === "ArrowRight") i = i < 0 || i >= along.length - 1 ? 0 : i + 1;
    else if (e.key === "Home") i = 0;
    else if (e.key === "End") i = along.length - 1;
    else return;
    e.preventDefault();
    const b = this.handButtons.get(along[i]);
    if (!b) return;
    for (const [, x] of this.handButtons) x.tabIndex = -1;
    b.tabIndex = 0;
    b.focus();
  }

  focusTable(): void {
    if (!$("om-bidbox").hidden) return $("om-bid").focus();
    const b = [...this.handButtons.values()].find((x) => x.tabIndex === 0);
    (b ?? $("om-felt")).focus();
  }
}
