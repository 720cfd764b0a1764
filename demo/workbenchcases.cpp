// The workbench's test cases: the table, its verdicts, and the case files, kept from loss.
// What the user would lose is the cases and the pattern and options they are saved with: the
// title marks them as changed while they differ from what was last loaded or saved (cases
// there must be, or a file), and opening a file over them or closing the window asks first.
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <tuple>
#include <utility>

#include "colours.h"
#include "patternedit.h"
#include "subjectedit.h"
#include "visibletext.h"
#include "workbench.h"

using quarn::demo::CaseFile;
using quarn::demo::TestCase;

namespace {

enum CaseColumn { kName, kSubject, kExpect, kText, kResult, kColumns };
constexpr int kExactRole = Qt::UserRole;  // the text behind a shown one

const QString kSuffix = QStringLiteral("jsonl");
const QString kFilter = QStringLiteral("Test cases (*.jsonl);;All files (*)");

// Gives widget the ink of hue, or the inherited colour when there is none.
void SetInk(QWidget* widget, std::optional<int> hue) {
  QPalette own;
  if (hue)
    own.setColor(QPalette::WindowText, quarn::demo::InkColour(widget->window()->palette(), *hue));
  widget->setPalette(own);
}

// fileName as it is saved: one without a suffix gets the suffix that Open lists.
QString WithSuffix(const QString& fileName) {
  return QFileInfo(fileName).suffix().isEmpty() ? fileName + u'.' + kSuffix : fileName;
}

}  // namespace
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

  auto* buttons = new QHBoxLayout;
  for (auto [caption, name, slot] :
       {std::tuple{tr("&Add case"), "AddCase", &Workbench::AddCase},
        std::tuple{tr("&Remove case"), "RemoveCase", &Workbench::RemoveCase},
        std::tuple{tr("&Open..."), "OpenCases", &Workbench::OpenCasesDialog}}) {
    auto* button = new QPushButton(caption);
    button->setObjectName(QLatin1String(name));
    connect(button, &QPushButton::clicked, this, slot);
    buttons->addWidget(button);
  }
  auto* save = new QPushButton(tr("&Save"));
  save->setObjectName(QStringLiteral("SaveCases"));
  connect(save, &QPushButton::clicked, this, &Workbench::SaveCases);
  buttons->addWidget(save);
  buttons->addStretch();
  casesSummary_ = new QLabel;
  casesSummary_->setObjectName(QStringLiteral("CasesSummary"));
  casesSummary_->setWordWrap(true);
  buttons->addWidget(casesSummary_, 1);

  auto* group = new QGroupBox(tr("&Test cases"));
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(cases_);
  layout->addLayout(buttons);
  return group;
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
    if (pending_ || !shown_ || static_cast<size_t>(row) >= shown_->cases.size()) {
      result->setText(QStringLiteral("..."));
      result->setData(Qt::ForegroundRole, {});
      continue;
    }
    const QString failure = quarn::demo::Failure(tests[row], shown_->cases[row]);
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
  if (!pending_ && shown_ && !shown_->error) {
    test.expectMatch = !shown_->matches.empty();
    if (test.expectMatch) {
      const quarn::Match::Span whole = *shown_->matches.span(0, 0);
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
  CasesChanged();
}

void Workbench::CaseActivated(QTableWidgetItem* item) {
  if (item->column() != kSubject) return;
  subject_->setEngineText(item->data(kExactRole).toString());
  subject_->setFocus();
}

QString Workbench::loadCases(const QString& fileName) {
  QFile file(fileName);
  QString error;
  std::optional<CaseFile> read;
  if (!file.open(QIODevice::ReadOnly)) {
    error = file.errorString();
  } else {
    read = quarn::demo::ReadCases(file.readAll(), &error);
  }
  if (!read) {
    error = tr("Cannot open %1: %2").arg(fileName, error);
  } else if (!MayReplace(fileName, *read)) {
    error = tr("%1 not opened: the pattern and the cases stay").arg(fileName);
  }
  if (!error.isEmpty()) {
    SetInk(casesSummary_, quarn::demo::kRedHue);
    casesSummary_->setText(error);
    return error;
  }
  cases_->setRowCount(0);
  for (const TestCase& test : read->cases)
    AddCaseRow(test);
  saved_ = *read;
  casesFile_ = fileName;
  setFlags(read->flags);
  setPattern(read->pattern);
  InputChanged();
  ShowTitle();
  return {};
}

// Asks before the file's pattern replaces one that is there, or its cases replace cases not
// saved.
bool Workbench::MayReplace(const QString& fileName, const CaseFile& file) {
  QStringList losses;
  const QString pattern = pattern_->text();
  if (!pattern.isEmpty() && (pattern != file.pattern || Flags() != file.flags)) {
    losses << tr("its pattern \u201C%1\u201D (and options) replace \u201C%2\u201D")
                  .arg(quarn::demo::VisibleText(file.pattern), quarn::demo::VisibleText(pattern));
  }
  if (isWindowModified()) losses << tr("the changes to the test cases are lost");
  if (losses.isEmpty()) return true;
  const QString question =
      tr("Open %1? Then %2.").arg(QFileInfo(fileName).fileName(), losses.join(tr(", and ")));
  return ask_(question, QMessageBox::Open | QMessageBox::Cancel) == QMessageBox::Open;
}

QString Workbench::saveCases(const QString& fileName) {
  const QString name = WithSuffix(fileName);
  const CaseFile current = CurrentCases();
  QString error;
  const std::optional<QByteArray> text = quarn::demo::WriteCases(current, &error);
  QSaveFile file(name);
  if (text &&
      (!file.open(QIODevice::WriteOnly) || file.write(*text) != text->size() || !file.commit())) {
    error = file.errorString();
  }
  if (!error.isEmpty()) {
    error = tr("Cannot save %1: %2").arg(name, error);
    SetInk(casesSummary_, quarn::demo::kRedHue);
    casesSummary_->setText(error);
    return error;
  }
  saved_ = current;
  casesFile_ = name;
  CasesChanged();
  ShowTitle();
  return {};
}

void Workbench::OpenCasesDialog() {
  const QString name =
      QFileDialog::getOpenFileName(this, tr("Open test cases"), casesFile_, kFilter);
  if (!name.isEmpty()) loadCases(name);
}

bool Workbench::SaveCases() {
  return casesFile_.isEmpty() ? SaveCasesDialog() : saveCases(casesFile_).isEmpty();
}

bool Workbench::SaveCasesDialog() {
  QFileDialog dialog(this, tr("Save test cases"), casesFile_, kFilter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  // The dialog adds the suffix before it asks about replacing a file of that name.
  dialog.setDefaultSuffix(kSuffix);
  return dialog.exec() == QDialog::Accepted && saveCases(dialog.selectedFiles().value(0)).isEmpty();
}

CaseFile Workbench::CurrentCases() const {
  return {pattern_->text(), Flags(), testCases()};
}

void Workbench::CasesChanged() {
  const CaseFile current = CurrentCases();
  const bool kept = current.cases.isEmpty() && casesFile_.isEmpty();
  setWindowModified(!kept && (current.cases != saved_.cases || current.pattern != saved_.pattern ||
                              current.flags != saved_.flags));
}

void Workbench::ShowTitle() {
  setWindowTitle(casesFile_.isEmpty()
                     ? tr("Quarn Pattern Workbench[*]")
                     : tr("%1[*] - Quarn Pattern Workbench").arg(QFileInfo(casesFile_).fileName()));
}

void Workbench::setQuestion(Question ask) {
  ask_ = std::move(ask);
}

void Workbench::closeEvent(QCloseEvent* event) {
  if (isWindowModified()) {
    const QMessageBox::StandardButton answer =
        ask_(tr("Save the changes to the test cases before closing?"),
             QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !SaveCases())) {
      event->ignore();
      return;
    }
  }
  QMainWindow::closeEvent(event);
}

void Workbench::offerToSave() {
  if (!isWindowModified()) return;
  const QMessageBox::StandardButton answer =
      ask_(tr("The program ends. Save the changes to the test cases first?"),
           QMessageBox::Save | QMessageBox::Discard);
  if (answer == QMessageBox::Save) SaveCases();
}
