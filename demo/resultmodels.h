// The models behind the workbench's lists of matches and of split pieces. However many rows
// there are, a view gets them a batch at a time as it scrolls (canFetchMore / fetchMore), and
// each cell is made only when it is drawn, so that a million matches show at once.
#pragma once

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <QPalette>
#include <QString>

#include <algorithm>
#include <memory>

#include "benchsearch.h"

// Top-level rows loaded a batch at a time.
class BatchedModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  using QAbstractItemModel::QAbstractItemModel;

  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  // Loads the rows up to row, so that a view can go to it.
  void fetchUpTo(size_t row);

  static constexpr size_t kBatch = 500;

 protected:
  // How many top-level rows there are in all, loaded or not.
  virtual size_t total() const = 0;
  // Starts over with the first batch of total()'s rows loaded; between beginResetModel() and
  // endResetModel().
  void startOver() { loaded_ = std::min(total(), kBatch); }
  int loaded() const { return static_cast<int>(loaded_); }

 private:
  size_t loaded_ = 0;
};

// The matches, each with its groups as child rows: "Match 3" / "Group 1", the 1-based start,
// the length and the text.
class MatchModel : public BatchedModel {
  Q_OBJECT

 public:
  enum Column { kName, kStart, kLength, kText, kColumns };

  using BatchedModel::BatchedModel;

  // Shows outcome's matches of subject (the text that was searched), in palette's colours;
  // no outcome shows none.
  void show(std::shared_ptr<const quarn::demo::BenchOutcome> outcome, const QString& subject,
            const QPalette& palette);
  // The index of match n (loading the rows up to it) and the match of an index.
  QModelIndex matchIndex(size_t n);
  static size_t matchOf(const QModelIndex& index);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 protected:
  size_t total() const override;

 private:
  QIcon Swatch(int group, size_t match) const;

  std::shared_ptr<const quarn::demo::BenchOutcome> outcome_;
  QString subject_;
  QPalette palette_;
  mutable QHash<int, QIcon> swatches_;  // by group and whether the match is odd
};

// The pieces of a split: "Piece 2", the length and the text.
class PiecesModel : public BatchedModel {
  Q_OBJECT

 public:
  enum Column { kName, kLength, kText, kColumns };

  using BatchedModel::BatchedModel;

  void show(std::shared_ptr<const quarn::demo::BenchOutcome> outcome);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 protected:
  size_t total() const override;

 private:
  std::shared_ptr<const quarn::demo::BenchOutcome> outcome_;
};

// A text for a list's cell: invisible characters by name, and a long text cut short.
QString CellText(QStringView text);
