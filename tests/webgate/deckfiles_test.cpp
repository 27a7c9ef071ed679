// The deck cut into a file a card: each holds its card and everything the
// card refers to, however deep, and nothing of the other cards.
#include "webgate/deckfiles.h"

#include <expat.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "base/carddecks.h"
#include "base/cards.h"
#include "webgate/gateway.h"
#include "webgate/site.h"

namespace ombrix::webgate {
namespace {

TEST(DeckFiles, EachCardCarriesWhatItRefersToAndNoMore) {
  EXPECT_EQ(cardElementId(1), "2_club");
  EXPECT_EQ(cardElementId(13), "1_club");
  EXPECT_EQ(cardElementId(52), "1_spade");
  EXPECT_EQ(cardElementId(0), "back");
  const std::string deck =
      "<?xml version=\"1.0\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"9\">"
      "<defs><linearGradient id=\"base\"><stop offset=\"0\"/></linearGradient>"
      "<linearGradient id=\"shine\" xlink:href=\"#base\"/>"
      "<radialGradient id=\"unused\"/></defs>"
      "<g id=\"pip\"><path id=\"pip-edge\" d=\"M0 0\"/></g>"
      "<g id=\"2_club\" transform=\"scale(2)\"><rect fill=\"url(#shine)\"/><use xlink:href=\"#pip\"/></g>"
      "<g id=\"back\"><rect style=\"fill:url(#base)\"/><path id=\"inner\"/></g>"
      "</svg>";
  const auto files = cutDeck(deck);
  ASSERT_EQ(files.size(), 2u);
  const std::string& two = files.at("2_club");
  EXPECT_EQ(two.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"9\">"
                      "<defs><linearGradient id=\"base\">",
                      0),
            0u);
  // Referred to through another (shine's base), in the deck's order, each once.
  for (const char* id : {"id=\"base\"", "id=\"shine\"", "id=\"pip\"", "transform=\"scale(2)\""})
    EXPECT_EQ(two.find(id), two.rfind(id)) << id;
  EXPECT_LT(two.find("id=\"base\""), two.find("id=\"shine\""));
  EXPECT_EQ(two.find("id=\"pip-edge\""), two.rfind("id=\"pip-edge\""));  // inside pip, not again
  for (const char* id : {"unused", "back", "inner"}) EXPECT_EQ(two.find(id), std::string::npos) << id;
  EXPECT_EQ(two.substr(two.size() - 6), "</svg>");
  EXPECT_EQ(files.at("back").find("shine"), std::string::npos);
  EXPECT_NE(files.at("back").find("id=\"base\""), std::string::npos);

