// The score chart against the score card's grid, with the table window's
// handlers writing the card: a full game, a half game after it, a late join,
// and the lines drawn where the totals are.
#include "windows/scorechart.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QLineSeries>
#include <QPushButton>
#include <QTableWidget>
#include <QValueAxis>

#include "tests/client/table_fixture.h"
#include "windows/scoreform.h"

namespace ombrix::test {
namespace {

std::vector<QPointF> pointsOf(const windows::Tscore& score, int seat) {
  const QList<QPointF> p = score.chart->line(seat)->points();
  return {p.begin(), p.end()};
}

// The invariant between the two views: a seat's line rises at every scored
// round by that round's points, ends at the total, and carries the header.
void expectLinesFollowTheGrid(const windows::Tscore& score) {
  const int rounds = score.cell(1, 11) == "--" ? 10 : 20;
  EXPECT_EQ(score.chart->roundAxis()->max(), rounds);
  for (int s = 1; s <= 4; ++s) {
    SCOPED_TRACE("seat " + std::to_string(s));
    EXPECT_EQ(score.chart->line(s)->name(), score.cell(s, 0));
    std::vector<std::pair<int, int>> scored;
    for (int r = 1; r <= rounds; ++r) {
      bool ok = false;
      const int points = score.cell(s, r).toInt(&ok);
      if (ok) scored.emplace_back(r, points);
    }
    const std::vector<QPointF> line = pointsOf(score, s);
    if (scored.empty()) {
      EXPECT_TRUE(line.empty());
      continue;
    }
    ASSERT_EQ(line.size(), scored.size() + 1);
    EXPECT_EQ(line.front().x(), scored.front().first - 1);
    for (size_t i = 0; i < scored.size(); ++i) {
      EXPECT_EQ(line[i + 1].x(), scored[i].first);
      EXPECT_EQ(line[i + 1].y() - line[i].y(), scored[i].second);
    }
    EXPECT_EQ(line.back().y(), score.cell(s, 21).toInt());
    EXPECT_LE(line.back().y(), score.chart->totalAxis()->max());
  }
}

struct Chart : Table {
  void SetUp() override {
    Table::SetUp();
    seatAt(table, 1);
    feed("CMD_newplayerinfo+1+Ann");
    table.myName = "Ann";
    score.button_chart->click();
  }
  // The chart redraws once the command being handled is done.
  void feedAndSettle(const std::string& m) {
    feed(m);
    QCoreApplication::processEvents();
  }
  void scoreRound(int round, const std::array<int, 4>& totals, const std::array<int, 4>& points) {
    feed("CMD_startround+" + std::to_string(round) + "+1");
    for (int s = 1; s <= 4; ++s)
      feed("CMD_score+" + std::to_string(s) + "+" + std::to_string(totals[s - 1]) + "+" +
           std::to_string(points[s - 1]));
    QCoreApplication::processEvents();
  }
};

TEST_F(Chart, TheSwitchPutsTheChartInTheGridsPlace) {
  EXPECT_TRUE(score.chart->isVisibleTo(&score));
  EXPECT_FALSE(score.scorecard->isVisibleTo(&score));
  EXPECT_EQ(score.chart->geometry(), score.scorecard->geometry());
  EXPECT_EQ(score.button_chart->text(), "Grid");
  score.button_chart->click();
  EXPECT_TRUE(score.scorecard->isVisibleTo(&score));
  EXPECT_FALSE(score.chart->isVisibleTo(&score));
  EXPECT_EQ(score.button_chart->text(), "Chart");
  // Showing the chart again catches up with what the card took meanwhile.
  feed("CMD_startgame+Ann+f+");
  scoreRound(1, {11, 0, 5, 0}, {11, 0, 5, 0});
  score.showChart(true);
  EXPECT_EQ(pointsOf(score, 1), (std::vector<QPointF>{{0, 0}, {1, 11}}));
}

TEST_F(Chart, AFullGameThenAHalfGame) {
  feedAndSettle("CMD_startgame+Ann+f+");
  expectLinesFollowTheGrid(score);
  EXPECT_EQ(score.chart->line(2)->name(), "Reza");  // computer seats by their names
  scoreRound(1, {11, 0, 5, 0}, {11, 0, 5, 0});
  scoreRound(2, {11, 12, 5, 0}, {0, 12, 0, 0});
  scoreRound(3, {24, 12, 5, 11}, {13, 0, 0, 11});
  EXPECT_EQ(pointsOf(score, 1), (std::vector<QPointF>{{0, 0}, {1, 11}, {2, 11}, {3, 24}}));
  EXPECT_EQ(pointsOf(score, 4), (std::vector<QPointF>{{0, 0}, {1, 0}, {2, 0}, {3, 11}}));
  expectLinesFollowTheGrid(score);
  for (int r = 4; r <= 20; ++r) scoreRound(r, {24 + 10 * (r - 3), 12, 5, 11}, {10, 0, 0, 0});
  EXPECT_EQ(pointsOf(score, 1).size(), 21u);
  EXPECT_EQ(pointsOf(score, 1).back(), QPointF(20, 194));
  EXPECT_GE(score.chart->totalAxis()->max(), 194);
  expectLinesFollowTheGrid(score);

  // A half game empties the lines and keeps to ten rounds.
  feedAndSettle("CMD_startgame+Ann+h+");
  for (int s = 1; s <= 4; ++s) EXPECT_TRUE(pointsOf(score, s).empty());
  EXPECT_EQ(score.chart->roundAxis()->max(), 10);
  scoreRound(1, {5, 0, 11, 0}, {5, 0, 11, 0});
  scoreRound(10, {5, 20, 11, 0}, {0, 20, 0, 0});
  EXPECT_EQ(pointsOf(score, 2), (std::vector<QPointF>{{0, 0}, {1, 0}, {10, 20}}));
  expectLinesFollowTheGrid(score);
}

TEST_F(Chart, ALateJoinerSeesItsRoundsFromTheTotalTheyImply) {
  feed("CMD_newplayerinfo+3+Bo");
  feedAndSettle("CMD_stats+2+0+7+33+h+");
  for (int s = 1; s <= 4; ++s) EXPECT_TRUE(pointsOf(score, s).empty());
  EXPECT_EQ(score.chart->roundAxis()->max(), 10);
  scoreRound(7, {40, 17, 6, 0}, {12, 0, 0, 0});
  scoreRound(8, {40, 29, 17, 5}, {0, 12, 11, 5});
  // Seat 1 had 28 before round 7: the grid's total less the rounds it shows.
  EXPECT_EQ(pointsOf(score, 1), (std::vector<QPointF>{{6, 28}, {7, 40}, {8, 40}}));
  EXPECT_EQ(pointsOf(score, 4), (std::vector<QPointF>{{6, 0}, {7, 0}, {8, 5}}));
  expectLinesFollowTheGrid(score);
  // A name that changes reaches the chart with the header.
  score.setCell(3, 0, "Cy");
  QCoreApplication::processEvents();
  EXPECT_EQ(score.chart->line(3)->name(), "Cy");
}

TEST_F(Chart, EachSeatsLineIsDrawnWhereItsTotalsAre) {
  // Totals kept apart, so no line passes over another seat's point.
  feed("CMD_startgame+Ann+f+");
  scoreRound(1, {40, 25, 10, 0}, {40, 25, 10, 0});
  scoreRound(2, {52, 25, 21, 0}, {12, 0, 11, 0});
  scoreRound(3, {64, 38, 21, 5}, {12, 13, 0, 5});
  score.show();
  const QImage picture = score.chart->grab().toImage();
  int checked = 0;
  for (int s = 1; s <= 4; ++s) {
    const QColor colour = score.chart->line(s)->pen().color();
    for (const QPointF& p : pointsOf(score, s)) {
      if (p.x() == 0) continue;  // every line starts at (0, 0)
      const QPoint at =
          score.chart->mapFromScene(score.chart->chart()->mapToPosition(p, score.chart->line(s)));
      const QColor seen = picture.pixelColor(at * picture.devicePixelRatio());
      EXPECT_LT(std::abs(seen.red() - colour.red()) + std::abs(seen.green() - colour.green()) +
                    std::abs(seen.blue() - colour.blue()),
                60)
          << "seat " << s << " at round " << p.x();
      ++checked;
    }
  }
  EXPECT_EQ(checked, 12);
  // Four colours, each its own.
  for (int a = 1; a <= 4; ++a)
    for (int b = a + 1; b <= 4; ++b)
      EXPECT_NE(score.chart->line(a)->pen().color(), score.chart->line(b)->pen().color());
}

}  // namespace
}  // namespace ombrix::test
