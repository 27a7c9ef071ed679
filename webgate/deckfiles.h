// The card deck cut into one small SVG file a card, so that a page fetches
// only the cards it shows (and its browser keeps them) instead of the whole
// deck, most of which it never draws.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace ombrix::webgate {

// The deck's element of card `n` (base/cards.h; anything else the back),
// as the desktop table names them.
std::string cardElementId(int n);

// Each card's own SVG document by its element's id: the deck's root tag
// (its namespaces), the elements the card refers to (gradients, shared
// shapes, and theirs in turn) kept apart in <defs>, then the card's
// element, copied as the deck has them. Empty when the deck is not XML;
// a card the deck lacks is left out.
std::map<std::string, std::string> cutDeck(std::string_view svg);

}  // namespace ombrix::webgate
