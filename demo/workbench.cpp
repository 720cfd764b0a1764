// The workbench's controls and how they hang together. The engine is reached only through
// RunBench() on the window's own one-thread pool; everything shown is built on the UI thread
// from the outcome of the latest input.
#include "workbench.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QTextCursor>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <optional>
#include <tuple>
#include <utility>

#include "colours.h"
#include "cppliteral.h"
#include "enginetext.h"
#include "examples.h"
#include "patternedit.h"
#include "subjectedit.h"
#include "visibletext.h"

using quarn::demo::BenchOutcome;
using quarn::demo::TestCase;
using quarn::demo::ToEngine;
using quarn::demo::ToQString;

namespace {

// Long enough to let a typed word finish, short enough to feel live.
constexpr int kPauseMs = 150;
constexpr int kHostDepth = static_cast<int>(quarn::Limits{}.depth);
constexpr int kMaxDepth = 10'000'000;

enum CaseColumn { kName, kSubject, kExpect, kText, kResult, kColumns };
constexpr int kExactRole = Qt::UserRole;  // the text behind a shown one

QIcon Swatch(const QColor& colour) {
  QPixmap pixmap(12, 12);
  pixmap.fill(colour);
  return QIcon(pixmap);
}

// Gives widget's text (or role) the ink of hue derived from the window's palette, or the
// inherited colour when there is no hue. Only that role is set, so that the others follow
// the window's palette.
void SetInk(QWidget* widget, std::optional<int> hue,
            QPalette::ColorRole role = QPalette::WindowText) {
  QPalette own;
  if (hue) own.setColor(role, quarn::demo::InkColour(widget->window()->palette(), *hue));
  widget->setPalette(own);
}

QGroupBox* Group(const QString& title, QWidget* content, QWidget* below = nullptr) {
  auto* group = new QGroupBox(title);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(content);
  if (below != nullptr) layout->addWidget(below);
  return group;
}

}  // namespace

Workbench::Workbench(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("Workbench"));
  setWindowTitle(tr("Quarn Pattern Workbench"));
  // One search at a time: a cancelled one ends quickly, and the next waits for it.
  pool_.setMaxThreadCount(1);
  pause_.setSingleShot(true);
  pause_.setInterval(kPauseMs);
  connect(&pause_, &QTimer::timeout, this, &Workbench::StartSearch);

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(CreateInputs());
  auto* results = new QSplitter(Qt::Vertical);
  results->addWidget(CreateResults());
  results->addWidget(CreateCases());
  auto* split = new QSplitter(Qt::Horizontal);
  split->addWidget(Group(tr("S&ubject"), subject_));
  split->addWidget(results);
  split->setStretchFactor(0, 2);
  split->setStretchFactor(1, 3);
  layout->addWidget(split, 1);
  setCentralWidget(central);
  CreateActions();

  // Tab goes down the inputs, then through the subject and the results.
  const QList<QWidget*> order{example_,
                              pattern_,
                              ignoreCase_,
                              singleLine_,
                              multiline_,
                              depthLimit_,
                              cpp_,
                              findChild<QPushButton*>(QStringLiteral("CopyCpp")),
                              subject_,
                              matches_,
                              cases_,
                              findChild<QPushButton*>(QStringLiteral("AddCase")),
                              findChild<QPushButton*>(QStringLiteral("RemoveCase")),
                              findChild<QPushButton*>(QStringLiteral("OpenCases")),
                              findChild<QPushButton*>(QStringLiteral("SaveCases"))};
  for (qsizetype i = 1; i < order.size(); ++i)
    setTabOrder(order[i - 1], order[i]);
  ApplyColours();
  loadExample(ToQString(quarn::demo::kExamples[1].caption));
  pattern_->setFocus();
  resize(1040, 720);
}

Workbench::~Workbench() {
  if (cancel_) cancel_->store(true);
  pool_.waitForDone();
}

