// The score card: every round's points of the four seats and their totals.
// The table window's handlers write its cells; closing only hides it.
#pragma once

#include <QDialog>
#include <functional>

class QTableWidget;
class QPushButton;

namespace ombrix::windows {

class ScoreChart;

class Tscore : public QDialog {
 public:
  explicit Tscore(QWidget* parent = nullptr);
  QTableWidget* scorecard;
  // The same scores as lines, in the grid's place while "Chart" is down.
  ScoreChart* chart;
  QPushButton* button_chart;
  QString cell(int col, int row) const;
  void setCell(int col, int row, const QString& text);
  // The current seat captions, read when the window becomes active.
  std::function<QString(int seat)> seatCaption;

  // Game start: headers, every cell emptied, and the rows a half game skips.
  void newGame(bool half);
  // The house rules in the title; empty for the design's.
  void setRules(const QString& list);
  // A late join: only the rows the game's kind decides.
  void joinedGame(bool half);
  void scored(int seat, int round, const QString& points, const QString& total);
  // Shows the chart instead of the grid, or the grid again.
  void showChart(bool on);
  // Draws the chart from the cells now (it follows them by itself, after
  // the change that is being handled).
  void refreshChart();

 protected:
  bool event(QEvent* e) override;

 private:
  void cellsChanged();
  bool refreshQueued_ = false;
};

}  // namespace ombrix::windows