  EXPECT_TRUE(cutDeck("not a deck").empty());
  EXPECT_TRUE(cutDeck("<svg><g id=\"back\">").empty());  // cut short
}

struct Answer {
  std::string head, body;  // the body as sent (gzip unpacked)
};

// One GET as a browser that takes gzip makes it, through a gateway of its own.
Answer get(const Site& site, const std::string& path) {
  Gateway g(site, Limits{}, 0);
  g.receive("GET " + path + " HTTP/1.1\r\nHost: t\r\nAccept-Encoding: gzip\r\n\r\n", 0);
  std::string out;
  while (!g.pending().empty()) {
    out += g.pending();
    g.written(g.pending().size());
  }
  const size_t end = out.find("\r\n\r\n");
  if (end == std::string::npos) return {out, {}};
  Answer a{out.substr(0, end + 2), out.substr(end + 4)};
  if (a.head.find("Content-Encoding: gzip\r\n") != std::string::npos) a.body = gunzip(a.body, 1 << 24);
  return a;
}

// What a card's file holds, read as a browser reads it (namespaces and all):
// the root, the ids defined and the ids referred to by an href or a url().
struct Reading {
  bool wellFormed = false;
  std::string root;
  std::map<std::string, int> ids;
  std::set<std::string> refs;
};

void XMLCALL onStart(void* user, const XML_Char* name, const XML_Char** attrs) {
  auto* r = static_cast<Reading*>(user);
  if (r->root.empty()) r->root = name;
  for (int i = 0; attrs[i]; i += 2) {
    const std::string key = attrs[i], value = attrs[i + 1];
    if (key == "id") ++r->ids[value];
    if ((key == "http://www.w3.org/1999/xlink href" || key == "href") && value.rfind('#', 0) == 0)
      r->refs.insert(value.substr(1));
    for (size_t at = value.find("url(#"); at != std::string::npos; at = value.find("url(#", at + 1))
      r->refs.insert(value.substr(at + 5, value.find(')', at) - at - 5));
  }
}

Reading read(const std::string& svg) {
  Reading r;
  std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> p(XML_ParserCreateNS(nullptr, ' '), XML_ParserFree);
  XML_SetUserData(p.get(), &r);
  XML_SetStartElementHandler(p.get(), onStart);
  r.wellFormed = XML_Parse(p.get(), svg.data(), static_cast<int>(svg.size()), XML_TRUE) == XML_STATUS_OK;
  return r;
}

// Every deck the web door may serve, as a browser gets it: each card of the
// game and the back, a document of its own that draws with nothing else
// of the deck, a small part of it; nothing but those files, and no path
// reaches past them.
TEST(DeckFiles, EveryCardIsServedAsADocumentOfItsOwn) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(testing::TempDir()) / "deckfiles-web";
  fs::create_directories(root);
  std::ofstream(root / "index.html") << "<!doctype html><html data-deck=\"\"><title>Ombrix</title>";
  int decks = 0;
  std::set<std::string> tags;
  for (const char* deck : kCardDecks) {
    std::error_code ec;
    if (!fs::exists(deck, ec)) continue;
    ++decks;
    SCOPED_TRACE(deck);
    const Site site = Site::load(root.string(), deck);
    ASSERT_EQ(site.problem(), "");
    // The page names the deck whose files it asks for, and each deck its own.
    const std::string tag = site.deckTag();
    EXPECT_NE(get(site, "/").body.find("data-deck=\"" + tag + "\""), std::string::npos);
    EXPECT_TRUE(tags.insert(tag).second) << tag;
    const std::string files = "/deck/" + tag + "/";
    const auto deckBytes = static_cast<size_t>(fs::file_size(deck));
    for (int n = 0; n <= kDeckSize; ++n) {
      const std::string id = cardElementId(n);
      SCOPED_TRACE(id);
      const Answer a = get(site, files + id + ".svg");
      ASSERT_EQ(a.head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << a.head;
      EXPECT_NE(a.head.find("Content-Type: image/svg+xml\r\n"), std::string::npos);
      EXPECT_NE(a.head.find("Cache-Control: public, max-age=604800\r\n"), std::string::npos);
      const Reading r = read(a.body);
      ASSERT_TRUE(r.wellFormed);
      EXPECT_EQ(r.root, "http://www.w3.org/2000/svg svg");
      EXPECT_EQ(r.ids.count(id), 1u);
      for (const auto& [defined, times] : r.ids) EXPECT_EQ(times, 1) << defined;
      for (const std::string& ref : r.refs) EXPECT_EQ(r.ids.count(ref), 1u) << "#" << ref << " is not in the file";
      // A card that drags half the deck along is no saving.
      EXPECT_LT(gzipOf(a.body).size(), deckBytes / 8);
    }
    EXPECT_EQ(get(site, files + "2_club.svg?v=1").head.rfind("HTTP/1.1 200", 0), 0u);
    for (const std::string& path :
         {std::string("/deck.svg"), std::string("/deck/2_club.svg"), files, files + "nothing.svg", files + "2_club",
          files + "../index.html", files + "%2e%2e/index.html", files + "2_club.svg/../../index.html",
          "/deck/" + tag + "//2_club.svg", files + "./2_club.svg", std::string("/deck/000000000000/2_club.svg")})
      EXPECT_EQ(get(site, path).head.rfind("HTTP/1.1 404", 0), 0u) << path;
  }
  if (decks == 0) GTEST_SKIP() << "no card deck is installed (kdegames-card-data-kf5)";
}

}  // namespace
}  // namespace ombrix::webgate
