// The workbench's controls and how they hang together. The engine is reached only through
// RunBench() on the window's own one-thread pool; everything shown is built on the UI thread
// from the outcome of the latest input.
#include "workbench.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBrowser>
#include <QTreeView>
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
#include "explainmodels.h"
#include "helpwindow.h"
#include "patternedit.h"
#include "resultmodels.h"
#include "subjectedit.h"

using quarn::demo::BenchOutcome;
using quarn::demo::EngineView;
using quarn::demo::TestCase;
using quarn::demo::ToQString;

namespace {

// Long enough to let a typed word finish, short enough to feel live.
constexpr int kPauseMs = 150;
constexpr int kHostDepth = static_cast<int>(quarn::Limits{}.depth);
constexpr int kMaxDepth = 10'000'000;
constexpr int kHostLength = static_cast<int>(quarn::Limits{}.subjectLength);
// Matches whose groups are listed open at once.
constexpr int kExpandedMatches = 20;
// Characters of each text that the C++ line shows; Copy copies them all.
constexpr size_t kShownLiteral = 200;
// An explanation of at most so many nodes opens whole; a larger one opens its first levels.
constexpr size_t kExpandedNodes = 400;

// The tabs of the results, in their order.
enum ResultTab { kMatchesTab, kReplaceTab, kSplitTab };

const QString kTitle = QStringLiteral("Quarn Pattern Workbench");

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

QLabel* Note(const char* name) {
  auto* note = new QLabel;
  note->setObjectName(QLatin1String(name));
  note->setWordWrap(true);
  return note;
}

QSpinBox* LimitBox(const char* name, const QString& accessibleName, int value, int maximum) {
  auto* box = new QSpinBox;
  box->setObjectName(QLatin1String(name));
  box->setAccessibleName(accessibleName);
  box->setRange(1, maximum);
  box->setValue(value);
  box->setSingleStep(1000);
  box->setGroupSeparatorShown(true);
  return box;
}

QTreeView* ListView(const char* name, const QString& accessibleName, QAbstractItemModel* model) {
  auto* view = new QTreeView;
  view->setObjectName(QLatin1String(name));
  view->setAccessibleName(accessibleName);
  view->setModel(model);
  view->setUniformRowHeights(true);
  view->setAlternatingRowColors(true);
  return view;
}

// Replaces edit's text as a step that its undo can take back.
void ReplaceText(QLineEdit* edit, const QString& text) {
  if (edit->text() == text) return;
  edit->selectAll();
  edit->insert(text);
  edit->setCursorPosition(0);
}

}  // namespace

Workbench::Workbench(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("Workbench"));
  ShowTitle();
  // One search at a time: a cancelled one ends quickly, and the next waits for it.
  pool_.setMaxThreadCount(1);
  pause_.setSingleShot(true);
  pause_.setInterval(kPauseMs);
  connect(&pause_, &QTimer::timeout, this, &Workbench::StartSearch);
  ask_ = [this](const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(QMessageBox::Question, kTitle, text, buttons, this);
    return static_cast<QMessageBox::StandardButton>(box.exec());
  };

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(CreateInputs());
  auto* results = new QSplitter(Qt::Vertical);
  results->addWidget(CreateResults());
  results->addWidget(CreateCases());
  results->setChildrenCollapsible(false);
  auto* split = new QSplitter(Qt::Horizontal);
  split->addWidget(CreateSubject());
  split->addWidget(results);
  split->setStretchFactor(0, 2);
  split->setStretchFactor(1, 3);
  split->setChildrenCollapsible(false);
  layout->addWidget(split, 1);
  setCentralWidget(central);
  CreateReference();
  CreateExplanation();
  CreateActions();

  // Tab goes down the inputs, then through the subject, the results and the explanation.
  QWidget* const order[] = {example_,
                            pattern_,
                            ignoreCase_,
                            singleLine_,
                            multiline_,
                            depthLimit_,
                            subjectLimit_,
                            cpp_,
                            findChild<QPushButton*>(QStringLiteral("CopyCpp")),
                            subject_,
                            static_cast<QWidget*>(results_),
                            static_cast<QWidget*>(matches_),
                            cases_,
                            findChild<QPushButton*>(QStringLiteral("AddCase")),
                            findChild<QPushButton*>(QStringLiteral("RemoveCase")),
                            findChild<QPushButton*>(QStringLiteral("OpenCases")),
                            findChild<QPushButton*>(QStringLiteral("SaveCases")),
                            explainTree_,
                            diagnostics_};
  for (size_t i = 1; i < std::size(order); ++i)
    setTabOrder(order[i - 1], order[i]);
  ApplyColours();
  loadExample(ToQString(quarn::demo::kExamples[1].caption));
  pattern_->setFocus();
  resize(1280, 760);
  resizeDocks({explanation_}, {500}, Qt::Horizontal);
}

