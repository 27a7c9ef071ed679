// The cards from the SVG deck the desktop table draws (the host serves it
// as deck.svg): loaded once into a hidden part of the page, each card then a
// small SVG that uses its element, framed by the element's own bounds.

import { deckId } from "./cards";

const SVG = "http://www.w3.org/2000/svg";
const boxes = new Map<string, string>();
let loaded: Promise<boolean> | null = null;

export function loadDeck(): Promise<boolean> {
  if (loaded) return loaded;
  loaded = fetch("deck.svg")
    .then((r) => (r.ok ? r.text() : Promise.reject(new Error(String(r.status)))))
    .then((text) => {
      const doc = new DOMParser().parseFromString(text, "image/svg+xml");
      const root = doc.documentElement;
      if (root.nodeName !== "svg") return false;
      const holder = document.createElementNS(SVG, "svg");
      holder.setAttribute("aria-hidden", "true");
      holder.setAttribute("class", "deck-holder");
      // Geometry must stay measurable: hidden by size, not by display.
      holder.setAttribute("width", "0");
      holder.setAttribute("height", "0");
      for (const child of Array.from(root.childNodes)) holder.appendChild(document.importNode(child, true));
      document.body.appendChild(holder);
      // Each card's bounds as its use will draw it (its own transform in).
      for (let c = 0; c <= 52; c++) {
        const id = deckId(c);
        if (!document.getElementById(id)) continue;
        const use = document.createElementNS(SVG, "use");
        use.setAttribute("href", "#" + id);
        holder.appendChild(use);
        const b = use.getBBox();
        holder.removeChild(use);
        if (b.width > 0 && b.height > 0) boxes.set(id, `${b.x} ${b.y} ${b.width} ${b.height}`);
      }
      return boxes.size > 0;
    })
    .catch(() => false);
  return loaded;
}

// One card's picture: the deck's, or a plain face with its rank and suit
// when no deck could be had.
export function cardPicture(card: number): Element {
  const id = deckId(card);
  const box = boxes.get(id);
  const svg = document.createElementNS(SVG, "svg");
  svg.setAttribute("class", "face");
  svg.setAttribute("aria-hidden", "true");
  if (box) {
    svg.setAttribute("viewBox", box);
    svg.setAttribute("preserveAspectRatio", "none");
    const use = document.createElementNS(SVG, "use");
    use.setAttribute("href", "#" + id);
    svg.appendChild(use);
  } else {
    svg.setAttribute("viewBox", "0 0 71 96");
    const rect = document.createElementNS(SVG, "rect");
    rect.setAttribute("x", "0.5");
    rect.setAttribute("y", "0.5");
    rect.setAttribute("width", "70");
    rect.setAttribute("height", "95");
    rect.setAttribute("rx", "5");
    rect.setAttribute("fill", card ? "#fff" : "#3050a0");
    rect.setAttribute("stroke", "#000");
    svg.appendChild(rect);
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
  return svg;
}