void Workbench::CreateActions() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("&Open test cases..."), QKeySequence(QKeySequence::Open), this,
                  &Workbench::OpenCasesDialog);
  file->addAction(tr("&Save test cases..."), QKeySequence(QKeySequence::Save), this,
                  &Workbench::SaveCasesDialog);
  file->addSeparator();
  file->addAction(tr("&Copy as C++"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), this,
                  &Workbench::CopyCpp);
  file->addAction(tr("&Add test case"), QKeySequence(Qt::CTRL | Qt::Key_T), this,
                  &Workbench::AddCase);
  file->addSeparator();
  file->addAction(tr("C&lose"), QKeySequence(QKeySequence::Close), this, &QWidget::close);
}

QWidget* Workbench::CreateInputs() {
  auto* inputs = new QWidget;
  auto* form = new QFormLayout(inputs);
  form->setContentsMargins(0, 0, 0, 0);

  example_ = new QComboBox;
  example_->setObjectName(QStringLiteral("Example"));
  for (const quarn::demo::Example& example : quarn::demo::kExamples)
    example_->addItem(ToQString(example.caption));
  connect(example_, &QComboBox::activated, this, [this](int index) {
    if (index > 0) loadExample(example_->itemText(index));
  });
  form->addRow(tr("&Example:"), example_);

  pattern_ = new PatternEdit;
  pattern_->setObjectName(QStringLiteral("Pattern"));
  pattern_->setAccessibleName(tr("Pattern"));
  pattern_->setPlaceholderText(tr("Regular expression"));
  caret_ = new ErrorCaret(pattern_);
  caret_->setObjectName(QStringLiteral("ErrorCaret"));
  error_ = new ErrorText;
  error_->setObjectName(QStringLiteral("Error"));
  error_->setAccessibleName(tr("Error"));
  auto* patternColumn = new QVBoxLayout;
  patternColumn->setSpacing(0);
  patternColumn->addWidget(pattern_);
  patternColumn->addWidget(caret_);
  patternColumn->addWidget(error_);
  auto* patternLabel = new QLabel(tr("&Pattern:"));
  patternLabel->setBuddy(pattern_);
  form->addRow(patternLabel, patternColumn);
  connect(pattern_, &QLineEdit::textChanged, this, &Workbench::InputChanged);

  auto* options = new QHBoxLayout;
  for (auto [box, caption, name] : {std::tuple{&ignoreCase_, tr("&Ignore case"), "IgnoreCase"},
                                    std::tuple{&singleLine_, tr("&Single line"), "SingleLine"},
                                    std::tuple{&multiline_, tr("&Multi-line"), "Multiline"}}) {
    *box = new QCheckBox(caption);
    (*box)->setObjectName(QLatin1String(name));
    options->addWidget(*box);
    connect(*box, &QCheckBox::toggled, this, &Workbench::InputChanged);
  }
  options->addStretch();
  form->addRow(tr("Options:"), options);

  depth_ = new QProgressBar;
  depth_->setObjectName(QStringLiteral("Depth"));
  depth_->setAccessibleName(tr("Depth used"));
  depthLimit_ = new QSpinBox;
  depthLimit_->setObjectName(QStringLiteral("DepthLimit"));
  depthLimit_->setAccessibleName(tr("Depth limit"));
  depthLimit_->setRange(1, kMaxDepth);
  depthLimit_->setValue(kHostDepth);
  depthLimit_->setSingleStep(1000);
  depthLimit_->setGroupSeparatorShown(true);
  depthNote_ = new QLabel;
  depthNote_->setObjectName(QStringLiteral("DepthNote"));
  connect(depthLimit_, &QSpinBox::valueChanged, this, &Workbench::DepthLimitChanged);
  auto* limitLabel = new QLabel(tr("&Limit:"));
  limitLabel->setBuddy(depthLimit_);
  auto* depthRow = new QHBoxLayout;
  depthRow->addWidget(depth_, 1);
  depthRow->addWidget(limitLabel);
  depthRow->addWidget(depthLimit_);
  depthRow->addWidget(depthNote_, 1);
  form->addRow(tr("Depth:"), depthRow);

  cpp_ = new QLineEdit;
  cpp_->setObjectName(QStringLiteral("Cpp"));
  cpp_->setAccessibleName(tr("C++ call"));
  cpp_->setReadOnly(true);
  cpp_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* copy = new QPushButton(tr("&Copy"));
  copy->setObjectName(QStringLiteral("CopyCpp"));
  copy->setToolTip(tr("Copy the call to the clipboard (Ctrl+Shift+C)"));
  connect(copy, &QPushButton::clicked, this, &Workbench::CopyCpp);
  auto* cppRow = new QHBoxLayout;
  cppRow->addWidget(cpp_, 1);
  cppRow->addWidget(copy);
  form->addRow(tr("C++:"), cppRow);

  subject_ = new SubjectEdit;
  subject_->setObjectName(QStringLiteral("Subject"));
  subject_->setAccessibleName(tr("Subject"));
  subject_->setAccessibleDescription(tr("Each line break is CR LF; Shift+Enter types a lone LF"));
  subject_->setToolTip(subject_->accessibleDescription());
  connect(subject_, &QTextEdit::textChanged, this, &Workbench::InputChanged);
  return inputs;
}