Workbench::~Workbench() {
  if (cancel_) cancel_->store(true);
  pool_.waitForDone();
}

void Workbench::CreateActions() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("&Open test cases..."), QKeySequence(QKeySequence::Open), this,
                  &Workbench::OpenCasesDialog);
  file->addAction(tr("&Save test cases"), QKeySequence(QKeySequence::Save), this,
                  &Workbench::SaveCases);
  file->addAction(tr("Save test cases &as..."), QKeySequence(QKeySequence::SaveAs), this,
                  &Workbench::SaveCasesDialog);
  file->addSeparator();
  file->addAction(tr("&Copy as C++"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), this,
                  &Workbench::CopyCpp);
  file->addAction(tr("&Add test case"), QKeySequence(Qt::CTRL | Qt::Key_T), this,
                  &Workbench::AddCase);
  file->addSeparator();
  file->addAction(tr("C&lose"), QKeySequence(QKeySequence::Close), this, &QWidget::close);

  QMenu* view = menuBar()->addMenu(tr("&View"));
  QAction* explanation = explanation_->toggleViewAction();
  explanation->setText(tr("&Explanation and diagnostics"));
  explanation->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
  view->addAction(explanation);

  QMenu* help = menuBar()->addMenu(tr("&Help"));
  QAction* reference = reference_->toggleViewAction();
  reference->setText(tr("&Quick reference"));
  reference->setShortcut(QKeySequence(Qt::Key_F1));
  help->addAction(reference);
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
  errorHint_ = new ErrorText;
  errorHint_->setObjectName(QStringLiteral("ErrorHint"));
  errorHint_->setAccessibleName(tr("What the error means"));
  auto* patternColumn = new QVBoxLayout;
  patternColumn->setSpacing(0);
  patternColumn->addWidget(pattern_);
  patternColumn->addWidget(caret_);
  patternColumn->addWidget(error_);
  patternColumn->addWidget(errorHint_);
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

  // The bar shows how much of the limit the search used; the text beside it says how much,
  // whole at any width and in any style.
  depth_ = new QProgressBar;
  depth_->setObjectName(QStringLiteral("Depth"));
  depth_->setAccessibleName(tr("Depth used"));
  depth_->setTextVisible(false);
  depth_->setMinimumWidth(60);
  depthText_ = new QLabel;
  depthText_->setObjectName(QStringLiteral("DepthText"));
  depthLimit_ = LimitBox("DepthLimit", tr("Depth limit"), kHostDepth, kMaxDepth);
  depthNote_ = Note("DepthNote");
  subjectLimit_ =
      LimitBox("SubjectLimit", tr("Longest subject"), kHostLength, std::numeric_limits<int>::max());
  subjectNote_ = Note("SubjectNote");
  for (QSpinBox* box : {depthLimit_, subjectLimit_})
    connect(box, &QSpinBox::valueChanged, this, &Workbench::LimitChanged);
  // The two rows line up: their labels and fields take the width of the wider one.
  auto* depthLabel = new QLabel(tr("Max &depth:"));
  auto* lengthLabel = new QLabel(tr("Max le&ngth:"));
  const int labelWidth = std::max(depthLabel->sizeHint().width(), lengthLabel->sizeHint().width());
  const int boxWidth = std::max(depthLimit_->sizeHint().width(), subjectLimit_->sizeHint().width());
  const auto limitRow = [&](QWidget* shown, QLabel* label, QSpinBox* box, QLabel* note) {
    label->setBuddy(box);
    label->setMinimumWidth(labelWidth);
    box->setMinimumWidth(boxWidth);
    auto* row = new QHBoxLayout;
    row->addWidget(shown, 1);
    row->addWidget(label);
    row->addWidget(box);
    row->addWidget(note, 1);
    return row;
  };
  auto* depthShown = new QWidget;
  auto* depthLayout = new QHBoxLayout(depthShown);
  depthLayout->setContentsMargins(0, 0, 0, 0);
  depthLayout->addWidget(depth_, 1);
  depthLayout->addWidget(depthText_);
  form->addRow(tr("Depth:"), limitRow(depthShown, depthLabel, depthLimit_, depthNote_));
  subjectLength_ = new QLabel;
  subjectLength_->setObjectName(QStringLiteral("SubjectLength"));
  form->addRow(tr("Length:"), limitRow(subjectLength_, lengthLabel, subjectLimit_, subjectNote_));

  cpp_ = new QLineEdit;
  cpp_->setObjectName(QStringLiteral("Cpp"));
  cpp_->setAccessibleName(tr("C++ call"));
  cpp_->setReadOnly(true);
  cpp_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* copy = new QPushButton(tr("&Copy"));
  copy->setObjectName(QStringLiteral("CopyCpp"));
  copy->setToolTip(tr("Copy the whole call to the clipboard (Ctrl+Shift+C)"));
  connect(copy, &QPushButton::clicked, this, &Workbench::CopyCpp);
  auto* cppRow = new QHBoxLayout;
  cppRow->addWidget(cpp_, 1);
  cppRow->addWidget(copy);
  form->addRow(tr("C++:"), cppRow);
  return inputs;
}

