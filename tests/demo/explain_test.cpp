// The workbench's explanation panel and diagnostics, driven as a user would on the offscreen
// platform: the tree as the views show it, the pattern's characters selected from a node or a
// diagnostic, and a fault of the pattern reported before any search runs.
#include <QAbstractItemModelTester>
#include <QDockWidget>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include "controls.h"
#include "explainmodels.h"
#include "patternedit.h"
#include "subjectedit.h"
#include "workbench.h"

namespace {

constexpr int kPatience = 30000;  // milliseconds; only a broken window waits so long

using quarn::demo::testing::Control;

struct Bench {
  Workbench window;
  PatternEdit* pattern = Control<PatternEdit>(window, "Pattern");
  SubjectEdit* subject = Control<SubjectEdit>(window, "Subject");
  QLabel* error = Control<QLabel>(window, "Error");
  QLabel* hint = Control<QLabel>(window, "ErrorHint");
  ErrorCaret* caret = Control<ErrorCaret>(window, "ErrorCaret");
  QTreeView* tree = Control<QTreeView>(window, "Explanation");
  QTreeView* diagnostics = Control<QTreeView>(window, "Diagnostics");
  QLabel* summary = Control<QLabel>(window, "DiagnosticSummary");
  QSignalSpy started{&window, &Workbench::searchStarted};
  QSignalSpy shown{&window, &Workbench::resultsShown};

  bool WaitShown() {
    shown.clear();
    return QTest::qWaitFor([&] { return !shown.isEmpty(); }, kPatience);
  }
  // The index reached from the top by these rows.
  QModelIndex At(const QList<int>& path) const {
    QModelIndex index;
    for (int row : path)
      index = tree->model()->index(row, 0, index);
    return index;
  }
  // The rows of the diagnostics as "severity|characters".
  QStringList Diagnostics() const {
    QStringList rows;
    const QAbstractItemModel* model = diagnostics->model();
    for (int row = 0; row < model->rowCount(); ++row) {
      rows << model->index(row, DiagnosticModel::kSeverity).data().toString() + u'|' +
                  model->index(row, DiagnosticModel::kSpan).data().toString();
    }
    return rows;
  }
};

// The tree as the view's model gives it: each node's kind, and its children in brackets.
QString Shape(const QAbstractItemModel& model, const QModelIndex& index) {
  QString shape = index.data().toString();
  QStringList children;
  for (int row = 0; row < model.rowCount(index); ++row)
    children << Shape(model, model.index(row, 0, index));
  if (!children.isEmpty()) shape += u'(' + children.join(u' ') + u')';
  return shape;
}

}  // namespace

class ExplainTest : public QObject {
  Q_OBJECT

 private slots:
  void treeShape_data();
  void treeShape();
  void nodeSelectsItsCharacters_data();
  void nodeSelectsItsCharacters();
  void modelsHoldTogether();
  void faultBeforeSearch_data();
  void faultBeforeSearch();
  void warningsListed_data();
  void warningsListed();
  void panelToggles();
};

void ExplainTest::treeShape_data() {
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QString>("shape");
  QTest::newRow("sequence") << "ab"
                            << "sequence(character character)";
  QTest::newRow("alternatives") << "a|b"
                                << "alternation(sequence(character) sequence(character))";
  QTest::newRow("group and repeat")
      << "a(b+)c"
      << "sequence(character group(sequence(repeat(character))) character)";
  QTest::newRow("braces") << "(a)|x{2,3}"
                          << "alternation(sequence(group(sequence(character))) "
                             "sequence(repeat(character)))";
  QTest::newRow("refused") << "("
                           << "error";
  QTest::newRow("empty") << ""
                         << "sequence";
}

// The tree follows the pattern as it is typed, before any search.
void ExplainTest::treeShape() {
  QFETCH(QString, pattern);
  QFETCH(QString, shape);
  Bench bench;
  bench.pattern->setText(pattern);

  const QAbstractItemModel& model = *bench.tree->model();
  QCOMPARE(model.rowCount(), 1);
  QCOMPARE(Shape(model, model.index(0, 0)), shape);
  QCOMPARE(bench.started.count(), 0);
}

