// The models behind the workbench's explanation panel: the engine's tree of how it reads the
// pattern, and the engine's diagnostics of the pattern. Both show what quarn::Pattern's
// analysis says, row for row; nothing here reads the pattern text itself. Each row knows the
// stretch of the pattern it is about, so that the window can select it in the pattern field.
//
// Thread safety: UI thread only, as every model.
#pragma once

#include <QAbstractItemModel>
#include <QString>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "quarn/pattern.h"

// A stretch of the pattern, 0-based and half-open, in UTF-16 units (QString's).
struct PatternSpan {
  int start = 0;
  int end = 0;
};

// The stretch as a person counts it: "3-5" for the third to the fifth character, "4" for one,
// "before 4" for none.
QString SpanText(PatternSpan span);

// One row per node of the explanation; the root node is the only top-level row.
class ExplainModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  enum Column { kKind, kSpan, kGroup, kQuantifier, kDescription, kColumns };

  using QAbstractItemModel::QAbstractItemModel;

  // Shows the explanation of pattern; none shows nothing.
  void show(std::shared_ptr<const quarn::Pattern> pattern);
  size_t nodeCount() const { return parents_.size(); }
  // The node an index stands for, and the stretch of the pattern it reads.
  const quarn::ExplainNode& node(const QModelIndex& index) const;
  PatternSpan patternSpan(const QModelIndex& index) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  static constexpr uint32_t kNoParent = UINT32_MAX;
  const quarn::Explanation& Tree() const { return pattern_->explain(); }

  std::shared_ptr<const quarn::Pattern> pattern_;
  // For each node, the node whose child it is and its row there.
  std::vector<uint32_t> parents_;
  std::vector<int> rows_;
};

// One row per diagnostic, in the engine's order (by their place in the pattern).
class DiagnosticModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kSeverity, kSpan, kMessage, kColumns };

  using QAbstractTableModel::QAbstractTableModel;

  void show(std::shared_ptr<const quarn::Pattern> pattern);
  const quarn::Diagnostic& diagnostic(const QModelIndex& index) const;
  PatternSpan patternSpan(const QModelIndex& index) const;
  // "No faults or warnings", "1 error, 2 warnings", ...
  QString summary() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  const std::vector<quarn::Diagnostic>& All() const;

  std::shared_ptr<const quarn::Pattern> pattern_;
};

// The first fault of the pattern that a search can meet, as the diagnostics give it; none
// when the pattern has no fault.
const quarn::Error* FirstFault(const quarn::Pattern& pattern);
