#include "webgate/deckfiles.h"

#include <expat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

#include "base/cards.h"

namespace ombrix::webgate {

namespace {

// Where an element's text lies in the deck.
struct Span {
  size_t begin = 0, end = 0;
};

struct Reader {
  XML_Parser parser = nullptr;
  std::unordered_map<std::string, Span> byId;
  // The open elements: their id (or "") and where each began.
  std::vector<std::pair<std::string, Span>> open;
  std::string rootName;
  Span rootTag;
};

void XMLCALL start(void* user, const XML_Char* name, const XML_Char** attrs) {
  auto* r = static_cast<Reader*>(user);
  const auto at = static_cast<size_t>(XML_GetCurrentByteIndex(r->parser));
  const auto tag = static_cast<size_t>(XML_GetCurrentByteCount(r->parser));
  if (r->rootName.empty()) {
    r->rootName = name;
    r->rootTag = {at, at + tag};
  }
  std::string id;
  for (int i = 0; attrs[i]; i += 2)
    if (std::strcmp(attrs[i], "id") == 0) id = attrs[i + 1];
  // The tag's own length: an empty element's end comes with none.
  r->open.push_back({std::move(id), {at, at + tag}});
}

void XMLCALL end(void* user, const XML_Char*) {
  auto* r = static_cast<Reader*>(user);
  auto [id, span] = std::move(r->open.back());
  r->open.pop_back();
  const auto count = static_cast<size_t>(XML_GetCurrentByteCount(r->parser));
  if (count > 0) span.end = static_cast<size_t>(XML_GetCurrentByteIndex(r->parser)) + count;
  if (!id.empty()) r->byId.emplace(std::move(id), span);
}

bool idChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == ':'; }

// The ids a piece of the deck names: "#id" in an href or a url(#id).
std::vector<std::string> named(std::string_view text) {
  std::vector<std::string> out;
  for (size_t at = text.find('#'); at != std::string_view::npos; at = text.find('#', at + 1)) {
    size_t end = at + 1;
    while (end < text.size() && idChar(text[end])) ++end;
    if (end > at + 1) out.emplace_back(text.substr(at + 1, end - at - 1));
  }
  return out;
}

}  // namespace

std::string cardElementId(int n) {
  if (n < 1 || n > kDeckSize) return "back";
  static const char* const suits[] = {"", "club", "diamond", "heart", "spade"};
  static const char* const ranks[] = {"", "2", "3", "4", "5", "6", "7", "8", "9", "10", "jack", "queen", "king", "1"};
  return std::string(ranks[rankOf(n)]) + "_" + suits[suitOf(n)];
}

std::map<std::string, std::string> cutDeck(std::string_view svg) {
  Reader r;
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate(nullptr), XML_ParserFree);
  if (!parser) return {};
  r.parser = parser.get();
  XML_SetUserData(r.parser, &r);
  XML_SetElementHandler(r.parser, start, end);
  if (XML_Parse(r.parser, svg.data(), static_cast<int>(svg.size()), XML_TRUE) != XML_STATUS_OK || r.rootName.empty())
    return {};
  const std::string_view rootTag = svg.substr(r.rootTag.begin, r.rootTag.end - r.rootTag.begin);
  if (rootTag.size() < 2 || rootTag[rootTag.size() - 2] == '/') return {};

  std::map<std::string, std::string> files;
  for (int n = 0; n <= kDeckSize; ++n) {
    const std::string id = cardElementId(n);
    const auto card = r.byId.find(id);
    if (card == r.byId.end()) continue;
    // Every element the card needs, by where it begins in the deck (so the
    // file keeps the deck's order).
    std::map<size_t, Span> needed;
    std::vector<std::string> todo = named(svg.substr(card->second.begin, card->second.end - card->second.begin));
    std::set<std::string> seen;
    while (!todo.empty()) {
      const std::string ref = std::move(todo.back());
      todo.pop_back();
      const auto it = r.byId.find(ref);
      if (it == r.byId.end() || !seen.insert(ref).second) continue;
      const Span s = it->second;
      needed.emplace(s.begin, s);
      for (std::string& more : named(svg.substr(s.begin, s.end - s.begin))) todo.push_back(std::move(more));
    }
    std::string out(rootTag);
    out += "<defs>";
    size_t covered = 0;  // one needed inside another, or inside the card, is there already
    for (const auto& [begin, s] : needed) {
      if (s.end <= covered || (s.begin >= card->second.begin && s.end <= card->second.end)) continue;
      out.append(svg.substr(s.begin, s.end - s.begin));
      covered = std::max(covered, s.end);
    }
    out += "</defs>";
    out.append(svg.substr(card->second.begin, card->second.end - card->second.begin));
    out += "</" + r.rootName + ">";
    files.emplace(id, std::move(out));
  }
  return files;
}

}  // namespace ombrix::webgate
