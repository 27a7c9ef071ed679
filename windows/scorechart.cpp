#include "windows/scorechart.h"

#include <QChart>
#include <QLegend>
#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>

namespace ombrix::windows {

namespace {
constexpr int kTotalRow = 21, kHalfRounds = 10, kFullRounds = 20;
// Four colours told apart also by colour-blind eyes (the "Dark2" set).
const QColor kSeatColours[4] = {QColor(0x1B, 0x9E, 0x77), QColor(0xD9, 0x5F, 0x02), QColor(0x75, 0x70, 0xB3),
                                QColor(0xE7, 0x29, 0x8A)};
constexpr int kPenWidth = 2;
constexpr int kFontPixels = 11;  // the grid's 13 px leaves no room for axis titles
}  // namespace

ScoreLines scoreLines(const std::function<QString(int, int)>& cell) {
  ScoreLines out;
  out.rounds = cell(1, kHalfRounds + 1) == "--" ? kHalfRounds : kFullRounds;
  for (int s = 1; s <= 4; ++s) {
    out.names[s - 1] = cell(s, 0);
    std::vector<std::pair<int, int>> scored;  // round, points
    for (int r = 1; r <= out.rounds; ++r) {
      bool ok = false;
      const int points = cell(s, r).toInt(&ok);
      if (ok) scored.emplace_back(r, points);
    }
    if (scored.empty()) continue;
    // The card keeps only the latest total; walking back from it gives every
    // earlier total, also for rounds before a late join, which the card leaves
    // empty.
    bool ok = false;
    int running = cell(s, kTotalRow).toInt(&ok);
    if (!ok) {
      running = 0;
      for (auto [r, points] : scored) running += points;
    }
    std::vector<QPointF>& line = out.points[s - 1];
    line.resize(scored.size() + 1);
    for (size_t i = scored.size(); i-- > 0;) {
      line[i + 1] = QPointF(scored[i].first, running);
      running -= scored[i].second;
    }
    line[0] = QPointF(scored[0].first - 1, running);
  }
  return out;
}

ScoreChart::ScoreChart(QWidget* parent) : QChartView(parent) {
  setObjectName("scorechart");
  setRenderHint(QPainter::Antialiasing);
  auto* chart = new QChart;
  chart->setMargins(QMargins(2, 2, 2, 2));
  chart->setBackgroundRoundness(0);
  chart->legend()->setAlignment(Qt::AlignBottom);
  QFont font("Arial");
  font.setPixelSize(kFontPixels);
  chart->legend()->setFont(font);
  rounds_ = new QValueAxis;
  totals_ = new QValueAxis;
  for (QValueAxis* axis : {rounds_, totals_}) {
    axis->setLabelFormat("%d");
    axis->setLabelsFont(font);
    axis->setTitleFont(font);
  }
  rounds_->setTitleText("Round");
  totals_->setTitleText("Total");
  chart->addAxis(rounds_, Qt::AlignBottom);
  chart->addAxis(totals_, Qt::AlignLeft);
  for (int s = 0; s < 4; ++s) {
    auto* line = new QLineSeries;
    line->setPen(QPen(kSeatColours[s], kPenWidth));
    line->setPointsVisible(true);
    chart->addSeries(line);
    line->attachAxis(rounds_);
    line->attachAxis(totals_);
    lines_[s] = line;
  }
  // The view made a chart of its own; once replaced, it is ours to delete.
  QChart* made = this->chart();
  setChart(chart);
  delete made;
  setLines({});
}

void ScoreChart::setLines(const ScoreLines& lines) {
  double highest = 0;
  for (int s = 0; s < 4; ++s) {
    lines_[s]->setName(lines.names[s]);
    lines_[s]->replace(QList<QPointF>(lines.points[s].begin(), lines.points[s].end()));
    for (const QPointF& p : lines.points[s]) highest = std::max(highest, p.y());
  }
  rounds_->setRange(0, lines.rounds);
  // A tick every round for a half game, every second one for a full game.
  rounds_->setTickCount(kHalfRounds + 1);
  totals_->setRange(0, std::max(10.0, highest));
  totals_->applyNiceNumbers();
}

}  // namespace ombrix::windows
