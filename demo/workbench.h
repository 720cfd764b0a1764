// The pattern workbench: a window beside the demo window for trying a pattern as it is
// typed. Every match in a multi-line subject is counted, highlighted (each group in its own
// colour) and listed with its groups; replace and split show what the engine's replace() and
// split() make of the subject; the engine's error is shown in place with a caret under the
// pattern, and in plain words when the subject is longer than hosts search; bars and fields
// show and set the search's depth and subject-length limits; a list of test cases runs on
// every change and can be saved as a file that `quarn --host` replays; the texts can be copied
// as a C++ call; and F1 shows a quick reference of the pattern language.
//
// The explanation panel shows the engine's own reading of the pattern as a tree and its
// diagnostics, as soon as the pattern is typed: a fault of the pattern is reported and pointed
// at before any search runs, and selecting a node or a diagnostic selects its characters in
// the pattern field. Analysing a pattern is linear in its length, so it is done on the UI
// thread as the pattern changes, not as the subject does.
//
// Searches run on a worker thread, a short pause after the last change. A change while one
// runs cancels it through the engine's cancel flag, and only the outcome of the latest input
// is ever shown, so the window never waits for the engine. Nothing shown on the UI thread
// grows with the subject: the lists load their rows as they are scrolled to, and the subject
// is highlighted where it is in view.
//
// Test cases are never lost unasked: the title marks changes not saved, and opening a file
// over them or closing the window asks first.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QMessageBox>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

#include "benchcases.h"
#include "benchsearch.h"

class QCheckBox;
class QComboBox;
class QDockWidget;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTableWidgetItem;
class QTabWidget;
class QTreeView;
class DiagnosticModel;
class ErrorCaret;
class ErrorText;
class ExplainModel;
class MatchModel;
class PatternEdit;
class PiecesModel;
class SubjectEdit;
struct PatternSpan;

class Workbench : public QMainWindow {
  Q_OBJECT

 public:
  // Asks the user text with these buttons and answers the one chosen.
  using Question =
      std::function<QMessageBox::StandardButton(const QString& text, QMessageBox::StandardButtons)>;

  explicit Workbench(QWidget* parent = nullptr);
  ~Workbench() override;

  // Loads the example of that caption from the shared list; false if there is none.
  bool loadExample(const QString& caption);
  // The inputs, each set as a step the user can undo. A subject from outside (a file, say)
  // may bring the offer to read its lone LFs as CR LF.
  void setPattern(const QString& pattern);
  void setSubject(const QString& subject, bool offerLineFeeds = false);
  void setFlags(int32_t flags);
  // Shows the replace preview with this replacement.
  void setReplacement(const QString& replacement);
  // Test case files; on failure, or when the user keeps what would be replaced, the message
  // is shown in the window and returned. A file name without a suffix gets ".jsonl".
  QString loadCases(const QString& fileName);
  QString saveCases(const QString& fileName);
  // The file the cases were last loaded from or saved to, if any.
  QString casesFile() const { return casesFile_; }
  // Offers to save the test cases if they have changes not saved, without a way to stay: for
  // when the program ends.
  void offerToSave();
  // The questions go to ask instead of a message box (tests answer them).
  void setQuestion(Question ask);

  QList<quarn::demo::TestCase> testCases() const;
  // What "Copy as C++" copies.
  QString cppCall() const;

 signals:
  // A search of the current input went to the worker thread.
  void searchStarted();
  // A search ended on the worker thread, whether its outcome is shown or not.
  void searchEnded(bool cancelled);
  // The outcome of the current input is on screen.
  void resultsShown();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  QWidget* CreateInputs();
  QWidget* CreateSubject();
  QWidget* CreateResults();
  QWidget* CreateReplace();
  QWidget* CreateSplit();
  QWidget* CreateCases();
  void CreateReference();
  void CreateExplanation();