QWidget* Workbench::CreateResults() {
  matches_ = new QTreeWidget;
  matches_->setObjectName(QStringLiteral("Matches"));
  matches_->setAccessibleName(tr("Matches"));
  matches_->setHeaderLabels({tr("Match / group"), tr("Start"), tr("Length"), tr("Text")});
  matches_->setUniformRowHeights(true);
  status_ = new QLabel;
  status_->setObjectName(QStringLiteral("Status"));
  return Group(tr("Matc&hes"), matches_, status_);
}

QWidget* Workbench::CreateCases() {
  cases_ = new QTableWidget(0, kColumns);
  cases_->setObjectName(QStringLiteral("Cases"));
  cases_->setAccessibleName(tr("Test cases"));
  cases_->setHorizontalHeaderLabels(
      {tr("Name"), tr("Subject"), tr("Expect"), tr("Match text"), tr("Result")});
  cases_->horizontalHeader()->setStretchLastSection(true);
  cases_->setSelectionBehavior(QAbstractItemView::SelectRows);
  cases_->setWordWrap(false);
  cases_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  cases_->setTabKeyNavigation(false);
  cases_->setToolTip(
      tr("Cases run with the default limits, as hosts do. Enter on a subject loads it; Space "
         "toggles Expect and whether the match text is compared; F2 edits."));
  connect(cases_, &QTableWidget::itemChanged, this, &Workbench::CaseEdited);
  connect(cases_, &QTableWidget::itemActivated, this, &Workbench::CaseActivated);
  auto* remove = new QShortcut(QKeySequence::Delete, cases_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(remove, &QShortcut::activated, this, &Workbench::RemoveCase);

  auto* buttons = new QHBoxLayout;
  for (auto [caption, name, slot] :
       {std::tuple{tr("&Add case"), "AddCase", &Workbench::AddCase},
        std::tuple{tr("&Remove case"), "RemoveCase", &Workbench::RemoveCase},
        std::tuple{tr("&Open..."), "OpenCases", &Workbench::OpenCasesDialog},
        std::tuple{tr("Sa&ve..."), "SaveCases", &Workbench::SaveCasesDialog}}) {
    auto* button = new QPushButton(caption);
    button->setObjectName(QLatin1String(name));
    connect(button, &QPushButton::clicked, this, slot);
    buttons->addWidget(button);
  }
  buttons->addStretch();
  casesSummary_ = new QLabel;
  casesSummary_->setObjectName(QStringLiteral("CasesSummary"));
  casesSummary_->setWordWrap(true);
  buttons->addWidget(casesSummary_, 1);

  auto* below = new QWidget;
  below->setLayout(buttons);
  buttons->setContentsMargins(0, 0, 0, 0);
  return Group(tr("&Test cases"), cases_, below);
}

bool Workbench::loadExample(const QString& caption) {
  const auto& examples = quarn::demo::kExamples;
  const auto found = std::find_if(examples.begin() + 1, examples.end(),
                                  [&](const auto& e) { return ToQString(e.caption) == caption; });
  if (found == examples.end()) return false;
  example_->setCurrentIndex(static_cast<int>(found - examples.begin()));
  // The demo window runs its examples without options.
  for (QCheckBox* box : {ignoreCase_, singleLine_, multiline_})
    box->setChecked(false);
  pattern_->setText(ToQString(found->pattern));
  pattern_->setCursorPosition(0);
  subject_->setEngineText(ToQString(found->text));
  return true;
}

int Workbench::Flags() const {
  return (ignoreCase_->isChecked() ? quarn::reIgnoreCase : 0) |
         (singleLine_->isChecked() ? quarn::reSingleLine : 0) |
         (multiline_->isChecked() ? quarn::reMultiline : 0);
}

QString Workbench::cppCall() const {
  return QString::fromStdString(quarn::demo::CppQuarnCall(ToEngine(subject_->engineText()),
                                                          ToEngine(pattern_->text()), Flags()));
}

void Workbench::CopyCpp() {
  QApplication::clipboard()->setText(cppCall());
}

void Workbench::InputChanged() {
  if (cancel_) cancel_->store(true);
  ++generation_;
  pending_ = true;
  cpp_->setText(cppCall());
  cpp_->setCursorPosition(0);
  pause_.start();
}

void Workbench::StartSearch() {
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  cancel_ = cancel;
  quarn::demo::BenchRequest request;
  request.pattern = ToEngine(pattern_->text());
  request.subject = ToEngine(subject_->engineText());
  request.flags = Flags();
  request.depthLimit = static_cast<uint32_t>(depthLimit_->value());
  for (const TestCase& test : testCases())
    request.caseSubjects.push_back(ToEngine(test.subject));

  auto* watcher = new QFutureWatcher<BenchOutcome>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation = generation_] {
    watcher->deleteLater();
    const BenchOutcome outcome = watcher->result();
    emit searchEnded(outcome.cancelled());
    if (generation == generation_ && !outcome.cancelled()) Show(outcome);
  });
  watcher->setFuture(QtConcurrent::run(&pool_, [request = std::move(request), cancel] {
    return quarn::demo::RunBench(request, cancel.get());
  }));
  status_->setText(tr("Searching..."));
  emit searchStarted();
}