QWidget* Workbench::CreateSubject() {
  subject_ = new SubjectEdit;
  subject_->setObjectName(QStringLiteral("Subject"));
  subject_->setAccessibleName(tr("Subject"));
  subject_->setAccessibleDescription(tr("Each line break is CR LF; Shift+Enter types a lone LF"));
  subject_->setToolTip(subject_->accessibleDescription());
  // Wide enough for a phrase of a subject at the window's smallest.
  subject_->setMinimumWidth(subject_->fontMetrics().averageCharWidth() * 28);
  connect(subject_, &QPlainTextEdit::textChanged, this, &Workbench::SubjectChanged);
  connect(subject_, &SubjectEdit::visibleRangeChanged, this, &Workbench::Highlight);
  connect(subject_, &SubjectEdit::loneLineFeedsPasted, this, &Workbench::OfferLineFeeds);

  lineFeedOffer_ = new QWidget;
  lineFeedOffer_->setObjectName(QStringLiteral("LineFeedOffer"));
  lineFeedText_ = Note("LineFeedText");
  auto* asCrLf = new QPushButton(tr("Read as CR LF"));
  asCrLf->setObjectName(QStringLiteral("ReadAsCrLf"));
  connect(asCrLf, &QPushButton::clicked, this, [this] {
    subject_->readLineFeedsAsCrLf(lineFeeds_.first, lineFeeds_.second);
    subject_->setFocus();
  });
  auto* keep = new QPushButton(tr("Keep"));
  keep->setObjectName(QStringLiteral("KeepLineFeeds"));
  connect(keep, &QPushButton::clicked, lineFeedOffer_, &QWidget::hide);
  auto* offer = new QHBoxLayout(lineFeedOffer_);
  offer->setContentsMargins(0, 0, 0, 0);
  offer->addWidget(lineFeedText_, 1);
  offer->addWidget(asCrLf);
  offer->addWidget(keep);
  lineFeedOffer_->hide();

  auto* column = new QWidget;
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(lineFeedOffer_);
  layout->addWidget(subject_, 1);
  return Group(tr("S&ubject"), column);
}

