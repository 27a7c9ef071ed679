// The score card (every round's points by seat, the totals below) and the
// last trick (its four cards, who took it, the suit led, the trump).

import { cardName, isCard } from "./cards";
import { cardPicture } from "./deck";
import type { TableModel } from "./model";

const $ = <T extends HTMLElement>(id: string) => document.getElementById(id) as T;

export function showScoreCard(m: TableModel): void {
  const table = $<HTMLTableElement>("om-scoretable");
  table.replaceChildren();
  const head = table.insertRow();
  const th = (row: HTMLTableRowElement, text: string) => {
    const c = document.createElement("th");
    c.textContent = text;
    row.appendChild(c);
  };
  $("om-scoretitle").textContent = m.rules ? `Score Card (house rules: ${m.rules})` : "Score Card";
  th(head, "Round");
  for (let s = 1; s <= 4; s++) th(head, m.names[s]);
  const rows = m.half ? 10 : 20;
  for (let r = 1; r <= rows; r++) {
    const row = table.insertRow();
    th(row, String(r));
    for (let s = 1; s <= 4; s++) row.insertCell().textContent = m.card[r][s];
    if (r === m.round) row.className = "current";
  }
  const total = table.insertRow();
  total.className = "total";
  th(total, "Total");
  for (let s = 1; s <= 4; s++) total.insertCell().textContent = String(m.scores[s]);
  open("om-scorecard");
}

export function showLastTrick(m: TableModel): void {
  const t = m.lastTrick;
  const cards = $("om-lastcards");
  cards.replaceChildren();
  for (let s = 1; s <= 4; s++) {
    const fig = document.createElement("figure");
    if (isCard(t.cards[s])) {
      const c = document.createElement("div");
      c.className = "card";
      c.setAttribute("role", "img");
      c.setAttribute("aria-label", cardName(t.cards[s]));
      c.appendChild(cardPicture(t.cards[s]));
      fig.appendChild(c);
    }
    const cap = document.createElement("figcaption");
    cap.textContent = m.names[s];
    fig.appendChild(cap);
    cards.appendChild(fig);
  }
  $("om-lastwinner").textContent = !t.winner
    ? "No trick taken yet."
    : t.winner === m.mySeat
      ? "You won this trick."
      : `${m.names[t.winner]} won this trick.`;
  $("om-lastsuit").textContent =
    (m.ledSuitName() ? `Led: ${m.ledSuitName()}. ` : "") + (isCard(t.trump) ? `Trump: ${cardName(t.trump)}.` : "");
  open("om-lasttrick");
}

function open(id: string): void {
  const d = $<HTMLDialogElement>(id);
  if (!d.open) d.showModal();
}
