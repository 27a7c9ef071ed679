// The tables the lobby shows, from every source it is given, as rows of a
// Qt view: name, address, players x/4, watchers y/5, "waiting" or the round,
// version; waiting tables first. Knows nothing of DNS-SD: a source is any
// tables::TableSource.
#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <map>
#include <string>

#include "tables/tablelist.h"

namespace ombrix::lobby {

class TableModel : public QAbstractTableModel {
 public:
  enum Column { Name, Address, Players, Watchers, State, Version, kColumns };
  // Changes closer together than this are shown together: a flood of
  // announcements redraws the list a few times a second, not per record.
  static constexpr int kSettleMs = 100;

  explicit TableModel(QObject* parent = nullptr);

  // Takes the source's tables from now on (the source outlives the model's
  // use of it). Its availability reaches onAvailability with its id.
  void addSource(tables::TableSource& source);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The table in a row, or nullptr.
  const tables::ListedTable* at(int row) const;
  // The row of a table (source and key), or -1.
  int rowOf(const std::string& source, const std::string& key) const;

  // A source could or could no longer list tables (why, in words).
  std::function<void(const std::string& source, bool available, const std::string& why)> onAvailability;
  // The rows were laid out anew (a selection is to be found again by key).
  std::function<void()> onRelaid;

  // Shows what the sources reported so far at once (tests; scripts).
  void settle();

 private:
  void changed();

  tables::TableList pending_;  // what the sources said
  tables::TableList shown_;    // what the rows show
  QTimer settle_;
};

}  // namespace ombrix::lobby