QWidget* Workbench::CreateResults() {
  results_ = new QTabWidget;
  results_->setObjectName(QStringLiteral("Results"));
  results_->tabBar()->setObjectName(QStringLiteral("ResultTabs"));

  matchModel_ = new MatchModel(this);
  matches_ = ListView("Matches", tr("Matches"), matchModel_);
  connect(matches_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &Workbench::SelectInSubject);
  status_ = Note("Status");
  auto* matchesTab = new QWidget;
  auto* matchesLayout = new QVBoxLayout(matchesTab);
  matchesLayout->addWidget(matches_, 1);
  matchesLayout->addWidget(status_);
  results_->addTab(matchesTab, tr("Matc&hes"));
  results_->addTab(CreateReplace(), tr("&Replace"));
  results_->addTab(CreateSplit(), tr("Sp&lit"));
  connect(results_, &QTabWidget::currentChanged, this, &Workbench::PreviewWanted);
  return results_;
}

QWidget* Workbench::CreateReplace() {
  replacement_ = new QLineEdit;
  replacement_->setObjectName(QStringLiteral("Replacement"));
  replacement_->setAccessibleName(tr("Replacement"));
  replacement_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  replacement_->setText(QStringLiteral("<$0>"));
  connect(replacement_, &QLineEdit::textChanged, this, &Workbench::InputChanged);
  auto* syntax = new QLabel(
      tr("<code>$0</code> the whole match &middot; <code>$1</code> to <code>$9</code> a group "
         "(empty when it took no part) &middot; <code>$$</code> a dollar sign &middot; any other "
         "<code>$</code> stands for itself"));
  syntax->setObjectName(QStringLiteral("ReplaceSyntax"));
  syntax->setWordWrap(true);
  replaceStatus_ = Note("ReplaceStatus");
  replacePreview_ = new SubjectEdit;
  replacePreview_->setObjectName(QStringLiteral("ReplacePreview"));
  replacePreview_->setAccessibleName(tr("The subject with every match replaced"));
  replacePreview_->setReadOnly(true);
  replacePreview_->setUndoRedoEnabled(false);

  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  auto* row = new QHBoxLayout;
  auto* label = new QLabel(tr("Replace &with:"));
  label->setBuddy(replacement_);
  row->addWidget(label);
  row->addWidget(replacement_, 1);
  layout->addLayout(row);
  layout->addWidget(syntax);
  layout->addWidget(replacePreview_, 1);
  layout->addWidget(replaceStatus_);
  return tab;
}

QWidget* Workbench::CreateSplit() {
  piecesModel_ = new PiecesModel(this);
  pieces_ = ListView("Pieces", tr("Pieces"), piecesModel_);
  pieces_->setRootIsDecorated(false);
  splitStatus_ = Note("SplitStatus");
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  auto* about =
      new QLabel(tr("The subject cut at every match; the matches themselves are left out."));
  about->setWordWrap(true);
  layout->addWidget(about);
  layout->addWidget(pieces_, 1);
  layout->addWidget(splitStatus_);
  return tab;
}

void Workbench::CreateReference() {
  auto* browser = new QTextBrowser;
  browser->setObjectName(QStringLiteral("ReferenceText"));
  browser->setOpenLinks(false);
  browser->setHtml(ReferenceHtml());
  reference_ = new QDockWidget(tr("Quick reference"), this);
  reference_->setObjectName(QStringLiteral("QuickReference"));
  reference_->setWidget(browser);
  reference_->hide();
  addDockWidget(Qt::RightDockWidgetArea, reference_);
  auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), reference_);
  close->setContext(Qt::WidgetWithChildrenShortcut);
  connect(close, &QShortcut::activated, reference_, &QWidget::close);
}

