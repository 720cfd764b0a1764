// The pattern workbench: a window beside the demo window for trying a pattern as it is
// typed. Every match in a multi-line subject is highlighted, each group in its own colour,
// and listed with its groups; the engine's error is shown in place with a caret under the
// pattern; a bar shows how deep the search went against its depth limit; a list of test
// cases runs on every change and can be saved as a file that `quarn --host` replays; and the
// texts can be copied as a C++ call.
//
// Searches run on a worker thread, a short pause after the last change. A change while one
// runs cancels it through the engine's cancel flag, and only the outcome of the latest input
// is ever shown, so the window never waits for the engine.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <memory>

#include "benchcases.h"
#include "benchsearch.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTableWidgetItem;
class QTreeWidget;
class ErrorCaret;
class ErrorText;
class PatternEdit;
class SubjectEdit;

class Workbench : public QMainWindow {
  Q_OBJECT

 public:
  explicit Workbench(QWidget* parent = nullptr);
  ~Workbench() override;

  // Loads the example of that caption from the shared list; false if there is none.
  bool loadExample(const QString& caption);
  // Test case files; on failure the message is shown in the window and returned.
  QString loadCases(const QString& fileName);
  QString saveCases(const QString& fileName);

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

 private:
  void CreateActions();
  QWidget* CreateInputs();
  QWidget* CreateResults();
  QWidget* CreateCases();

  int Flags() const;
  void InputChanged();
  void StartSearch();
  void Show(const quarn::demo::BenchOutcome& outcome);
  void ShowError(const std::optional<quarn::Error>& error);
  void ShowDepth(const quarn::demo::BenchOutcome& outcome);
  void ShowMatches(const quarn::demo::BenchOutcome& outcome);
  void Highlight();
  void JudgeCases();
  void ApplyColours();
  void DepthLimitChanged();
  void ShowDepthNote();

  void AddCase();
  void AddCaseRow(const quarn::demo::TestCase& test);
  void RemoveCase();
  void CaseEdited(QTableWidgetItem* item);
  void CaseActivated(QTableWidgetItem* item);
  void OpenCasesDialog();
  void SaveCasesDialog();
  void CopyCpp();

  QComboBox* example_ = nullptr;
  PatternEdit* pattern_ = nullptr;
  ErrorCaret* caret_ = nullptr;
  ErrorText* error_ = nullptr;
  QCheckBox* ignoreCase_ = nullptr;
  QCheckBox* singleLine_ = nullptr;
  QCheckBox* multiline_ = nullptr;
  SubjectEdit* subject_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* depth_ = nullptr;
  QSpinBox* depthLimit_ = nullptr;
  QLabel* depthNote_ = nullptr;
  QLineEdit* cpp_ = nullptr;
  QTreeWidget* matches_ = nullptr;
  QTableWidget* cases_ = nullptr;
  QLabel* casesSummary_ = nullptr;

  QTimer pause_;
  QThreadPool pool_;
  std::shared_ptr<std::atomic<bool>> cancel_;  // of the search under way
  quint64 generation_ = 0;                     // counts the changes of the input
  bool pending_ = false;                       // the input changed since the last outcome shown
  quarn::demo::BenchOutcome shown_;
};
