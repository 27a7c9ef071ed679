// The deck cut into a file a card: each holds its card and everything the
// card refers to, however deep, and nothing of the other cards.
#include "webgate/deckfiles.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ombrix::webgate