void Workbench::CreateExplanation() {
  explainModel_ = new ExplainModel(this);
  explainTree_ = ListView("Explanation", tr("How the engine reads the pattern"), explainModel_);
  // Deep trees keep room for the meanings.
  explainTree_->setIndentation(explainTree_->fontMetrics().averageCharWidth() * 2);
  connect(explainTree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& index) {
            if (index.isValid()) SelectInPattern(explainModel_->patternSpan(index));
          });
  diagnosticModel_ = new DiagnosticModel(this);
  diagnostics_ = ListView("Diagnostics", tr("Faults and warnings"), diagnosticModel_);
  diagnostics_->setRootIsDecorated(false);
  diagnostics_->setWordWrap(true);
  diagnostics_->setUniformRowHeights(false);
  connect(diagnostics_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& index) {
            if (index.isValid()) SelectInPattern(diagnosticModel_->patternSpan(index));
          });
  diagnosticSummary_ = Note("DiagnosticSummary");

  auto* faults = new QWidget;
  auto* faultsLayout = new QVBoxLayout(faults);
  faultsLayout->setContentsMargins(0, 0, 0, 0);
  faultsLayout->addWidget(diagnosticSummary_);
  faultsLayout->addWidget(diagnostics_, 1);
  auto* split = new QSplitter(Qt::Vertical);
  split->addWidget(explainTree_);
  split->addWidget(faults);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  split->setChildrenCollapsible(false);

  explanation_ = new QDockWidget(tr("Explanation"), this);
  explanation_->setObjectName(QStringLiteral("ExplanationPanel"));
  explanation_->setWidget(split);
  addDockWidget(Qt::RightDockWidgetArea, explanation_);
}

bool Workbench::loadExample(const QString& caption) {
  const auto& examples = quarn::demo::kExamples;
  const auto found = std::find_if(examples.begin() + 1, examples.end(),
                                  [&](const auto& e) { return ToQString(e.caption) == caption; });
  if (found == examples.end()) return false;
  // The demo window runs its examples without options.
  setFlags(0);
  setPattern(ToQString(found->pattern));
  setSubject(ToQString(found->text));
  return true;
}

void Workbench::setPattern(const QString& pattern) {
  ReplaceText(pattern_, pattern);
}

void Workbench::setSubject(const QString& subject, bool offerLineFeeds) {
  if (subject_->engineText() != subject) subject_->setEngineText(subject);
  const int lone = offerLineFeeds ? SubjectEdit::loneLineFeeds(subject) : 0;
  if (lone > 0) OfferLineFeeds(lone, 0, subject.size());
}

void Workbench::setFlags(int32_t flags) {
  ignoreCase_->setChecked(flags & quarn::reIgnoreCase);
  singleLine_->setChecked(flags & quarn::reSingleLine);
  multiline_->setChecked(flags & quarn::reMultiline);
}

void Workbench::setReplacement(const QString& replacement) {
  ReplaceText(replacement_, replacement);
  results_->setCurrentIndex(kReplaceTab);
}

int Workbench::Flags() const {
  return (ignoreCase_->isChecked() ? quarn::reIgnoreCase : 0) |
         (singleLine_->isChecked() ? quarn::reSingleLine : 0) |
         (multiline_->isChecked() ? quarn::reMultiline : 0);
}

QString Workbench::cppCall() const {
  return QString::fromStdString(quarn::demo::CppQuarnCall(EngineView(subject_->engineText()),
                                                          EngineView(pattern_->text()), Flags()));
}

void Workbench::CopyCpp() {
  QApplication::clipboard()->setText(cppCall());
}

void Workbench::ShowCpp() {
  cpp_->setText(QString::fromStdString(quarn::demo::CppQuarnCallAbridged(
      EngineView(subject_->engineText()), EngineView(pattern_->text()), Flags(), kShownLiteral)));
  cpp_->setCursorPosition(0);
}

// The example box names an example only while the inputs are that example's.
void Workbench::ShowExampleCaption() {
  const QString subject = subject_->engineText();
  const QString pattern = pattern_->text();
  const auto& examples = quarn::demo::kExamples;
  const auto found = std::find_if(examples.begin() + 1, examples.end(), [&](const auto& e) {
    return Flags() == 0 && ToQString(e.pattern) == pattern && ToQString(e.text) == subject;
  });
  example_->setCurrentIndex(found == examples.end() ? 0
                                                    : static_cast<int>(found - examples.begin()));
}

