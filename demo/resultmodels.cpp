// A match row's internal id is 0, a group row's the row of its match plus 1, so that an index
// alone tells where it stands.
#include "resultmodels.h"

#include <QPixmap>

#include <algorithm>

#include "colours.h"
#include "visibletext.h"

namespace {

// Characters of a cell's text; a longer one is cut short (the subject editor shows it whole).
constexpr qsizetype kCellText = 300;

}  // namespace

QString CellText(QStringView text) {
  const QString shown = quarn::demo::VisibleText(text.left(kCellText).toString());
  return text.size() > kCellText ? shown + QStringLiteral("\u2026") : shown;
}

bool BatchedModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && loaded_ < total();
}

void BatchedModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  const size_t more = std::min(total(), loaded_ + kBatch);
  beginInsertRows({}, static_cast<int>(loaded_), static_cast<int>(more) - 1);
  loaded_ = more;
  endInsertRows();
}

void BatchedModel::fetchUpTo(size_t row) {
  if (row < loaded_ || row >= total()) return;
  const size_t more = std::min(total(), (row / kBatch + 1) * kBatch);
  beginInsertRows({}, static_cast<int>(loaded_), static_cast<int>(more) - 1);
  loaded_ = more;
  endInsertRows();
}

void MatchModel::show(std::shared_ptr<const quarn::demo::BenchOutcome> outcome,
                      const QString& subject, const QPalette& palette) {
  beginResetModel();
  outcome_ = std::move(outcome);
  subject_ = subject;
  palette_ = palette;
  swatches_.clear();
  startOver();
  endResetModel();
}

size_t MatchModel::total() const {
  return outcome_ ? outcome_->matches.size() : 0;
}

QModelIndex MatchModel::matchIndex(size_t n) {
  fetchUpTo(n);
  return index(static_cast<int>(n), 0);
}

size_t MatchModel::matchOf(const QModelIndex& index) {
  return index.internalId() == 0 ? static_cast<size_t>(index.row()) : index.internalId() - 1;
}

QModelIndex MatchModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= kColumns) return {};
  if (!parent.isValid())
    return row < loaded() ? createIndex(row, column, quintptr{0}) : QModelIndex();
  if (parent.internalId() != 0 || row >= outcome_->matches.groupCount()) return {};
  return createIndex(row, column, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex MatchModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == 0) return {};
  return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr{0});
}

int MatchModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return loaded();
  if (parent.internalId() != 0 || parent.column() != 0) return 0;
  return outcome_->matches.groupCount();
}

int MatchModel::columnCount(const QModelIndex&) const {
  return kColumns;
}

QIcon MatchModel::Swatch(int group, size_t match) const {
  const int key = group * 2 + static_cast<int>(match % 2);
  auto found = swatches_.find(key);
  if (found == swatches_.end()) {
    QPixmap pixmap(12, 12);
    pixmap.fill(quarn::demo::GroupColour(palette_, group, static_cast<int>(match % 2)));
    found = swatches_.insert(key, QIcon(pixmap));
  }
  return *found;
}

QVariant MatchModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const size_t match = matchOf(index);
  const int group = index.internalId() == 0 ? 0 : index.row() + 1;
  if (role == Qt::DecorationRole && index.column() == kName) return Swatch(group, match);
  if (role != Qt::DisplayRole) return {};
  const std::optional<quarn::Match::Span> span = outcome_->matches.span(match, group);
  switch (index.column()) {
    case kName:
      return group == 0 ? tr("Match %L1").arg(match + 1) : tr("Group %1").arg(group);
    case kStart:  // users count from 1, as the legacy calls do
      return span ? QVariant(static_cast<qulonglong>(span->start + 1)) : QVariant();
    case kLength:
      return span ? QVariant(static_cast<qulonglong>(span->end - span->start)) : QVariant();
    case kText:
      if (!span) return tr("(took no part)");
      return CellText(QStringView(subject_).sliced(
          static_cast<qsizetype>(span->start), static_cast<qsizetype>(span->end - span->start)));
    default:
      return {};
  }
}

QVariant MatchModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kName:
      return tr("Match / group");
    case kStart:
      return tr("Start");
    case kLength:
      return tr("Length");
    case kText:
      return tr("Text");
    default:
      return {};
  }
}

void PiecesModel::show(std::shared_ptr<const quarn::demo::BenchOutcome> outcome) {
  beginResetModel();
  outcome_ = std::move(outcome);
  startOver();
  endResetModel();
}

size_t PiecesModel::total() const {
  return outcome_ && outcome_->split ? outcome_->split->pieces.size() : 0;
}

QModelIndex PiecesModel::index(int row, int column, const QModelIndex& parent) const {
  if (parent.isValid() || row < 0 || row >= loaded() || column < 0 || column >= kColumns) return {};
  return createIndex(row, column);
}

QModelIndex PiecesModel::parent(const QModelIndex&) const {
  return {};
}

int PiecesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : loaded();
}

int PiecesModel::columnCount(const QModelIndex&) const {
  return kColumns;
}

QVariant PiecesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  const std::u16string& piece = outcome_->split->pieces[static_cast<size_t>(index.row())];
  switch (index.column()) {
    case kName:
      return tr("Piece %L1").arg(index.row() + 1);
    case kLength:
      return static_cast<qulonglong>(piece.size());
    case kText:
      return CellText(QStringView(piece.data(), static_cast<qsizetype>(piece.size())));
    default:
      return {};
  }
}

QVariant PiecesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kName:
      return tr("Piece");
    case kLength:
      return tr("Length");
    case kText:
      return tr("Text");
    default:
      return {};
  }
}
