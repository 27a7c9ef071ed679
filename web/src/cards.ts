// Card numbers as the game counts them: 1..13 clubs two to ace, then
// diamonds, hearts, spades; 0 is no card (or one face down).

export const SUITS = ["", "Clubs", "Diamonds", "Hearts", "Spades"];
const RANKS = ["", "Two", "Three", "Four", "Five", "Six", "Seven", "Eight", "Nine", "Ten", "Jack", "Queen", "King", "Ace"];

export const suitOf = (card: number) => Math.floor((card - 1) / 13) + 1;
export const rankOf = (card: number) => ((card - 1) % 13) + 1;
export const isCard = (card: number) => Number.isInteger(card) && card >= 1 && card <= 52;

// "Seven of Hearts", "Ace of Spades".
export function cardName(card: number): string {
  return isCard(card) ? `${RANKS[rankOf(card)]} of ${SUITS[suitOf(card)]}` : "a card";
}

// The deck's element for a card (the desktop draws the same ones).
export function deckId(card: number): string {
  if (!isCard(card)) return "back";
  const ranks = ["", "2", "3", "4", "5", "6", "7", "8", "9", "10", "jack", "queen", "king", "1"];
  const suits = ["", "club", "diamond", "heart", "spade"];
  return `${ranks[rankOf(card)]}_${suits[suitOf(card)]}`;
}
