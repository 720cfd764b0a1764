// Form1, the demo window: the user types a subject text and a pattern, or picks a built-in
// example, runs the engine once with no options and sees the text before the match, the match
// in bold, the text after it and every numbered subexpression.
//
// The engine runs on a worker thread while the window keeps repainting and taking input; a
// search that is under way finishes before another one can start.
//
// Controls are laid out at fixed positions given in twips (1/1440 inch), scaled to pixels at
// the screen's logical DPI; each control's object name is its name in the design, so tests
// and style sheets can find it.
//
// F2 opens the pattern workbench on the window's current text and pattern, a window of its
// own, so that the design stays as it is.
#pragma once

#include <QMessageBox>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QWidget>

#include "quarn/quarn.h"

class QComboBox;
class QLabel;
class QPushButton;
class HelpWindow;
class PrintBox;
class Workbench;

class Form1 : public QWidget {
  Q_OBJECT

 public:
  // commandLine is the program's arguments as one text; "/debug" in any letter case turns
  // off the farewell message.
  explicit Form1(QString commandLine, QWidget* parent = nullptr);
  ~Form1() override;

  // The farewell message shown when the user closes the window, line breaks as CR LF.
  static const QString FarewellText;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateHeader();
  void CreateLeftColumn();
  void CreateControls();
  void Load();

  void TestClick(int index);
  void GoQuarnClick();

  // The index of the list entry equal to text (case-sensitive), or -1.
  static int FindInList(const QComboBox* list, const QString& text);
  // Appends value with the given item data.
  static void AddToList(QComboBox* list, const QString& value, int itemData);
  // Runs the engine on the current text and pattern and shows the outcome.
  void RunAndShow();
  // Runs the engine on the worker thread under the busy cursor and answers whether it matched;
  // the event loop runs meanwhile.
  bool Search(const QString& text, const QString& pattern);
  // Shows an engine report; one from the worker thread waits until the search is over.
  void Report(const QString& text);
  QStringList TakeWorkerReports();
  void PrintMatch();
  void PrintSubexpressions();
  void ShowVerdict(const QString& caption, const QColor& color);

  void ShowMessage(QMessageBox::Icon icon, const QString& text);
  void ShowHelp();
  void ShowWorkbench();

  int PixelsX(int twips) const;
  int PixelsY(int twips) const;
  QRect TwipsToPixels(int left, int top, int width, int height) const;

  const QString commandLine_;
  quarn::ErrorReporter previousReporter_;
  QThreadPool searchPool_;
  bool searching_ = false;
  QMutex reportsMutex_;
  QStringList workerReports_;  // guarded by reportsMutex_

  QWidget* Picture1 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QWidget* Picture2 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QComboBox* Test = nullptr;
  QComboBox* Text = nullptr;
  QComboBox* RE = nullptr;
  QPushButton* GoQuarn = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Result = nullptr;
  PrintBox* ResultPic = nullptr;
  HelpWindow* help_ = nullptr;
  Workbench* workbench_ = nullptr;
};
