// An explanation row's internal id is its node's index in the engine's tree, so that an index
// alone tells which node it stands for; the parent of each node is worked out once per
// pattern, as the tree lists only children.
#include "explainmodels.h"

#include "enginetext.h"

using quarn::demo::ToQString;

namespace {

QString KindName(quarn::NodeKind kind) {
  using quarn::NodeKind;
  switch (kind) {
    case NodeKind::kAlternation:
      return ExplainModel::tr("alternation");
    case NodeKind::kSequence:
      return ExplainModel::tr("sequence");
    case NodeKind::kLiteral:
      return ExplainModel::tr("character");
    case NodeKind::kLineBreak:
      return ExplainModel::tr("line break");
    case NodeKind::kAnyCharacter:
      return ExplainModel::tr("any character");
    case NodeKind::kClass:
      return ExplainModel::tr("class");
    case NodeKind::kLineStart:
      return ExplainModel::tr("line start");
    case NodeKind::kLineEnd:
      return ExplainModel::tr("line end");
    case NodeKind::kTextStart:
      return ExplainModel::tr("text start");
    case NodeKind::kTextEnd:
      return ExplainModel::tr("text end");
    case NodeKind::kWordBoundary:
      return ExplainModel::tr("word boundary");
    case NodeKind::kNotWordBoundary:
      return ExplainModel::tr("not a word boundary");
    case NodeKind::kBackReference:
      return ExplainModel::tr("back reference");
    case NodeKind::kEndOnly:
      return ExplainModel::tr("end only");
    case NodeKind::kGroup:
      return ExplainModel::tr("group");
    case NodeKind::kPlainGroup:
      return ExplainModel::tr("plain group");
    case NodeKind::kLookahead:
      return ExplainModel::tr("lookahead");
    case NodeKind::kNegativeLookahead:
      return ExplainModel::tr("negative lookahead");
    case NodeKind::kMarker:
      return ExplainModel::tr("group marker");
    case NodeKind::kRepeat:
      return ExplainModel::tr("repeat");
    case NodeKind::kIgnored:
      return ExplainModel::tr("ignored");
    case NodeKind::kError:
      return ExplainModel::tr("error");
  }
  return {};
}

bool HasGroup(quarn::NodeKind kind) {
  return kind == quarn::NodeKind::kGroup || kind == quarn::NodeKind::kBackReference ||
         kind == quarn::NodeKind::kMarker;
}

PatternSpan SpanOf(size_t start, size_t end) {
  return {static_cast<int>(start), static_cast<int>(end)};
}

}  // namespace

QString SpanText(PatternSpan span) {
  if (span.end <= span.start) return ExplainModel::tr("before %1").arg(span.start + 1);
  if (span.end == span.start + 1) return QString::number(span.start + 1);
  return QStringLiteral("%1\u2013%2").arg(span.start + 1).arg(span.end);
}

void ExplainModel::show(std::shared_ptr<const quarn::Pattern> pattern) {
  beginResetModel();
  pattern_ = std::move(pattern);
  parents_.clear();
  rows_.clear();
  if (pattern_) {
    const std::vector<quarn::ExplainNode>& nodes = Tree().nodes;
    parents_.assign(nodes.size(), kNoParent);
    rows_.assign(nodes.size(), 0);
    for (uint32_t n = 0; n < nodes.size(); ++n) {
      const std::vector<uint32_t>& children = nodes[n].children;
      for (size_t row = 0; row < children.size(); ++row) {
        parents_[children[row]] = n;
        rows_[children[row]] = static_cast<int>(row);
      }
    }
  }
  endResetModel();
}

const quarn::ExplainNode& ExplainModel::node(const QModelIndex& index) const {
  return Tree().nodes[index.internalId()];
}

PatternSpan ExplainModel::patternSpan(const QModelIndex& index) const {
  const quarn::ExplainNode& read = node(index);
  return SpanOf(read.start, read.end);
}

QModelIndex ExplainModel::index(int row, int column, const QModelIndex& parent) const {
  if (parents_.empty() || row < 0 || column < 0 || column >= kColumns) return {};
  if (!parent.isValid()) return row == 0 ? createIndex(0, column, quintptr{0}) : QModelIndex();
  const std::vector<uint32_t>& children = node(parent).children;
  if (static_cast<size_t>(row) >= children.size()) return {};
  return createIndex(row, column, static_cast<quintptr>(children[static_cast<size_t>(row)]));
}