void Workbench::Show(const BenchOutcome& outcome) {
  shown_ = outcome;
  pending_ = false;
  ShowError(outcome.error);
  ShowDepth(outcome);
  ShowMatches(outcome);
  Highlight();
  JudgeCases();
  emit resultsShown();
}

void Workbench::ShowError(const std::optional<quarn::Error>& error) {
  error_->setReport(error ? QString::fromStdString(error->report()) : QString());
  caret_->pointAt(error && error->position ? std::optional<int>(static_cast<int>(*error->position))
                                           : std::nullopt);
}

void Workbench::ShowDepth(const BenchOutcome& outcome) {
  const int limit = depthLimit_->value();
  const bool reached = outcome.deepest > static_cast<uint32_t>(limit);
  depth_->setRange(0, limit);
  depth_->setValue(static_cast<int>(std::min<uint32_t>(outcome.deepest, limit)));
  depth_->setFormat(reached ? tr("limit of %L1 reached").arg(limit)
                            : tr("%L1 of %L2").arg(outcome.deepest).arg(limit));
  // The bar turns amber near the limit and red at it.
  const bool near = outcome.deepest * 5 >= static_cast<uint64_t>(limit) * 4;
  SetInk(depth_,
         reached ? std::optional(quarn::demo::kRedHue)
         : near  ? std::optional(quarn::demo::kAmberHue)
                 : std::nullopt,
         QPalette::Highlight);
}