void Workbench::SubjectChanged() {
  lineFeedOffer_->hide();
  const qsizetype length = subject_->engineText().size();
  subjectLength_->setText(length == 1 ? tr("1 character in the subject")
                                      : tr("%L1 characters in the subject").arg(length));
  InputChanged();
}

void Workbench::InputChanged() {
  if (cancel_) cancel_->store(true);
  ++generation_;
  pending_ = true;
  ShowExampleCaption();
  ShowCpp();
  // What is shown belongs to the input before: it goes, and comes back for the new one.
  shown_.reset();
  shownSubject_.clear();
  // A new pattern is read at once, so that its faults show before any search.
  if (!analysed_ || analysed_->pattern() != EngineView(pattern_->text()) ||
      analysed_->flags() != Flags()) {
    Analyse();
    ShowError();
  }
  ShowMatches();
  ShowPreviews();
  Highlight();
  JudgeCases();
  CasesChanged();
  status_->setText(tr("Searching..."));
  pause_.start();
}

void Workbench::StartSearch() {
  if (cancel_) cancel_->store(true);
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  cancel_ = cancel;
  const QString subject = subject_->engineText();
  quarn::demo::BenchRequest request;
  request.pattern = pattern_->text().toStdU16String();
  request.subject = subject.toStdU16String();
  request.flags = Flags();
  request.depthLimit = static_cast<uint32_t>(depthLimit_->value());
  request.subjectLimit = static_cast<uint64_t>(subjectLimit_->value());
  if (results_->currentIndex() == kReplaceTab)
    request.replacement = replacement_->text().toStdU16String();
  request.split = results_->currentIndex() == kSplitTab;
  for (const TestCase& test : testCases())
    request.caseSubjects.push_back(test.subject.toStdU16String());

  auto* watcher = new QFutureWatcher<BenchOutcome>(this);
  connect(watcher, &QFutureWatcherBase::finished, this,
          [this, watcher, subject, limit = request.subjectLimit, generation = generation_] {
            watcher->deleteLater();
            auto outcome = std::make_shared<const BenchOutcome>(watcher->result());
            emit searchEnded(outcome->cancelled());
            if (generation == generation_ && !outcome->cancelled()) Show(outcome, subject, limit);
          });
  watcher->setFuture(QtConcurrent::run(&pool_, [request = std::move(request), cancel] {
    return quarn::demo::RunBench(request, cancel.get());
  }));
  emit searchStarted();
}

// A preview tab came to the front: its preview is made if the outcome shown has none.
void Workbench::PreviewWanted() {
  if (pending_ || !shown_) return;
  const int tab = results_->currentIndex();
  if ((tab == kReplaceTab && !shown_->replaced) || (tab == kSplitTab && !shown_->split))
    StartSearch();
}

void Workbench::Show(const std::shared_ptr<const BenchOutcome>& outcome, const QString& subject,
                     uint64_t subjectLimit) {
  shown_ = outcome;
  shownSubject_ = subject;
  shownLimit_ = subjectLimit;
  pending_ = false;
  ShowError();
  ShowDepth();
  ShowMatches();
  ShowPreviews();
  Highlight();
  JudgeCases();
  emit resultsShown();
}

void Workbench::Analyse() {
  analysed_ = std::make_shared<const quarn::Pattern>(EngineView(pattern_->text()), Flags());
  explainModel_->show(analysed_);
  diagnosticModel_->show(analysed_);
  diagnosticSummary_->setText(diagnosticModel_->summary());
  if (explainModel_->nodeCount() <= kExpandedNodes)
    explainTree_->expandAll();
  else
    explainTree_->expandToDepth(1);
  for (int column = 0; column < ExplainModel::kDescription; ++column)
    explainTree_->resizeColumnToContents(column);
  for (int column = 0; column < DiagnosticModel::kMessage; ++column)
    diagnostics_->resizeColumnToContents(column);
}

