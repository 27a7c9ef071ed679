#include "protocol/commands.h"

#include <gtest/gtest.h>

#include "protocol/fields.h"

namespace ombrix::wire {
namespace {

TEST(Fields, DecimalIsStrict) {
  EXPECT_EQ(parseDecimal("0"), 0);
  EXPECT_EQ(parseDecimal("999999999"), 999999999);
  for (const char* bad : {"", "-1", "+1", " 1", "1 ", "1x", "0x10", "1000000000", "12345678901234567890"})
    EXPECT_FALSE(parseDecimal(bad)) << bad;
}

TEST(Fields, TrailingPlusDecidesWhetherALastFieldIsThere) {
  FieldReader withPlus("1+500+");
  EXPECT_EQ(withPlus.nextInt(), 1);
  EXPECT_EQ(withPlus.nextInt(), 500);
  FieldReader without("1+500");
  EXPECT_EQ(without.nextInt(), 1);
  EXPECT_FALSE(without.nextInt());
}

TEST(Catalogue, LookupIsExact) {
  EXPECT_EQ(lookupRequest("CMD_bid"), Request::Bid);
  EXPECT_EQ(lookupRequest("CMD_BID"), Request::Unknown);
  EXPECT_EQ(lookupRequest("CMD_bi"), Request::Unknown);
  EXPECT_EQ(lookupRequest("CMD_bidx"), Request::Unknown);
  EXPECT_EQ(lookupRequest("CMD_me"), Request::Unknown);  // an announcement only
  EXPECT_EQ(lookupAnnouncement("CMD_me"), Announcement::Me);
  EXPECT_EQ(lookupAnnouncement("CMD_logininfo"), Announcement::Unknown);
  EXPECT_EQ(splitCommand("CMD_full+").name, "CMD_full");
  EXPECT_EQ(splitCommand("noplus").name, "");
  EXPECT_EQ(splitCommand("+x").name, "");
}

TEST(Catalogue, RequestsRoundTrip) {
  std::string m;
  build::logininfo(m, 3, "1.0.14", "Ann+Bo");
  EXPECT_EQ(m, "CMD_logininfo+3+1.0.14+Ann+Bo");
  auto li = parse::logininfo(splitCommand(m).fields);
  ASSERT_TRUE(li);
  EXPECT_EQ(li->slot, 3);
  EXPECT_EQ(li->version, "1.0.14");
  EXPECT_EQ(li->name, "Ann+Bo");

  build::kickhim(m, 1, 6);
  EXPECT_EQ(m, "CMD_kickhim+1+6+");
  EXPECT_EQ(parse::kickhim(splitCommand(m).fields)->target, 6);

  build::botskill(m, 1, "strong");
  EXPECT_EQ(m, "CMD_botskill+1+strong+");
  EXPECT_EQ(parse::botskill(splitCommand(m).fields)->text, "strong");
  EXPECT_FALSE(parse::botskill("1+strong"));  // the trailing "+" ends the field
  EXPECT_EQ(lookupRequest("CMD_botskill"), Request::BotSkill);

  // What a table can do, told after its log-in, and the seat's secret.
  build::features(m, 3, "secret,rules");
  EXPECT_EQ(m, "CMD_features+3+secret,rules+");
  EXPECT_EQ(lookupRequest("CMD_features"), Request::Features);
  const auto f = parse::features(splitCommand(m).fields);
  EXPECT_TRUE(hasFeature(f->text, kFeatureSecret));
  EXPECT_TRUE(hasFeature(f->text, "rules"));
  EXPECT_FALSE(hasFeature(f->text, "secre"));
  EXPECT_FALSE(hasFeature("", kFeatureSecret));
  build::reclaim(m, 4, "00ff");
  EXPECT_EQ(m, "CMD_reclaim+4+00ff+");
  EXPECT_EQ(parse::reclaim(splitCommand(m).fields)->text, "00ff");
  EXPECT_FALSE(parse::reclaim("4++"));
  EXPECT_FALSE(parse::reclaim("4+" + std::string(kMaxSecret + 1, 'a') + "+"));

  build::botspeed(m, 1, 750);
  EXPECT_EQ(m, "CMD_botspeed+1+750+");
  EXPECT_EQ(parse::botspeed(splitCommand(m).fields)->value, 750);

  build::chat(m, 2, "a+b|c", "clBlue");
  EXPECT_EQ(m, "CMD_chat+2+a+b|c|clBlue");
  auto c = parse::chat(splitCommand(m).fields);
  EXPECT_EQ(c->text, "a+b|c|clBlue");
  EXPECT_EQ(parse::colouredText(c->text).text, "a+b|c");
  EXPECT_EQ(parse::colouredText(c->text).colour, "clBlue");

  build::action(m, 2, "waves", "$00804000");
  EXPECT_EQ(m, "CMD_action+2+waves|$00804000");

  build::startgameRequest(m, "Ann", true);
  EXPECT_EQ(m, "CMD_startgame+Ann+h+");
  EXPECT_EQ(parse::startgameRequest(splitCommand(m).fields)->kind, "h");

  build::bid(m, 4, 10);
  EXPECT_EQ(m, "CMD_bid+4+10");
  EXPECT_EQ(parse::bid(splitCommand(m).fields)->value, 10);

  build::playcardRequest(m, 4, 7);
  EXPECT_EQ(m, "CMD_playcard+4+7");
  build::justwatch(m, 3, true);
  EXPECT_EQ(m, "CMD_justwatch+3+1");
  EXPECT_EQ(parse::justwatch(splitCommand(m).fields)->flag, "1");
  build::playasoundRequest(m, 5, 12);
  EXPECT_EQ(m, "CMD_playasound+5+wave12+");
  EXPECT_EQ(parse::playasoundRequest(splitCommand(m).fields)->text, "wave12+");
}

TEST(Catalogue, AnnouncementsRoundTrip) {
  std::string a;
  build::hostFeatures(a, kFeatures);
  EXPECT_EQ(a, "CMD_features+secret,rules+");
  EXPECT_EQ(lookupAnnouncement("CMD_features"), Announcement::Features);
  EXPECT_EQ(parse::hostFeatures(splitCommand(a).fields), "secret,rules");
  // Under house rules a score, a total and a best score may be negative.
  build::score(a, 3, -6, -2);
  EXPECT_EQ(a, "CMD_score+3+-6+-2");
  EXPECT_EQ(parse::score(splitCommand(a).fields)->b, -6);
  EXPECT_FALSE(parse::score("3+--6+2"));
  build::rules(a, "hook,scoring=tricks");
  EXPECT_EQ(*parse::rules(splitCommand(a).fields), "hook,scoring=tricks");
  build::secret(a, 2, "c0ffee");
  EXPECT_EQ(a, "CMD_secret+2+c0ffee+");
  EXPECT_EQ(parse::secret(splitCommand(a).fields)->slot, 2);
  EXPECT_EQ(lookupAnnouncement("CMD_secret"), Announcement::Secret);
  std::string m;
  build::sendlogininfo(m, 7);
  EXPECT_EQ(m, "CMD_sendlogininfo+7");
  EXPECT_EQ(parse::sendlogininfo(splitCommand(m).fields), 7);
  build::full(m);
  EXPECT_EQ(m, "CMD_full+");
  build::newplayerinfo(m, 2, "Bo b");
  EXPECT_EQ(parse::slotName(splitCommand(m).fields)->name, "Bo b");
  build::wrongversion(m);
  EXPECT_EQ(m, "CMD_wrongversion+");
  build::havewrongversion(m, "Bo");
  EXPECT_EQ(m, "CMD_havewrongversion+Bo");

  const PositionCard cards[] = {{1, 17}, {2, 40}};
  build::placecard(m, 2, cards, 2);
  EXPECT_EQ(m, "CMD_placecard+2+1+17+2+40");
  auto pc = parse::placecard(splitCommand(m).fields);
  EXPECT_EQ(pc->seat, 2);
  EXPECT_EQ(pc->cards, (std::vector<PositionCard>{{1, 17}, {2, 40}}));
  build::placecard(m, 3, cards, 0);
  EXPECT_EQ(m, "CMD_placecard+3");
  EXPECT_TRUE(parse::placecard(splitCommand(m).fields)->cards.empty());

  build::newplayerstuff(m, 2, 3, 1, 40, {0, 14, 0, 52});
  EXPECT_EQ(m, "CMD_newplayerstuff+2+3+1+40+1+0+2+14+3+0+4+52+");
  auto np = parse::newplayerstuff(splitCommand(m).fields);
  EXPECT_EQ(np->score, 40);
  EXPECT_EQ(np->played, (std::array<int, 4>{0, 14, 0, 52}));

  build::stats(m, 2, 0, 7, 33, "h");
  EXPECT_EQ(m, "CMD_stats+2+0+7+33+h+");
  EXPECT_EQ(parse::stats(splitCommand(m).fields)->gameKind, "h");

  build::startgame(m, "A+B", "f");
  EXPECT_EQ(m, "CMD_startgame+A+B+f+");
  EXPECT_EQ(parse::startgame(splitCommand(m).fields)->starter, "A+B");

  build::startround(m, 12, 4);
  EXPECT_EQ(m, "CMD_startround+12+4");
  build::trump(m, 52);
  EXPECT_EQ(parse::trump(splitCommand(m).fields), 52);
  build::bidAsk(m, 3, 9, 2);
  EXPECT_EQ(m, "CMD_bid+3+9+2");
  EXPECT_EQ(parse::bidAsk(splitCommand(m).fields)->firstPlayer, 2);
  build::hisbid(m, 3, 2, 7);
  EXPECT_EQ(parse::hisbid(splitCommand(m).fields)->total, 7);
  build::nextplayer(m, 4);
  EXPECT_EQ(m, "CMD_nextplayer+4");
  build::playcard(m, 4, 10, 13);
  EXPECT_EQ(m, "CMD_playcard+4+10+13");
  build::needsuit(m, 2, 5);
  EXPECT_EQ(m, "CMD_needsuit+2+2+5+");
  EXPECT_EQ(parse::needsuit(splitCommand(m).fields)->second, 5);
  build::trickwinner(m, 1, 3);
  EXPECT_EQ(m, "CMD_trickwinner+1+3");
  build::score(m, 3, 44, 14);
  EXPECT_EQ(m, "CMD_score+3+44+14");
  EXPECT_EQ(parse::score(splitCommand(m).fields)->c, 14);
  build::winner(m, "Ann and Vivav", 90);
  EXPECT_EQ(m, "CMD_winner+Ann and Vivav+90");
  auto w = parse::winner(splitCommand(m).fields);
  EXPECT_EQ(w->names, "Ann and Vivav");
  EXPECT_EQ(w->best, 90);
  build::chatRelay(m, "Ann", "hi|clRed");
  EXPECT_EQ(m, "CMD_chat+Ann chats: hi|clRed");
  build::meRelay(m, "Ann", "waves|clRed");
  EXPECT_EQ(m, "CMD_me+Ann waves|clRed");
  build::justwatching(m, 2, false);
  EXPECT_EQ(m, "CMD_justwatching+2+2");
  EXPECT_EQ(parse::justwatching(splitCommand(m).fields)->flag, 2);
  build::playasoundRelay(m, 5, "wave3+");
  EXPECT_EQ(m, "CMD_playasound+5+wave3+");
  EXPECT_EQ(parse::playasoundRelay(splitCommand(m).fields)->text, "wave3");
  build::playerdisconnected(m, 6, "Cy");
  EXPECT_EQ(m, "CMD_playerdisconnected+6+Cy");
}

TEST(Catalogue, DamagedAnnouncementsDoNotParse) {
  EXPECT_FALSE(parse::placecard("x+1+2"));
  EXPECT_FALSE(parse::placecard("2+1+"));
  EXPECT_FALSE(parse::placecard("2+1"));
  EXPECT_FALSE(parse::newplayerstuff("2+3+1+40+1+0+2+14+3+0+9+52+"));
  EXPECT_FALSE(parse::stats("1+2+3+4"));
  EXPECT_FALSE(parse::winner("Ann"));
  EXPECT_FALSE(parse::winner("Ann+x"));
  EXPECT_FALSE(parse::hisbid("1+2"));
  EXPECT_FALSE(parse::startgame("Ann+f"));
}

TEST(Catalogue, AReceiverLearnsWhichNumberWasNotOne) {
  BadField bad;
  EXPECT_FALSE(parse::trump("x", &bad));
  EXPECT_TRUE(bad.number);
  EXPECT_EQ(bad.text, "x");
  // The first bad field is the one kept.
  bad = {};
  EXPECT_FALSE(parse::score("1+ 2+x", &bad));
  EXPECT_EQ(bad.text, " 2");
  bad = {};
  EXPECT_FALSE(parse::placecard("2+1+17+3+y", &bad));
  EXPECT_EQ(bad.text, "y");
  bad = {};
  EXPECT_FALSE(parse::playasoundRelay("z+wave3+", &bad));
  EXPECT_EQ(bad.text, "z");
  // A missing number field reads as an empty one.
  bad = {};
  EXPECT_FALSE(parse::hisbid("1+2", &bad));
  EXPECT_TRUE(bad.number);
  EXPECT_EQ(bad.text, "");
  bad = {};
  EXPECT_FALSE(parse::winner("Ann", &bad));
  EXPECT_TRUE(bad.number);
  EXPECT_EQ(bad.text, "");
  // A missing text field is damage, not a bad number.
  bad = {};
  EXPECT_FALSE(parse::stats("1+2+3+4+", &bad));
  EXPECT_FALSE(parse::startgame("Ann+f", &bad));
  EXPECT_FALSE(parse::playasoundRelay("2+wave3", &bad));
  EXPECT_FALSE(bad.number);
}

TEST(Catalogue, LineBreaksBecomeSpaces) {
  std::string name = "Bo\r\nCMD_full+\n";
  EXPECT_TRUE(hasLineBreak(name));
  toOneLine(name);
  EXPECT_EQ(name, "Bo  CMD_full+ ");
  EXPECT_FALSE(hasLineBreak(name));
  EXPECT_FALSE(hasLineBreak("Zo\xEB+|clRed"));
}

}  // namespace
}  // namespace ombrix::wire