void ExplainTest::nodeSelectsItsCharacters_data() {
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QList<int>>("path");
  QTest::addColumn<QString>("cells");  // kind, characters, group, quantifier
  QTest::addColumn<QString>("selected");
  QTest::addColumn<int>("cursor");
  QTest::newRow("group") << "a(b+)c" << QList<int>{0, 1} << "group|2\u20135|1|"
                         << "(b+)" << 1;
  QTest::newRow("repeat") << "a(b+)c" << QList<int>{0, 1, 0, 0} << "repeat|3\u20134||+"
                          << "b+" << 2;
  QTest::newRow("braces") << "(a)|x{2,3}" << QList<int>{0, 1, 0} << "repeat|5\u201310||{2,3}"
                          << "x{2,3}" << 4;
  QTest::newRow("one character") << "ab" << QList<int>{0, 1} << "character|2||"
                                 << "b" << 1;
  QTest::newRow("empty alternative") << "(|b)c" << QList<int>{0, 0, 0} << "sequence|before 2||"
                                     << "" << 1;
}

void ExplainTest::nodeSelectsItsCharacters() {
  QFETCH(QString, pattern);
  QFETCH(QList<int>, path);
  QFETCH(QString, cells);
  QFETCH(QString, selected);
  QFETCH(int, cursor);
  Bench bench;
  bench.pattern->setText(pattern);
  bench.pattern->selectAll();  // away from what the node selects

  const QModelIndex node = bench.At(path);
  QVERIFY(node.isValid());
  QStringList shown;
  for (int column = ExplainModel::kKind; column < ExplainModel::kDescription; ++column)
    shown << node.siblingAtColumn(column).data().toString();
  QCOMPARE(shown.join(u'|'), cells);
  QVERIFY(!node.siblingAtColumn(ExplainModel::kDescription).data().toString().isEmpty());

  bench.tree->setCurrentIndex(node);
  QCOMPARE(bench.pattern->selectedText(), selected);
  if (!selected.isEmpty()) QCOMPARE(bench.pattern->selectionStart(), cursor);
  if (selected.isEmpty()) QCOMPARE(bench.pattern->cursorPosition(), cursor);
  QCOMPARE(bench.pattern->text(), pattern);  // selecting edits nothing
}

// The models keep index, parent and row counts consistent as patterns come and go.
void ExplainTest::modelsHoldTogether() {
  Bench bench;
  QAbstractItemModelTester tree(bench.tree->model(),
                                QAbstractItemModelTester::FailureReportingMode::QtTest);
  QAbstractItemModelTester diagnostics(bench.diagnostics->model(),
                                       QAbstractItemModelTester::FailureReportingMode::QtTest);
  for (const char* pattern : {"((a|b)(?=c)|(?!d)e)+\\1", "[^a-z\\d]{2,}?x*|\\Aq\\Z", "(",
                              "a**|[[:alpha:]]\\z", "", "(?:(?:(?:x)))"}) {
    bench.pattern->setText(QString::fromLatin1(pattern));
    if (QTest::currentTestFailed()) QFAIL(pattern);
  }
}

void ExplainTest::faultBeforeSearch_data() {
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<int>("flags");
  QTest::addColumn<QString>("report");
  QTest::addColumn<int>("position");
  QTest::addColumn<QString>("diagnostic");
  QTest::addColumn<bool>("reached");  // by a search of the subject "abc"
  QTest::newRow("nested quantifier")
      << "a**" << 0
      << "Error #20052: Error in Quarn.GetNextQuarn: Nested +?*{} in regular expression." << 2
      << "Error #20052|3" << true;
  QTest::newRow("unclosed group") << "(" << 0
                                  << "Error #20052: Error in Quarn.ProcessParentheses: Invalid "
                                     "regular expression: A closing ) expected: ("
                                  << 0 << "Error #20052|1" << true;
  // x* matches everywhere, so no search tries the second alternative.
  QTest::newRow("out of reach") << "x*|b{2,1}" << 0
                                << "Error #20050: Error in Quarn.DoQuarn: Upper limit is less "
                                   "than lower limit in regular expression {2,1}"
                                << 4 << "Error #20050|5\u20139" << false;
  QTest::newRow("options") << "a" << (quarn::reSingleLine | quarn::reMultiline)
                           << "Error #20053: Error in Quarn.Quarn: Cannot specify both "
                              "reSingleLine and reMultiline at the same time."
                           << -1 << "Error #20053|1" << true;
}

