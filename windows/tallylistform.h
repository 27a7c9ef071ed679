// The tally list: the player's own games and wins and, for every opponent
// the player follows, the games played together and who won them, in total
// and in this run. Read from the tally file when the window is made (at
// start) and written back when it goes (at the program's end).
#pragma once

#include <QDialog>
#include <functional>

#include "compress/lzrw1.h"
#include "windows/tallygrid.h"

class QLabel;
class QListWidget;
class QListWidgetItem;

namespace ombrix::windows {

class Ttallylist : public QDialog {
 public:
  // "ombrixtally.tld" beside the program, or in the player's data folder
  // when the program's folder cannot be written.
  static QString defaultTallyFile();

  // FormCreate: reads `tallyFile` when it exists.
  explicit Ttallylist(QWidget* parent = nullptr, QString tallyFile = defaultTallyFile());
  // FormDestroy: writes the tally file.
  ~Ttallylist() override;

  TallyGrid stringgrid_scores;
  lzrw::Tlzrw1 doit;
  QListWidget *listbox_tally, *checklist;
  QLabel *mylabel_1, *mylabel_2, *label_hisnametop, *label_hisname;
  QLabel* label_[9];  // label_1 .. label_8
  // The table's refresh of `checklist` from the seats (loadchecklist).
  std::function<void()> loadchecklist;

  void addgame(const QString& winner);
  void addtomine(int column);
  int addit(int column, int row) { return stringgrid_scores.addit(column, row); }
  void loadtally();
  void moverow(int row);
  // The table's names other than the player's own; followed ones checked.
  void setPlayersInGame(const QStringList& names);

  void listbox_tallyClick();
  void listbox_tallyClickCheck(QListWidgetItem* item);
  void checklistClickCheck(QListWidgetItem* item);
  void button_resetClick();
  void FlatButton1Click() { hide(); }

  const QString tallyFile;

 private:
  void showOwn();
  void addTallied(const QString& name);
  void refreshChecks();   // checklist: checked exactly where followed
  bool filling_ = false;  // check marks set by the program are not clicks
};

}  // namespace ombrix::windows
