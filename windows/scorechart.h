// The score card as a picture: each seat's running total by round, one line
// per seat. The lines are read from the score card's cells and nothing else,
// so the chart shows exactly what the grid shows: a half game's ten rounds,
// and for a table that joined late only the rounds it saw, starting from the
// total those rounds imply.
#pragma once

#include <QChartView>
#include <QPointF>
#include <QString>
#include <array>
#include <functional>
#include <vector>

class QLineSeries;
class QValueAxis;

namespace ombrix::windows {

struct ScoreLines {
  int rounds = 20;  // 10 when the card marks rounds 11 to 20 "--"
  std::array<QString, 4> names;
  // Per seat (index 0 = seat 1): (round, total after it), the first point
  // being the total before the first scored round; empty for a seat the card
  // holds no score for.
  std::array<std::vector<QPointF>, 4> points;
};

// `cell(col, row)` reads the score card's grid: row 0 the names, rows 1 to 20
// the round points, row 21 the totals.
ScoreLines scoreLines(const std::function<QString(int col, int row)>& cell);

class ScoreChart : public QChartView {
 public:
  explicit ScoreChart(QWidget* parent = nullptr);
  void setLines(const ScoreLines& lines);
  QLineSeries* line(int seat) const { return lines_[seat - 1]; }
  QValueAxis* roundAxis() const { return rounds_; }
  QValueAxis* totalAxis() const { return totals_; }

 private:
  std::array<QLineSeries*, 4> lines_{};
  QValueAxis *rounds_, *totals_;
};

}  // namespace ombrix::windows
