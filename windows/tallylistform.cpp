#include "windows/tallylistform.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QTemporaryFile>
#include <sstream>

#include "ui/msgbox.h"
#include "ui/userfiles.h"
#include "widgets/art.h"
#include "ui/designscale.h"

namespace ombrix::windows {

namespace {

constexpr int kWidth = 430, kHeight = 330;

QLabel* text(QWidget* parent, const QString& s, int x, int y, int w, bool bold = false,
             const char* name = "") {
  auto* l = new QLabel(s, parent);
  l->setObjectName(name);
  QFont f("Arial");
  f.setPixelSize(bold ? 15 : 12);
  f.setBold(bold);
  l->setFont(f);
  l->setGeometry(x, y, w, bold ? 20 : 17);
  return l;
}

QListWidget* checkList(QWidget* parent, const char* name, const QString& caption, int x, int y) {
  text(parent, caption, x, y, 200);
  auto* list = new QListWidget(parent);
  list->setObjectName(name);
  list->setGeometry(x, y + 18, 195, 88);
  return list;
}

QListWidgetItem* checkedEntry(QListWidget* list, const QString& name, bool checked) {
  auto* item = new QListWidgetItem(name, list);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  return item;
}

}  // namespace

QString Ttallylist::defaultTallyFile() { return ui::userFile("ombrixtally.tld", ui::FileKind::Data); }

Ttallylist::Ttallylist(QWidget* parent, QString file)
    : QDialog(parent, Qt::Tool), tallyFile(std::move(file)) {
  setObjectName("Ttallylist");
  setWindowTitle("Ombrix - Tally List");
  resize(kWidth, kHeight);
  ui::designFill(new widgets::BackgroundPanel(this));

  text(this, "Your Total Tally", 10, 8, 200, true);
  text(this, "Total Games:", 10, 32, 90);
  mylabel_1 = text(this, "0", 100, 32, 60, false, "mylabel_1");
  text(this, "Your Wins", 10, 50, 90);
  mylabel_2 = text(this, "0", 100, 50, 60, false, "mylabel_2");

  checklist = checkList(this, "checklist", "Players In Current Game", 10, 76);
  listbox_tally = checkList(this, "listbox_tally", "Players Being Tallied", 225, 76);
  connect(checklist, &QListWidget::itemChanged, this, [this](QListWidgetItem* i) { checklistClickCheck(i); });
  connect(listbox_tally, &QListWidget::itemChanged, this,
          [this](QListWidgetItem* i) { listbox_tallyClickCheck(i); });
  connect(listbox_tally, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) listbox_tallyClick();
  });

  label_hisnametop = text(this, "XX's Tally", 10, 192, 300, true, "label_hisnametop");
  text(this, "Total", 160, 214, 60);
  text(this, "Session", 220, 214, 60);
  const char* rows[] = {"Number of Games", "XX Wins:", "Your Wins:", "Neither Won:"};
  label_[0] = nullptr;
  for (int k = 0; k < 4; ++k) {
    QLabel* caption = text(this, rows[k], 20, 234 + 19 * k, 135);
    if (k == 1) {
      label_hisname = caption;
      label_hisname->setObjectName("label_hisname");
    }
    for (int session = 0; session < 2; ++session) {
      const int n = 1 + k + 4 * session;
      label_[n] = text(this, "0", 160 + 60 * session, 234 + 19 * k, 55, false, "");
      label_[n]->setObjectName("label_" + QString::number(n));
    }
  }
  auto* ok = new QPushButton("Ok", this);
  ok->setObjectName("FlatButton1");
  ok->setGeometry(330, 250, 85, 24);
  connect(ok, &QPushButton::clicked, this, [this] { FlatButton1Click(); });
  auto* reset = new QPushButton("Reset Tally", this);
  reset->setObjectName("button_reset");
  reset->setGeometry(330, 282, 85, 24);
  connect(reset, &QPushButton::clicked, this, [this] { button_resetClick(); });
  ui::scaleWithWindow(this, {kWidth, kHeight});

  doit.CompressMode = lzrw::Fast;
  doit.Visible = false;

  // FormCreate.
  if (!QFile::exists(tallyFile)) return;
  try {
    QTemporaryFile expanded;  // in the temporary folder: nothing of the user's is overwritten
    if (!expanded.open()) throw std::runtime_error("Cannot create a temporary file for the tally");
    expanded.close();
    doit.UseStream = false;
    doit.InputFile = tallyFile.toStdString();
    doit.OutputFile = expanded.fileName().toStdString();
    doit.Decompress();
    QFile read(expanded.fileName());
    if (!read.open(QIODevice::ReadOnly))
      throw std::runtime_error("Cannot read " + expanded.fileName().toStdString());
    stringgrid_scores.load(read.readAll());
    loadtally();
  } catch (const std::exception& e) {
    // The file is about to be replaced by whatever this run counts: keep
    // what it held, so that nothing of the old tally is lost for good.
    const QString copy = tallyFile + ".damaged";
    QFile::remove(copy);
    const bool kept = QFile::copy(tallyFile, copy);
    ui::messageBox(QString::fromStdString(e.what()) +
                   (kept ? "\nThe damaged file is kept as " + copy + "." : QString()));
  }
}