void Workbench::ShowMatches(const BenchOutcome& outcome) {
  const QString subject = subject_->engineText();
  const QPalette palette = this->palette();
  const auto text = [&](const quarn::Match::Span& span) {
    return quarn::demo::VisibleText(subject.mid(static_cast<qsizetype>(span.start),
                                                static_cast<qsizetype>(span.end - span.start)));
  };
  matches_->setUpdatesEnabled(false);
  matches_->clear();
  for (size_t i = 0; i < outcome.matches.size(); ++i) {
    const quarn::demo::MatchSpans& spans = outcome.matches[i];
    auto* match = new QTreeWidgetItem(matches_);
    match->setText(0, tr("Match %1").arg(i + 1));
    match->setIcon(0, Swatch(quarn::demo::GroupColour(palette, 0, static_cast<int>(i))));
    for (size_t n = 0; n < spans.size(); ++n) {
      QTreeWidgetItem* item = match;
      if (n > 0) {
        item = new QTreeWidgetItem(match);
        item->setText(0, tr("Group %1").arg(n));
        item->setIcon(
            0, Swatch(quarn::demo::GroupColour(palette, static_cast<int>(n), static_cast<int>(i))));
      }
      if (!spans[n]) {
        item->setText(3, tr("(unmatched)"));
        continue;
      }
      // Users count from 1, as the legacy calls do.
      item->setText(1, QString::number(spans[n]->start + 1));
      item->setText(2, QString::number(spans[n]->end - spans[n]->start));
      item->setText(3, text(*spans[n]));
    }
    match->setExpanded(i < 20);
  }
  for (int column = 0; column < 3; ++column)
    matches_->resizeColumnToContents(column);
  matches_->setUpdatesEnabled(true);

  const size_t count = outcome.matches.size();
  QString status = outcome.truncated ? tr("The first %L1 matches").arg(count)
                   : count == 1      ? tr("1 match")
                                     : tr("%L1 matches").arg(count);
  if (count == 0) status = outcome.error ? QString() : tr("No match");
  if (count > 0 && outcome.error) status += tr(", then the error above");
  status_->setText(status);
}

void Workbench::Highlight() {
  QList<QTextEdit::ExtraSelection> selections;
  const QPalette palette = this->palette();
  const auto add = [&](const quarn::Match::Span& span, const QColor& colour) {
    QTextEdit::ExtraSelection selection{QTextCursor(subject_->document()), {}};
    selection.cursor.setPosition(
        subject_->documentPosition(static_cast<qsizetype>(span.start), false));
    selection.cursor.setPosition(subject_->documentPosition(static_cast<qsizetype>(span.end), true),
                                 QTextCursor::KeepAnchor);
    selection.format.setBackground(colour);
    selection.format.setForeground(palette.color(QPalette::Text));
    selections << selection;
  };
  if (!pending_) {
    for (size_t i = 0; i < shown_.matches.size(); ++i) {
      const quarn::demo::MatchSpans& spans = shown_.matches[i];
      // Later selections paint over earlier ones, and inner groups have higher numbers.
      for (size_t n = 0; n < spans.size(); ++n) {
        if (spans[n] && spans[n]->end > spans[n]->start) {
          add(*spans[n],
              quarn::demo::GroupColour(palette, static_cast<int>(n), static_cast<int>(i)));
        }
      }
    }
  }
  subject_->setExtraSelections(selections);
}

QList<TestCase> Workbench::testCases() const {
  QList<TestCase> tests;
  for (int row = 0; row < cases_->rowCount(); ++row) {
    TestCase test;
    test.name = cases_->item(row, kName)->text();
    test.subject = cases_->item(row, kSubject)->data(kExactRole).toString();
    test.expectMatch = cases_->item(row, kExpect)->checkState() == Qt::Checked;
    const QTableWidgetItem* text = cases_->item(row, kText);
    if (text->checkState() == Qt::Checked) test.expectedText = text->data(kExactRole).toString();
    tests << test;
  }
  return tests;
}

