// The tally grid: row 0 is the player's own games (column 1) and wins
// (column 2); every further row is one followed opponent: the name, then
// games together, his wins, the player's wins and games neither won, in
// total (columns 1..4) and in this run of the program (columns 5..8).
//
// Cells are text, as the tally file keeps them, and become numbers only
// when counted. No widgets here: the window shows the grid, this counts it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <stdexcept>
#include <vector>

namespace ombrix::windows {

// The tally text could not be read: its message is the reader's.
class TextReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class StringGrid {
 public:
  StringGrid(int cols = 1, int rows = 1);
  int ColCount() const { return cols_; }
  int RowCount() const { return rows_; }
  // Keeps the cells that still fit; new cells are empty.
  void setSize(int cols, int rows);
  const QString& cell(int col, int row) const { return cells_[index(col, row)]; }
  void setCell(int col, int row, const QString& text) { cells_[index(col, row)] = text; }

 private:
  size_t index(int col, int row) const;
  int cols_, rows_;
  std::vector<QString> cells_;  // row by row
};

// The text form: the column count, the row count, then every cell on a line
// of its own, column by column; lines end with CR LF; single-byte text.
QByteArray SaveGridToText(const StringGrid& grid);
// Reads that form into `grid`, which is left as it was if the text is
// damaged (TextReadError): a count that is not a number, or more cells
// than the text has lines.
void LoadGridFromText(StringGrid& grid, const QByteArray& text);

class TallyGrid : public StringGrid {
 public:
  static constexpr int kCols = 9;
  TallyGrid();  // row 0, nine times "0"

  // A name as the tally keeps it: each cell is a line of the tally text, so
  // a line break (another table may send one) becomes a space. Every name
  // is taken in this form, so that the list, the grid and the count agree.
  static QString oneLine(QString name);
  // The row of a followed opponent (letter case ignored), or -1.
  int rowOf(const QString& name) const;
  // A new row for `name` in its one-line form, counts "0"; returns it.
  int follow(const QString& name);
  // Removes `row`, moving the rows below it up.
  void moverow(int row);
  // Adds 1 to the cell and returns the new value; a cell that is not a
  // number raises the conversion error.
  int addit(int col, int row);
  // One game with the followed opponent at `row`: `winner` is the name the
  // host announced, or "addtomine" when the player won.
  void countGame(int row, const QString& winner);
  // A new run of the program: every opponent's columns 5..8 go to "0".
  void startSession();
  // Back to row 0 alone, nine times "0".
  void reset();
  // Reads the tally text (nine columns, else TextReadError) and starts a
  // new run; on an error the grid is left as it was.
  void load(const QByteArray& text);
};

}  // namespace ombrix::windows
