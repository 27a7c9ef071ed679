#include "windows/scoreform.h"

#include <QEvent>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include "ui/designscale.h"
#include "windows/scorechart.h"

namespace ombrix::windows {

namespace {
constexpr int kRows = 22, kCols = 5, kTotalRow = 21;
constexpr int kWidth = 357, kHeight = 435, kRowHeight = 17;
const int kWidths[kCols] = {60, 71, 73, 71, 68};
}  // namespace

Tscore::Tscore(QWidget* parent) : QDialog(parent, Qt::Tool) {
  setObjectName("Tscore");
  setRules({});
  resize(kWidth, kHeight);
  setStyleSheet("QDialog { background: #F5F0A9; }");
  scorecard = new QTableWidget(kRows, kCols, this);
  scorecard->setObjectName("scorecard");
  scorecard->setGeometry(4, 4, 349, 398);
  scorecard->horizontalHeader()->hide();
  scorecard->verticalHeader()->hide();
  scorecard->setEditTriggers(QAbstractItemView::NoEditTriggers);
  scorecard->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scorecard->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scorecard->setFrameShape(QFrame::NoFrame);
  QFont f("Arial");
  f.setPixelSize(13);
  scorecard->setFont(f);
  for (int c = 0; c < kCols; ++c) scorecard->setColumnWidth(c, kWidths[c]);
  for (int r = 0; r < kRows; ++r) scorecard->setRowHeight(r, kRowHeight);
  for (int c = 0; c < kCols; ++c)
    for (int r = 0; r < kRows; ++r) {
      auto* item = new QTableWidgetItem;
      if (r == 0) item->setBackground(QColor(0xF5, 0xF0, 0xA9));
      scorecard->setItem(r, c, item);
    }
  setCell(0, 0, "Round");
  for (int r = 1; r <= 20; ++r) setCell(0, r, QString::number(r));
  setCell(0, kTotalRow, "Total");
  connect(scorecard, &QTableWidget::cellClicked, this, [this] { hide(); });
  auto* done = new QPushButton("Done", this);
  done->setObjectName("button_done");
  done->setGeometry(kWidth - 78, kHeight - 26, 70, 20);
  connect(done, &QPushButton::clicked, this, [this] { hide(); });

  chart = new ScoreChart(this);
  chart->setGeometry(scorecard->geometry());
  chart->hide();
  button_chart = new QPushButton("Chart", this);
  button_chart->setObjectName("button_chart");
  button_chart->setCheckable(true);
  button_chart->setGeometry(done->x() - 78, done->y(), 70, 20);
  connect(button_chart, &QPushButton::toggled, this, [this](bool on) { showChart(on); });
  connect(scorecard, &QTableWidget::itemChanged, this, [this] { cellsChanged(); });
  // Larger, the grid's columns and rows grow with its font.
  ui::scaleWithWindow(this, {kWidth, kHeight}, [this](qreal s) {
    for (int c = 0; c < kCols; ++c) scorecard->setColumnWidth(c, qRound(kWidths[c] * s));
    for (int r = 0; r < kRows; ++r) scorecard->setRowHeight(r, qRound(kRowHeight * s));
  });
}

void Tscore::showChart(bool on) {
  if (button_chart->isChecked() != on) return button_chart->setChecked(on);  // comes back here
  button_chart->setText(on ? "Grid" : "Chart");
  scorecard->setVisible(!on);
  chart->setVisible(on);
  if (on) refreshChart();
}

void Tscore::refreshChart() {
  refreshQueued_ = false;
  chart->setLines(scoreLines([this](int col, int row) { return cell(col, row); }));
}

void Tscore::cellsChanged() {
  // A game start rewrites 84 cells: the chart is drawn once, after them all,
  // and only while it is shown (showing it draws it).
  if (refreshQueued_ || !chart->isVisibleTo(this)) return;
  refreshQueued_ = true;
  QTimer::singleShot(0, this, [this] {
    if (refreshQueued_) refreshChart();
  });
}

QString Tscore::cell(int col, int row) const { return scorecard->item(row, col)->text(); }
void Tscore::setCell(int col, int row, const QString& text) { scorecard->item(row, col)->setText(text); }

void Tscore::setRules(const QString& list) {
  setWindowTitle(list.isEmpty() ? QString("Ombrix - Scorecard") : "Ombrix - Scorecard (house rules: " + list + ")");
}

void Tscore::newGame(bool half) {
  for (int s = 1; s <= 4; ++s) {
    if (seatCaption) setCell(s, 0, seatCaption(s));
    for (int r = 1; r <= kTotalRow; ++r)
      if (cell(s, r) != "--") setCell(s, r, "");
  }
  for (int s = 1; s <= 4; ++s) {
    if (half) {
      for (int r = 1; r <= 10; ++r) setCell(s, r, "");
      for (int r = 11; r <= 20; ++r) setCell(s, r, "--");
    } else {
      for (int r = 10; r <= 20; ++r) setCell(s, r, "");
    }
  }
}

void Tscore::joinedGame(bool half) {
  for (int s = 1; s <= 4; ++s) {
    if (half)
      for (int r = 11; r <= 20; ++r) setCell(s, r, "--");
    else
      for (int r = 10; r <= 20; ++r) setCell(s, r, "");
  }
}

void Tscore::scored(int seat, int round, const QString& points, const QString& total) {
  if (seat < 1 || seat > 4) return;
  setCell(seat, kTotalRow, total);
  if (round >= 1 && round <= 20) setCell(seat, round, points);
}

bool Tscore::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate && seatCaption)
    for (int s = 1; s <= 4; ++s) setCell(s, 0, seatCaption(s));
  return QDialog::event(e);
}

}  // namespace ombrix::windows