  int Flags() const;
  void InputChanged();
  void SubjectChanged();
  void ShowExampleCaption();
  void ShowCpp();
  void StartSearch();
  void PreviewWanted();
  void Show(const std::shared_ptr<const quarn::demo::BenchOutcome>& outcome, const QString& subject,
            uint64_t subjectLimit);
  void Analyse();
  void ShowError();
  void SelectInPattern(PatternSpan span);
  void ShowDepth();
  void ShowMatches();
  void ShowPreviews();
  void Highlight();
  void SelectInSubject(const QModelIndex& index);
  void JudgeCases();
  void ApplyColours();
  void LimitChanged();
  void ShowLimitNotes();
  void OfferLineFeeds(int count, qsizetype from, qsizetype to);

  void AddCase();
  void AddCaseRow(const quarn::demo::TestCase& test);
  void RemoveCase();
  void CaseEdited(QTableWidgetItem* item);
  void CaseActivated(QTableWidgetItem* item);
  void OpenCasesDialog();
  bool SaveCases();
  bool SaveCasesDialog();
  bool MayReplace(const QString& fileName, const quarn::demo::CaseFile& file);
  quarn::demo::CaseFile CurrentCases() const;
  void CasesChanged();
  void ShowTitle();
  void CopyCpp();

  QComboBox* example_ = nullptr;
  PatternEdit* pattern_ = nullptr;
  ErrorCaret* caret_ = nullptr;
  ErrorText* error_ = nullptr;
  ErrorText* errorHint_ = nullptr;
  QCheckBox* ignoreCase_ = nullptr;
  QCheckBox* singleLine_ = nullptr;
  QCheckBox* multiline_ = nullptr;
  QProgressBar* depth_ = nullptr;
  QLabel* depthText_ = nullptr;
  QSpinBox* depthLimit_ = nullptr;
  QLabel* depthNote_ = nullptr;
  QLabel* subjectLength_ = nullptr;
  QSpinBox* subjectLimit_ = nullptr;
  QLabel* subjectNote_ = nullptr;
  QLineEdit* cpp_ = nullptr;
  SubjectEdit* subject_ = nullptr;
  QWidget* lineFeedOffer_ = nullptr;
  QLabel* lineFeedText_ = nullptr;
  QTabWidget* results_ = nullptr;
  QTreeView* matches_ = nullptr;
  MatchModel* matchModel_ = nullptr;
  QLabel* status_ = nullptr;
  QLineEdit* replacement_ = nullptr;
  QLabel* replaceStatus_ = nullptr;
  SubjectEdit* replacePreview_ = nullptr;
  QTreeView* pieces_ = nullptr;
  PiecesModel* piecesModel_ = nullptr;
  QLabel* splitStatus_ = nullptr;
  QTableWidget* cases_ = nullptr;
  QLabel* casesSummary_ = nullptr;
  QDockWidget* reference_ = nullptr;
  QDockWidget* explanation_ = nullptr;
  QTreeView* explainTree_ = nullptr;
  ExplainModel* explainModel_ = nullptr;
  QTreeView* diagnostics_ = nullptr;
  DiagnosticModel* diagnosticModel_ = nullptr;
  QLabel* diagnosticSummary_ = nullptr;

  QTimer pause_;
  QThreadPool pool_;
  std::shared_ptr<std::atomic<bool>> cancel_;  // of the search under way
  quint64 generation_ = 0;                     // counts the changes of the input
  bool pending_ = false;                       // the input changed since the last outcome shown
  std::shared_ptr<const quarn::demo::BenchOutcome> shown_;
  QString shownSubject_;  // the subject that shown_ is of
  // The pattern as last analysed, with the options it was compiled with.
  std::shared_ptr<const quarn::Pattern> analysed_;
  uint64_t shownLimit_ = 0;
  std::pair<qsizetype, qsizetype> lineFeeds_;  // where the lone LFs on offer are

  quarn::demo::CaseFile saved_;  // as last loaded or saved
  QString casesFile_;
  Question ask_;
};
