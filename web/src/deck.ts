// The cards from the SVG deck the desktop table draws. The host serves it a
// file a card (deck/TAG/ID.svg: the card and what it refers to, under a tag
// of the deck's content that the door writes into the page), so a page asks
// only for the cards it shows, each the first time it is shown, and the
// browser keeps them. A card's file goes into a hidden part of the page;
// each picture of it is then a small SVG that uses its element, framed by
// the element's own bounds. Until the file is there (or if it never comes)
// a picture is a plain face with its rank and suit, filled in place when it
// arrives, so a card already moving or in the hand is not drawn again.

import { deckId } from "./cards";

const SVG = "http://www.w3.org/2000/svg";
// The deck's tag, read when the first card is asked for.
const deckFiles = () => `deck/${document.documentElement.dataset.deck ?? ""}/`;
const boxes = new Map<string, string>(); // by element id: its bounds, once in the page
const asked = new Set<string>(); // files on their way, or that the door does not have
const waiting = new Map<string, Set<Element>>(); // pictures a file will fill
const dropped = new Set<string>(); // files a dropped line lost, asked again at the next picture
let holder: SVGSVGElement | null = null;

function deckHolder(): SVGSVGElement {
  if (holder) return holder;
  holder = document.createElementNS(SVG, "svg");
  holder.setAttribute("aria-hidden", "true");
  holder.setAttribute("class", "deck-holder");
  // Geometry must stay measurable: hidden by size, not by display.
  holder.setAttribute("width", "0");
  holder.setAttribute("height", "0");
  document.body.appendChild(holder);
  return holder;
}

// Takes an element of a card's file into the page. The cards share their
// gradients and shapes: one another card brought is there already (the same
// id is the same element of the one deck), and one that holds elements
// brought alone before takes their place.
function adopt(from: Element): void {
  const h = deckHolder();
  if (from.id && document.getElementById(from.id)) return;
  for (const inner of Array.from(from.querySelectorAll("[id]"))) {
    const old = document.getElementById(inner.id);
    if (old && h.contains(old)) old.remove();
  }
  h.appendChild(document.importNode(from, true));
}

function take(id: string, text: string): boolean {
  const root = new DOMParser().parseFromString(text, "image/svg+xml").documentElement;
  if (root.nodeName !== "svg" || root.namespaceURI !== SVG) return false;
  for (const child of Array.from(root.children)) {
    if (child.localName === "defs") for (const def of Array.from(child.children)) adopt(def);
    else adopt(child);
  }
  if (!document.getElementById(id)) return false;
  // The card's bounds as its use will draw it (its own transform in).
  const use = document.createElementNS(SVG, "use");
  use.setAttribute("href", "#" + id);
  deckHolder().appendChild(use);
  const b = use.getBBox();
  use.remove();
  if (!(b.width > 0 && b.height > 0)) return false;
  boxes.set(id, `${b.x} ${b.y} ${b.width} ${b.height}`);
  return true;
}

// A card the door does not have (no deck, or not this card) keeps its plain
// face for good; one whose file a dropped line lost is asked for again when
// the next card is drawn, so the pictures waiting for it are not left plain
// for the rest of the round.
function ask(id: string): void {
  if (asked.has(id)) return;
  asked.add(id);
  fetch(`${deckFiles()}${id}.svg`)
    .then((r) => (r.ok ? r.text().then((text) => take(id, text)) : false))
    .then(
      (drawn) => {
        const pictures = waiting.get(id);
        waiting.delete(id);
        if (drawn && pictures) for (const svg of pictures) drawCard(svg, id);
      },
      () => {
        asked.delete(id);
        dropped.add(id);
      },
    );
}

function drawCard(svg: Element, id: string): void {
  svg.setAttribute("viewBox", boxes.get(id)!);
  svg.setAttribute("preserveAspectRatio", "none");
  const use = document.createElementNS(SVG, "use");
  use.setAttribute("href", "#" + id);
  svg.replaceChildren(use);
}

function drawPlain(svg: Element, card: number): void {
  svg.setAttribute("viewBox", "0 0 71 96");
  const rect = document.createElementNS(SVG, "rect");
  rect.setAttribute("x", "0.5");
  rect.setAttribute("y", "0.5");
  rect.setAttribute("width", "70");
  rect.setAttribute("height", "95");
  rect.setAttribute("rx", "5");
  rect.setAttribute("fill", card ? "#fff" : "#3050a0");
  rect.setAttribute("stroke", "#000");
  svg.replaceChildren(rect);
  if (card) {
    const suit = Math.floor((card - 1) / 13);
    const text = document.createElementNS(SVG, "text");
    text.setAttribute("x", "35.5");
    text.setAttribute("y", "56");
    text.setAttribute("text-anchor", "middle");
    text.setAttribute("font-size", "26");
    text.setAttribute("fill", suit === 1 || suit === 2 ? "#c00" : "#000");
    text.textContent = "?23456789TJQKA"[((card - 1) % 13) + 1] + "\u2663\u2666\u2665\u2660"[suit];
    svg.appendChild(text);
  }
}

// One card's picture (0: a back): the deck's, or the plain face until the
// card's file is in the page.
export function cardPicture(card: number): Element {
  const id = deckId(card);
  const svg = document.createElementNS(SVG, "svg");
  svg.setAttribute("class", "face");
  svg.setAttribute("aria-hidden", "true");
  for (const lost of [...dropped]) {
    dropped.delete(lost);
    ask(lost);
  }
  if (boxes.has(id)) {
    drawCard(svg, id);
    return svg;
  }
  drawPlain(svg, card);
  let pictures = waiting.get(id);
  if (!pictures) waiting.set(id, (pictures = new Set()));
  pictures.add(svg);
  ask(id);
  return svg;
}