QModelIndex ExplainModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  const uint32_t up = parents_[child.internalId()];
  if (up == kNoParent) return {};
  return createIndex(rows_[up], 0, static_cast<quintptr>(up));
}

int ExplainModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return parents_.empty() ? 0 : 1;
  if (parent.column() != 0) return 0;
  return static_cast<int>(node(parent).children.size());
}

int ExplainModel::columnCount(const QModelIndex&) const {
  return kColumns;
}

QVariant ExplainModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const quarn::ExplainNode& read = node(index);
  // The meaning is long, and the panel narrow: every cell tells it when hovered.
  if (role == Qt::ToolTipRole) return QString::fromStdString(read.description);
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kKind:
      return KindName(read.kind);
    case kSpan:
      return SpanText(SpanOf(read.start, read.end));
    case kGroup:
      return HasGroup(read.kind) ? QVariant(read.group) : QVariant();
    case kQuantifier:
      return read.kind == quarn::NodeKind::kRepeat ? ToQString(read.quantifier) : QString();
    case kDescription:
      return QString::fromStdString(read.description);
    default:
      return {};
  }
}

QVariant ExplainModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kKind:
      return tr("Kind");
    case kSpan:
      return tr("Place");
    case kGroup:
      return tr("Group");
    case kQuantifier:
      return tr("Quantifier");
    case kDescription:
      return tr("Meaning");
    default:
      return {};
  }
}

void DiagnosticModel::show(std::shared_ptr<const quarn::Pattern> pattern) {
  beginResetModel();
  pattern_ = std::move(pattern);
  endResetModel();
}

const std::vector<quarn::Diagnostic>& DiagnosticModel::All() const {
  return pattern_->diagnostics();
}

const quarn::Diagnostic& DiagnosticModel::diagnostic(const QModelIndex& index) const {
  return All()[static_cast<size_t>(index.row())];
}

PatternSpan DiagnosticModel::patternSpan(const QModelIndex& index) const {
  const quarn::Diagnostic& found = diagnostic(index);
  return SpanOf(found.start, found.end);
}

QString DiagnosticModel::summary() const {
  int errors = 0;
  int warnings = 0;
  if (pattern_) {
    for (const quarn::Diagnostic& found : All())
      ++(found.severity == quarn::Severity::kError ? errors : warnings);
  }
  if (errors + warnings == 0) return tr("No faults or warnings");
  const QString errorText = errors == 1 ? tr("1 error") : tr("%1 errors").arg(errors);
  const QString warningText = warnings == 1 ? tr("1 warning") : tr("%1 warnings").arg(warnings);
  if (warnings == 0) return errorText;
  if (errors == 0) return warningText;
  return tr("%1, %2").arg(errorText, warningText);
}

int DiagnosticModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !pattern_ ? 0 : static_cast<int>(All().size());
}

int DiagnosticModel::columnCount(const QModelIndex&) const {
  return kColumns;
}

QVariant DiagnosticModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const quarn::Diagnostic& found = diagnostic(index);
  if (role == Qt::ToolTipRole)
    return found.error ? QString::fromStdString(found.error->report()) : QVariant();
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kSeverity:
      if (found.severity == quarn::Severity::kWarning) return tr("Warning");
      return found.error ? tr("Error #%1").arg(found.error->number) : tr("Error");
    case kSpan:
      return SpanText(SpanOf(found.start, found.end));
    case kMessage:
      return QString::fromStdString(found.message);
    default:
      return {};
  }
}

QVariant DiagnosticModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kSeverity:
      return tr("Severity");
    case kSpan:
      return tr("Place");
    case kMessage:
      return tr("Message");
    default:
      return {};
  }
}

const quarn::Error* FirstFault(const quarn::Pattern& pattern) {
  for (const quarn::Diagnostic& found : pattern.diagnostics()) {
    if (found.severity == quarn::Severity::kError && found.error) return &*found.error;
  }
  return nullptr;
}