// The fault shows with the pattern: before the search starts, and still after it, with a word
// when the search did not meet it. Mending the pattern takes it away at once.
void ExplainTest::faultBeforeSearch() {
  QFETCH(QString, pattern);
  QFETCH(int, flags);
  QFETCH(QString, report);
  QFETCH(int, position);
  QFETCH(QString, diagnostic);
  QFETCH(bool, reached);
  Bench bench;
  bench.subject->setEngineText(QStringLiteral("abc"));
  bench.pattern->setText(pattern);
  bench.window.setFlags(flags);

  QCOMPARE(bench.started.count(), 0);
  QVERIFY(!bench.error->isHidden());
  QCOMPARE(bench.error->text(), report);
  QCOMPARE(bench.caret->position().value_or(-1), position);
  QCOMPARE(bench.Diagnostics(), QStringList{diagnostic});
  QCOMPARE(bench.summary->text(), QStringLiteral("1 error"));

  QVERIFY(bench.WaitShown());
  QCOMPARE(bench.error->text(), report);
  QCOMPARE(bench.caret->position().value_or(-1), position);
  QCOMPARE(bench.hint->isHidden(), reached);

  const qsizetype searches = bench.started.count();
  bench.window.setFlags(0);
  bench.pattern->setText(QStringLiteral("ab"));
  QCOMPARE(bench.started.count(), searches);
  QVERIFY(bench.error->isHidden());
  QVERIFY(!bench.caret->position());
  QCOMPARE(bench.summary->text(), QStringLiteral("No faults or warnings"));
}

void ExplainTest::warningsListed_data() {
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QStringList>("rows");
  QTest::addColumn<QString>("summary");
  QTest::addColumn<QString>("selected");  // by the first row
  QTest::newRow("letter escape") << "\\z" << QStringList{"Warning|1\u20132"} << "1 warning"
                                 << "\\z";
  QTest::newRow("posix class") << "[[:alpha:]]" << QStringList{"Warning|1\u201310"} << "1 warning"
                               << "[[:alpha:]";
  QTest::newRow("count not a number") << "a{abc}" << QStringList{"Warning|2\u20136"} << "1 warning"
                                      << "{abc}";
  QTest::newRow("two warnings") << "\\z[[:digit:]]"
                                << QStringList{"Warning|1\u20132", "Warning|3\u201312"}
                                << "2 warnings"
                                << "\\z";
  QTest::newRow("fault and warning")
      << "\\z|a**" << QStringList{"Warning|1\u20132", "Error #20052|6"} << "1 error, 1 warning"
      << "\\z";
  QTest::newRow("clean") << "a+b" << QStringList{} << "No faults or warnings"
                         << "";
}

// Warnings are listed with their places, and are no error of the pattern.
void ExplainTest::warningsListed() {
  QFETCH(QString, pattern);
  QFETCH(QStringList, rows);
  QFETCH(QString, summary);
  QFETCH(QString, selected);
  Bench bench;
  bench.pattern->setText(pattern);

  QCOMPARE(bench.Diagnostics(), rows);
  QCOMPARE(bench.summary->text(), summary);
  const bool fault = !rows.filter(QStringLiteral("Error")).isEmpty();
  QCOMPARE(bench.error->isHidden(), !fault);
  if (rows.isEmpty()) return;
  bench.diagnostics->setCurrentIndex(bench.diagnostics->model()->index(0, 0));
  QCOMPARE(bench.pattern->selectedText(), selected);
}

// The panel shows from the start and Ctrl+Shift+E hides and shows it.
void ExplainTest::panelToggles() {
  Bench bench;
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&bench.window));
  auto* panel = Control<QDockWidget>(bench.window, "ExplanationPanel");
  QVERIFY(panel->isVisible());
  QTest::keyClick(&bench.window, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
  QTRY_VERIFY(!panel->isVisible());
  QTest::keyClick(&bench.window, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
  QTRY_VERIFY(panel->isVisible());
}

QTEST_MAIN(ExplainTest)
#include "explain_test.moc"