// The error a search reported; failing that, the pattern's first fault as the analysis found
// it, which shows from the moment the pattern is typed.
void Workbench::ShowError() {
  const quarn::Error* searched = shown_ && shown_->error ? &*shown_->error : nullptr;
  const quarn::Error* fault = FirstFault(*analysed_);
  const quarn::Error* error = searched != nullptr ? searched : fault;
  error_->setReport(error != nullptr ? QString::fromStdString(error->report()) : QString());
  caret_->pointAt(error != nullptr && error->position
                      ? std::optional<int>(static_cast<int>(*error->position))
                      : std::nullopt);
  QString hint;
  if (shown_ && searched == nullptr && fault != nullptr)
    hint = tr("No search of this subject reached it; a search that does reports this error.");
  const auto length = static_cast<size_t>(shownSubject_.size());
  if (searched != nullptr && searched->kind == quarn::ErrorKind::kSubjectLength) {
    const QString limit = shownLimit_ == static_cast<uint64_t>(kHostLength)
                              ? tr("hosts search at most %L1").arg(kHostLength)
                              : tr("the limit is %L1").arg(shownLimit_);
    hint = length > shownLimit_
               ? tr("The subject is %L1 characters; %2: raise the limit to search it.")
                     .arg(length)
                     .arg(limit)
               : tr("The subject is %L1 characters, and a search that finds nothing in so many "
                    "overflows where hosts search: raise the limit to search it to its end.")
                     .arg(length);
  }
  errorHint_->setReport(hint);
}

void Workbench::ShowDepth() {
  const int limit = depthLimit_->value();
  const uint32_t deepest = shown_ ? shown_->deepest : 0;
  const bool reached = deepest > static_cast<uint32_t>(limit);
  depth_->setRange(0, limit);
  depth_->setValue(static_cast<int>(std::min<uint32_t>(deepest, limit)));
  depthText_->setText(reached ? tr("limit of %L1 reached").arg(limit)
                              : tr("%L1 of %L2").arg(deepest).arg(limit));
  depth_->setAccessibleDescription(depthText_->text());
  // The bar turns amber near the limit and red at it.
  const bool near = deepest * 5 >= static_cast<uint64_t>(limit) * 4;
  SetInk(depth_,
         reached ? std::optional(quarn::demo::kRedHue)
         : near  ? std::optional(quarn::demo::kAmberHue)
                 : std::nullopt,
         QPalette::Highlight);
}

void Workbench::ShowMatches() {
  matchModel_->show(shown_, shownSubject_, palette());
  if (!shown_) return;
  const size_t count = shown_->matches.size();
  if (shown_->matches.groupCount() > 0) {
    for (size_t i = 0; i < std::min<size_t>(count, kExpandedMatches); ++i)
      matches_->expand(matchModel_->matchIndex(i));
  }
  for (int column = 0; column < MatchModel::kText; ++column)
    matches_->resizeColumnToContents(column);

  QString status = count == 1 ? tr("1 match") : tr("%L1 matches").arg(count);
  if (count == 0) status = shown_->error ? QString() : tr("No match");
  if (count > 0 && shown_->error) status += tr(", then the error above");
  status_->setText(status);
}

void Workbench::ShowPreviews() {
  const auto stopped = [](const std::optional<quarn::Error>& error) {
    return error ? tr(", then the error above") : QString();
  };
  if (shown_ && shown_->replaced) {
    const quarn::Replaced& replaced = *shown_->replaced;
    replacePreview_->setEngineText(ToQString(replaced.text));
    replaceStatus_->setText(
        (replaced.count == 1 ? tr("1 replacement") : tr("%L1 replacements").arg(replaced.count)) +
        stopped(replaced.error));
  } else {
    replacePreview_->setEngineText({});
    replaceStatus_->setText(pending_ ? tr("Searching...") : QString());
  }
  piecesModel_->show(shown_);
  if (shown_ && shown_->split) {
    const size_t count = shown_->split->pieces.size();
    splitStatus_->setText((count == 1 ? tr("1 piece") : tr("%L1 pieces").arg(count)) +
                          stopped(shown_->split->error));
  } else {
    splitStatus_->setText(pending_ ? tr("Searching...") : QString());
  }
}