void Workbench::JudgeCases() {
  const QSignalBlocker quiet(cases_);
  const QList<TestCase> tests = testCases();
  int passed = 0;
  for (int row = 0; row < cases_->rowCount(); ++row) {
    QTableWidgetItem* result = cases_->item(row, kResult);
    if (pending_ || static_cast<size_t>(row) >= shown_.cases.size()) {
      result->setText(QStringLiteral("..."));
      result->setData(Qt::ForegroundRole, {});
      continue;
    }
    const QString failure = quarn::demo::Failure(tests[row], shown_.cases[row]);
    passed += failure.isEmpty() ? 1 : 0;
    result->setText(failure.isEmpty() ? tr("pass")
                                      : tr("fail: %1").arg(quarn::demo::VisibleText(failure)));
    result->setForeground(quarn::demo::InkColour(
        palette(), failure.isEmpty() ? quarn::demo::kGreenHue : quarn::demo::kRedHue));
  }
  SetInk(casesSummary_, std::nullopt);
  casesSummary_->setText(
      pending_ || tests.isEmpty() ? QString() : tr("%1 of %2 pass").arg(passed).arg(tests.size()));
}

void Workbench::AddCaseRow(const TestCase& test) {
  const QSignalBlocker quiet(cases_);
  const int row = cases_->rowCount();
  cases_->insertRow(row);
  auto* name = new QTableWidgetItem(test.name);
  auto* subject = new QTableWidgetItem(quarn::demo::VisibleText(test.subject));
  subject->setData(kExactRole, test.subject);
  subject->setToolTip(tr("%1\n\nEnter loads this subject into the editor.")
                          .arg(quarn::demo::VisibleText(test.subject.left(500))));
  subject->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  auto* expect = new QTableWidgetItem(test.expectMatch ? tr("match") : tr("no match"));
  expect->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  expect->setCheckState(test.expectMatch ? Qt::Checked : Qt::Unchecked);
  const QString expected = test.expectedText.value_or(QString());
  auto* text = new QTableWidgetItem(quarn::demo::VisibleText(expected));
  text->setData(kExactRole, expected);
  text->setFlags(text->flags() | Qt::ItemIsUserCheckable);
  text->setCheckState(test.expectedText ? Qt::Checked : Qt::Unchecked);
  text->setToolTip(tr("Checked: the match text must be this"));
  auto* result = new QTableWidgetItem;
  result->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  for (auto [column, item] :
       {std::pair{kName, name}, std::pair{kSubject, subject}, std::pair{kExpect, expect},
        std::pair{kText, text}, std::pair{kResult, result}}) {
    cases_->setItem(row, column, item);
  }
  // A long subject is cut short; its cell's tooltip and the editor show it whole.
  for (const int column : {kName, kSubject, kExpect, kText})
    cases_->resizeColumnToContents(column);
  cases_->setColumnWidth(kSubject, std::min(cases_->columnWidth(kSubject), 160));
}

void Workbench::AddCase() {
  // The new case expects what the pattern does now, so that it guards that behaviour.
  TestCase test;
  test.name = tr("case %1").arg(cases_->rowCount() + 1);
  test.subject = subject_->engineText();
  if (!pending_ && !shown_.error) {
    test.expectMatch = !shown_.matches.empty();
    if (test.expectMatch) {
      const quarn::Match::Span& whole = *shown_.matches.front()[0];
      test.expectedText = test.subject.mid(static_cast<qsizetype>(whole.start),
                                           static_cast<qsizetype>(whole.end - whole.start));
    }
  }
  AddCaseRow(test);
  cases_->setCurrentCell(cases_->rowCount() - 1, kName);
  InputChanged();
  JudgeCases();
}

