#include "windows/tallygrid.h"

#include <cstdint>

#include "ui/numbers.h"

namespace ombrix::windows {

namespace {

// The cursor over the text's lines; a line ends at LF, a CR before it is
// not part of the line.
class Lines {
 public:
  explicit Lines(const QByteArray& text) : text_(text) {}
  bool atEnd() const { return at_ >= text_.size(); }
  QByteArray next() {
    const qsizetype end = text_.indexOf('\n', at_);
    const qsizetype stop = end < 0 ? text_.size() : end;
    QByteArray line = text_.mid(at_, stop - at_);
    if (line.endsWith('\r')) line.chop(1);
    at_ = stop + 1;
    return line;
  }
  // Lines left, the last one counted even without its line end.
  int64_t left() const {
    if (atEnd()) return 0;
    const QByteArray rest = text_.mid(at_);
    return rest.count('\n') + (rest.endsWith('\n') ? 0 : 1);
  }

 private:
  const QByteArray& text_;
  qsizetype at_ = 0;
};

// A count line: an integer and whatever follows it on the line.
int readCount(Lines& lines) {
  if (lines.atEnd()) throw TextReadError("Read beyond end of file");
  const QByteArray line = lines.next().trimmed();
  qsizetype digits = 0;
  while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
  bool ok = digits > 0 && digits <= 9;
  const int n = ok ? line.left(digits).toInt(&ok) : 0;
  if (!ok) throw TextReadError("Invalid numeric input");
  return n;
}

}  // namespace

StringGrid::StringGrid(int cols, int rows) : cols_(cols), rows_(rows), cells_(size_t(cols) * rows) {}

size_t StringGrid::index(int col, int row) const {
  if (col < 0 || col >= cols_ || row < 0 || row >= rows_) throw std::out_of_range("Grid index out of range");
  return size_t(row) * cols_ + col;
}

void StringGrid::setSize(int cols, int rows) {
  std::vector<QString> cells(size_t(cols) * rows);
  for (int r = 0; r < std::min(rows, rows_); ++r)
    for (int c = 0; c < std::min(cols, cols_); ++c) cells[size_t(r) * cols + c] = cell(c, r);
  cells_ = std::move(cells);
  cols_ = cols;
  rows_ = rows;
}

QByteArray SaveGridToText(const StringGrid& grid) {
  QByteArray out =
      QByteArray::number(grid.ColCount()) + "\r\n" + QByteArray::number(grid.RowCount()) + "\r\n";
  for (int c = 0; c < grid.ColCount(); ++c)
    for (int r = 0; r < grid.RowCount(); ++r) out += grid.cell(c, r).toLatin1() + "\r\n";
  return out;
}

void LoadGridFromText(StringGrid& grid, const QByteArray& text) {
  Lines lines(text);
  const int cols = readCount(lines);
  const int rows = readCount(lines);
  // A grid has at least one cell, and every cell is a line of the text: a
  // count beyond the text is damage, not a reason to make a billion cells.
  if (cols < 1 || rows < 1 || int64_t{cols} * rows > lines.left())
    throw TextReadError("Read beyond end of file");
  StringGrid read(cols, rows);
  for (int c = 0; c < cols; ++c)
    for (int r = 0; r < rows; ++r) read.setCell(c, r, QString::fromLatin1(lines.next()));
  grid = std::move(read);
}

TallyGrid::TallyGrid() : StringGrid(kCols, 1) {
  for (int c = 0; c < kCols; ++c) setCell(c, 0, "0");
}

QString TallyGrid::oneLine(QString name) {
  name.replace('\r', ' ').replace('\n', ' ');
  return name;
}

int TallyGrid::rowOf(const QString& name) const {
  const QString wanted = oneLine(name);
  for (int r = 1; r < RowCount(); ++r)
    if (cell(0, r).compare(wanted, Qt::CaseInsensitive) == 0) return r;
  return -1;
}

int TallyGrid::follow(const QString& name) {
  const int row = RowCount();
  setSize(kCols, row + 1);
  setCell(0, row, oneLine(name));
  for (int c = 1; c < kCols; ++c) setCell(c, row, "0");
  return row;
}

void TallyGrid::moverow(int row) {
  if (row < RowCount() - 1 && RowCount() > 2)
    for (int r = row; r < RowCount() - 1; ++r)
      for (int c = 0; c < ColCount(); ++c) setCell(c, r, cell(c, r + 1));
  if (RowCount() > 1) setSize(ColCount(), RowCount() - 1);
}

int TallyGrid::addit(int col, int row) {
  const int v = ui::toInt(cell(col, row)) + 1;
  setCell(col, row, QString::number(v));
  return v;
}

void TallyGrid::countGame(int row, const QString& winner) {
  for (int c = 1; c < kCols; ++c)
    if (cell(c, row).isEmpty()) setCell(c, row, "0");
  addit(1, row);
  addit(5, row);
  // The name against the announced winner is compared exactly.
  const int won = cell(0, row) == oneLine(winner) ? 2 : winner == "addtomine" ? 3 : 4;
  addit(won, row);
  addit(won + 4, row);
}

void TallyGrid::startSession() {
  for (int r = 1; r < RowCount(); ++r)
    for (int c = 5; c < kCols; ++c) setCell(c, r, "0");
}

void TallyGrid::reset() {
  setSize(kCols, 1);
  for (int c = 0; c < kCols; ++c) setCell(c, 0, "0");
}

void TallyGrid::load(const QByteArray& text) {
  StringGrid read;
  LoadGridFromText(read, text);
  if (read.ColCount() != kCols)
    throw TextReadError("The tally has " + std::to_string(read.ColCount()) + " columns instead of 9");
  static_cast<StringGrid&>(*this) = std::move(read);
  startSession();
}

}  // namespace ombrix::windows