// Only what is in view is highlighted, so that the cost does not grow with the subject.
void Workbench::Highlight() {
  QList<SubjectEdit::Mark> marks;
  if (!pending_ && shown_) {
    const quarn::demo::MatchList& matches = shown_->matches;
    const QPalette palette = this->palette();
    const auto [from, to] = subject_->visibleRange();
    for (size_t i = matches.firstEndingFrom(static_cast<size_t>(from)); i < matches.size(); ++i) {
      const quarn::Match::Span whole = *matches.span(i, 0);
      if (whole.start > static_cast<size_t>(to)) break;
      const int match = static_cast<int>(i % 2);
      // An empty match is a bar; later marks paint over earlier ones, and inner groups have
      // higher numbers.
      if (whole.start == whole.end) {
        marks << SubjectEdit::Mark{static_cast<qsizetype>(whole.start),
                                   static_cast<qsizetype>(whole.end),
                                   quarn::demo::GroupColour(palette, 0, match)};
        continue;
      }
      for (int n = 0; n <= matches.groupCount(); ++n) {
        const std::optional<quarn::Match::Span> span = matches.span(i, n);
        if (!span || span->end == span->start) continue;
        marks << SubjectEdit::Mark{static_cast<qsizetype>(span->start),
                                   static_cast<qsizetype>(span->end),
                                   quarn::demo::GroupColour(palette, n, match)};
      }
    }
  }
  if (marks != subject_->marks()) subject_->setMarks(marks);
}

void Workbench::SelectInPattern(PatternSpan span) {
  if (span.end > span.start) {
    pattern_->setSelection(span.start, span.end - span.start);
  } else {
    pattern_->deselect();
    pattern_->setCursorPosition(span.start);
  }
}

void Workbench::SelectInSubject(const QModelIndex& index) {
  if (!index.isValid() || !shown_) return;
  const int group = index.internalId() == 0 ? 0 : index.row() + 1;
  const std::optional<quarn::Match::Span> span =
      shown_->matches.span(MatchModel::matchOf(index), group);
  if (!span) return;
  QTextCursor cursor(subject_->document());
  cursor.setPosition(subject_->documentPosition(static_cast<qsizetype>(span->start), false));
  cursor.setPosition(subject_->documentPosition(static_cast<qsizetype>(span->end), true),
                     QTextCursor::KeepAnchor);
  subject_->setTextCursor(cursor);
  subject_->ensureCursorVisible();
}

void Workbench::OfferLineFeeds(int count, qsizetype from, qsizetype to) {
  lineFeeds_ = {from, to};
  lineFeedText_->setText(
      tr("%n lone LF came with this text, and the engine takes only CR LF as a line break.", "",
         count));
  lineFeedOffer_->show();
}

void Workbench::LimitChanged() {
  ShowLimitNotes();
  InputChanged();
}

void Workbench::ShowLimitNotes() {
  const bool depthChanged = depthLimit_->value() != kHostDepth;
  depthNote_->setText(depthChanged
                          ? tr("for experiments only: hosts search with %L1").arg(kHostDepth)
                          : tr("as hosts get it"));
  SetInk(depthNote_, depthChanged ? std::optional(quarn::demo::kAmberHue) : std::nullopt);
  const bool lengthChanged = subjectLimit_->value() != kHostLength;
  subjectNote_->setText(lengthChanged
                            ? tr("for experiments only: hosts search at most %L1").arg(kHostLength)
                            : tr("as hosts get it"));
  SetInk(subjectNote_, lengthChanged ? std::optional(quarn::demo::kAmberHue) : std::nullopt);
}

void Workbench::ApplyColours() {
  SetInk(error_, quarn::demo::kRedHue);
  SetInk(errorHint_, quarn::demo::kRedHue);
  SetInk(caret_, quarn::demo::kRedHue);
  ShowLimitNotes();
  if (shown_) ShowDepth();
  ShowMatches();
  Highlight();
  JudgeCases();
}

void Workbench::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) ApplyColours();
}