void Workbench::RemoveCase() {
  const int row = cases_->currentRow();
  if (row < 0) return;
  cases_->removeRow(row);
  InputChanged();
  JudgeCases();
}

void Workbench::CaseEdited(QTableWidgetItem* item) {
  const QSignalBlocker quiet(cases_);
  if (item->column() == kExpect) {
    item->setText(item->checkState() == Qt::Checked ? tr("match") : tr("no match"));
  } else if (item->column() == kText &&
             item->text() != quarn::demo::VisibleText(item->data(kExactRole).toString())) {
    item->setData(kExactRole, item->text());  // typed by the user: taken as it stands
  }
  JudgeCases();
}

void Workbench::CaseActivated(QTableWidgetItem* item) {
  if (item->column() != kSubject) return;
  subject_->setEngineText(item->data(kExactRole).toString());
  subject_->setFocus();
}

QString Workbench::loadCases(const QString& fileName) {
  QFile file(fileName);
  QString error;
  std::optional<quarn::demo::CaseFile> read;
  if (!file.open(QIODevice::ReadOnly)) {
    error = file.errorString();
  } else {
    read = quarn::demo::ReadCases(file.readAll(), &error);
  }
  if (!read) {
    error = tr("Cannot open %1: %2").arg(fileName, error);
    SetInk(casesSummary_, quarn::demo::kRedHue);
    casesSummary_->setText(error);
    return error;
  }
  pattern_->setText(read->pattern);
  ignoreCase_->setChecked(read->flags & quarn::reIgnoreCase);
  singleLine_->setChecked(read->flags & quarn::reSingleLine);
  multiline_->setChecked(read->flags & quarn::reMultiline);
  cases_->setRowCount(0);
  for (const TestCase& test : read->cases)
    AddCaseRow(test);
  InputChanged();
  JudgeCases();
  return {};
}

QString Workbench::saveCases(const QString& fileName) {
  QString error;
  const std::optional<QByteArray> text =
      quarn::demo::WriteCases({pattern_->text(), Flags(), testCases()}, &error);
  QSaveFile file(fileName);
  if (text &&
      (!file.open(QIODevice::WriteOnly) || file.write(*text) != text->size() || !file.commit())) {
    error = file.errorString();
  }
  if (!error.isEmpty()) {
    error = tr("Cannot save %1: %2").arg(fileName, error);
    SetInk(casesSummary_, quarn::demo::kRedHue);
    casesSummary_->setText(error);
  }
  return error;
}

void Workbench::OpenCasesDialog() {
  const QString name = QFileDialog::getOpenFileName(this, tr("Open test cases"), QString(),
                                                    tr("Test cases (*.jsonl);;All files (*)"));
  if (!name.isEmpty()) loadCases(name);
}

void Workbench::SaveCasesDialog() {
  const QString name = QFileDialog::getSaveFileName(this, tr("Save test cases"), QString(),
                                                    tr("Test cases (*.jsonl);;All files (*)"));
  if (!name.isEmpty()) saveCases(name);
}

void Workbench::DepthLimitChanged() {
  ShowDepthNote();
  InputChanged();
}

void Workbench::ShowDepthNote() {
  const bool changed = depthLimit_->value() != kHostDepth;
  depthNote_->setText(changed ? tr("for experiments only: hosts search with %L1").arg(kHostDepth)
                              : tr("as hosts get it"));
  SetInk(depthNote_, changed ? std::optional(quarn::demo::kAmberHue) : std::nullopt);
}

void Workbench::ApplyColours() {
  SetInk(error_, quarn::demo::kRedHue);
  SetInk(caret_, quarn::demo::kRedHue);
  ShowDepthNote();
  if (!pending_) {
    ShowDepth(shown_);
    ShowMatches(shown_);
  }
  Highlight();
  JudgeCases();
}

void Workbench::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) ApplyColours();
}