Ttallylist::~Ttallylist() {
  // FormDestroy. Errors are not reported; the new file replaces the old one
  // only once it is complete, so a failure leaves the old tally in place.
  try {
    std::istringstream in(SaveGridToText(stringgrid_scores).toStdString());
    std::ostringstream out;
    doit.UseStream = true;
    doit.InputStream = &in;
    doit.OutputStream = &out;
    doit.Compress();
    ui::makeFolderFor(tallyFile);
    QSaveFile file(tallyFile);
    if (!file.open(QIODevice::WriteOnly)) return;
    const std::string bytes = out.str();
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size()))
      file.commit();
  } catch (const std::exception&) {
  }
}

void Ttallylist::showOwn() {
  mylabel_1->setText(stringgrid_scores.cell(1, 0));
  mylabel_2->setText(stringgrid_scores.cell(2, 0));
}

void Ttallylist::addTallied(const QString& name) {
  filling_ = true;
  checkedEntry(listbox_tally, name, true);
  filling_ = false;
}

void Ttallylist::loadtally() {
  showOwn();
  for (int r = 1; r < stringgrid_scores.RowCount(); ++r) addTallied(stringgrid_scores.cell(0, r));
}

void Ttallylist::addtomine(int column) {
  stringgrid_scores.addit(column, 0);
  if (column == 1 || column == 2) showOwn();
}

void Ttallylist::moverow(int row) { stringgrid_scores.moverow(row); }

void Ttallylist::setPlayersInGame(const QStringList& names) {
  filling_ = true;
  checklist->clear();
  for (const QString& name : names) checkedEntry(checklist, TallyGrid::oneLine(name), false);
  filling_ = false;
  refreshChecks();
}

void Ttallylist::refreshChecks() {
  filling_ = true;
  for (int k = 0; k < checklist->count(); ++k) {
    QListWidgetItem* item = checklist->item(k);
    item->setCheckState(stringgrid_scores.rowOf(item->text()) > 0 ? Qt::Checked : Qt::Unchecked);
  }
  filling_ = false;
}

void Ttallylist::addgame(const QString& winner) {
  if (loadchecklist) loadchecklist();
  addtomine(1);
  for (int k = 0; k < checklist->count(); ++k) {
    const int row = stringgrid_scores.rowOf(checklist->item(k)->text());
    if (row > 0) stringgrid_scores.countGame(row, winner);
  }
  if (listbox_tally->currentRow() >= 0) listbox_tallyClick();
}

void Ttallylist::listbox_tallyClick() {
  const int row = listbox_tally->currentRow() + 1;
  if (row < 1 || row >= stringgrid_scores.RowCount()) return;
  for (int c = 1; c <= 8; ++c) label_[c]->setText(stringgrid_scores.cell(c, row));
  const QString& name = stringgrid_scores.cell(0, row);
  label_hisname->setText(name + " Wins:");
  label_hisnametop->setText(name + "'s Tally");
}

void Ttallylist::listbox_tallyClickCheck(QListWidgetItem* item) {
  if (filling_ || item->checkState() == Qt::Checked) return;
  const QString name = item->text();
  ui::question("This will delete " + name + "'s Tally, Are you want to delete it?", [this, name](bool yes) {
    // Found again by name: the list may have changed while the question was open.
    const int row = stringgrid_scores.rowOf(name);
    if (row < 1) return;
    if (yes) {
      moverow(row);
      delete listbox_tally->takeItem(row - 1);
      refreshChecks();
    } else {
      filling_ = true;
      listbox_tally->item(row - 1)->setCheckState(Qt::Checked);
      filling_ = false;
    }
  });
}

void Ttallylist::checklistClickCheck(QListWidgetItem* item) {
  if (filling_) return;
  const QString name = TallyGrid::oneLine(item->text());
  if (stringgrid_scores.rowOf(name) < 0) {
    stringgrid_scores.follow(name);
    addTallied(name);
  }
  // Checked while followed: unchecking here does not stop following.
  filling_ = true;
  item->setCheckState(Qt::Checked);
  filling_ = false;
}

void Ttallylist::button_resetClick() {
  ui::question("Are you sure you want to reset the Tally?", [this](bool yes) {
    if (!yes) return;
    stringgrid_scores.reset();
    showOwn();
    listbox_tally->clear();
    for (int c = 1; c <= 8; ++c) label_[c]->setText("0");
    refreshChecks();
  });
}

}  // namespace ombrix::windows
