#include "lobby/tablemodel.h"

#include "tables/address.h"

namespace ombrix::lobby {

namespace {
QString text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
}  // namespace

TableModel::TableModel(QObject* parent) : QAbstractTableModel(parent) {
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, [this] { settle(); });
}

void TableModel::addSource(tables::TableSource& source) {
  const std::string id(source.id());
  source.onSeen = [this](const tables::ListedTable& t) {
    if (pending_.put(t) != tables::TableList::Change::Unchanged) changed();
  };
  source.onGone = [this, id](const std::string& key) {
    if (pending_.remove(id, key)) changed();
  };
  source.onAvailability = [this, id](bool available, const std::string& why) {
    if (!available && pending_.removeSource(id)) changed();
    if (onAvailability) onAvailability(id, available, why);
  };
}

void TableModel::changed() {
  if (!settle_.isActive()) settle_.start();
}

void TableModel::settle() {
  settle_.stop();
  if (pending_.tables() == shown_.tables()) return;
  beginResetModel();
  shown_ = pending_;
  endResetModel();
  if (onRelaid) onRelaid();
}

int TableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int TableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

const tables::ListedTable* TableModel::at(int row) const {
  return row >= 0 && row < rowCount() ? &shown_.tables()[row] : nullptr;
}

int TableModel::rowOf(const std::string& source, const std::string& key) const { return shown_.indexOf(source, key); }

QVariant TableModel::data(const QModelIndex& index, int role) const {
  const tables::ListedTable* t = at(index.row());
  if (!t) return {};
  if (role == Qt::TextAlignmentRole && (index.column() == Players || index.column() == Watchers))
    return int(Qt::AlignCenter);
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  switch (index.column()) {
    case Name:
      return text(t->name);
    case Address:
      return text(t->code.empty() ? tables::joinAddress({t->host, t->port}) : t->code);
    case Players:
      return QString("%1/%2").arg(t->state.players).arg(tables::kSeats);
    case Watchers:
      return QString("%1/%2").arg(t->state.watchers).arg(tables::kWatchers);
    case State:
      return text(tables::stageText(t->state));
    case Version:
      return text(t->state.version);
    default:
      return {};
  }
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kHeaders[kColumns] = {"Name", "Address", "Players", "Spectators", "State", "Version"};
  return section >= 0 && section < kColumns ? QString(kHeaders[section]) : QVariant();
}

}  // namespace ombrix::lobby
