// Form1's controls, its event handlers and its three procedures (FindInList, AddToList,
// RunAndShow). The window talks to the engine only through Quarn() and QuarnResult(), always
// without options, and shows the engine's error reports as modal message boxes. Quarn() runs
// on a worker thread of the window's own pool; everything else stays on the UI thread.
#include "form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFont>
#include <QFuture>
#include <QFutureWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QMutexLocker>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>
#include <variant>

#include "enginetext.h"
#include "examples.h"
#include "helpwindow.h"
#include "printbox.h"
#include "workbench.h"

const QString Form1::FarewellText = QStringLiteral(
    "Bye for now! Make regular expressions your regular programming habit, just like I did."
    "\r\n\r\nGreetings from Finland,\r\nIlmo Vantrask");

using quarn::demo::ToEngine;
using quarn::demo::ToQString;

namespace {

constexpr int kTwipsPerInch = 1440;
const QString kCrLf = QStringLiteral("\r\n");

// The design's fonts are not on every system; the list falls back to the nearest sans
// serif faces, condensed last so that the captions still fit their design widths.
QFont DesignFont(qreal pointSize) {
  QFont font(QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                         QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                         QStringLiteral("DejaVu Sans Condensed")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(pointSize);
  return font;
}

void SetGreyBackground(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, QColor(192, 192, 192));
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

QLabel* MakeLabel(const QString& name, const QString& caption, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  return label;
}

QComboBox* MakeComboBox(const QString& name, bool editable, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->setEditable(editable);
  if (editable) {
    // The history grows only when the engine is called, not when Enter is pressed, and an
    // inline completion would silently turn a typed pattern into an older, longer one.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
  }
  return combo;
}

// What QuarnResult() answers, as the text that would be printed: the empty value prints as
// nothing and the subexpression count as its digits.
QString ResultText(int32_t type) {
  const quarn::ResultValue value = quarn::QuarnResult(type);
  if (const auto* text = std::get_if<std::u16string>(&value)) return ToQString(*text);
  if (const auto* number = std::get_if<int16_t>(&value)) return QString::number(*number);
  return {};
}

// Runs the event loop until search is over, so that the window repaints and takes input
// meanwhile. Touches nothing but search: the window may be deleted before this returns.
void WaitFor(QFuture<bool> search) {
  QFutureWatcher<bool> watcher;
  QEventLoop loop;
  QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
  watcher.setFuture(search);
  loop.exec();
  // The loop also ends when the application quits, and the engine cannot be stopped.
  search.waitForFinished();
}

}  // namespace

Form1::Form1(QString commandLine, QWidget* parent)
    : QWidget(parent), commandLine_(std::move(commandLine)) {
  setObjectName(QStringLiteral("Form1"));
  setFont(DesignFont(9.75));
  CreateHeader();
  CreateLeftColumn();
  CreateControls();
  resize(PixelsX(8025), PixelsY(5955));
  setMinimumSize(PixelsX(5000), PixelsY(5000));

  // The engine keeps one match state for the whole program: one search at a time.
  searchPool_.setMaxThreadCount(1);
  previousReporter_ = quarn::SetErrorReporter(
      [this](const quarn::EngineError&, std::u16string_view text) { Report(ToQString(text)); });
  connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this,
          &Form1::ShowHelp);
  connect(new QShortcut(QKeySequence(Qt::Key_F2), this), &QShortcut::activated, this,
          &Form1::ShowWorkbench);
  Load();
}

Form1::~Form1() {
  // A search under way still reports to this window.
  searchPool_.waitForDone();
  quarn::SetErrorReporter(std::move(previousReporter_));
}

void Form1::CreateHeader() {
  Picture1 = new QWidget(this);
  Picture1->setObjectName(QStringLiteral("Picture1"));
  Picture1->setGeometry(TwipsToPixels(0, 0, 8025, 1155));
  SetGreyBackground(Picture1);

  Label5 = MakeLabel(
      QStringLiteral("Label5"),
      QStringLiteral("Hello! This is a demo of Quarn for Visual Basic 5.0, 6.0 and later."),
      Picture1);
  Label5->setGeometry(TwipsToPixels(60, 60, 7635, 315));
  Label6 = MakeLabel(QStringLiteral("Label6"),
                     QStringLiteral("Try selecting something from the \"Example\" ComboBox, or "
                                    "write your own strings in \"Text\" and \"Reg. expr\". "
                                    "Regular expressions are a must!"),
                     Picture1);
  Label6->setGeometry(TwipsToPixels(60, 420, 7395, 555));
  Label6->setWordWrap(true);
  for (QLabel* label : {Label5, Label6}) {
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetGreyBackground(label);
  }
}

void Form1::CreateLeftColumn() {
  Picture2 = new QWidget(this);
  Picture2->setObjectName(QStringLiteral("Picture2"));
  Picture2->setGeometry(TwipsToPixels(0, 1155, 1035, 4800));
  SetGreyBackground(Picture2);

  Label1 = MakeLabel(QStringLiteral("Label1"), QStringLiteral("&Example:"), Picture2);
  Label1->setGeometry(TwipsToPixels(60, 180, 855, 255));
  Label2 = MakeLabel(QStringLiteral("Label2"), QStringLiteral("&Text:"), Picture2);
  Label2->setGeometry(TwipsToPixels(60, 720, 855, 255));
  Label3 = MakeLabel(QStringLiteral("Label3"), QStringLiteral("&Reg. expr:"), Picture2);
  Label3->setGeometry(TwipsToPixels(60, 1140, 975, 255));
  for (QLabel* label : {Label1, Label2, Label3})
    SetGreyBackground(label);
}

void Form1::CreateControls() {
  Test = MakeComboBox(QStringLiteral("Test"), false, this);
  Test->setGeometry(TwipsToPixels(1080, 1260, 6315, 360));
  for (const quarn::demo::Example& example : quarn::demo::kExamples)
    Test->addItem(ToQString(example.caption));
  connect(Test, &QComboBox::activated, this, &Form1::TestClick);

  Text = MakeComboBox(QStringLiteral("Text"), true, this);
  Text->setGeometry(TwipsToPixels(1080, 1800, 6315, 360));
  Text->setEditText(QStringLiteral("Write your text here"));

  RE = MakeComboBox(QStringLiteral("RE"), true, this);
  RE->setGeometry(TwipsToPixels(1080, 2220, 6315, 360));
  RE->setEditText(QStringLiteral("Write your regular expression here"));

  // The labels in the left column are the mnemonics of the three lists.
  Label1->setBuddy(Test);
  Label2->setBuddy(Text);
  Label3->setBuddy(RE);

  GoQuarn = new QPushButton(QStringLiteral("&Call &Quarn"), this);
  GoQuarn->setObjectName(QStringLiteral("GoQuarn"));
  GoQuarn->setGeometry(TwipsToPixels(1080, 2700, 2355, 375));
  connect(GoQuarn, &QPushButton::clicked, this, &Form1::GoQuarnClick);

  Label4 = MakeLabel(QStringLiteral("Label4"),
                     QStringLiteral("Press F1 for a tutorial, documentation and ordering "
                                    "information"),
                     this);
  Label4->setGeometry(TwipsToPixels(3600, 2760, 4455, 255));
  Label7 = MakeLabel(QStringLiteral("Label7"),
                     // Short enough for its two lines at the window's smallest width.
                     QStringLiteral("Quarn is free: use it and pass it on."), this);
  Label7->setGeometry(TwipsToPixels(3600, 3060, 3735, 435));
  Label7->setWordWrap(true);
  for (QLabel* label : {Label4, Label7}) {
    label->setFont(DesignFont(8.25));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }

  Result = MakeLabel(QStringLiteral("Result"), QStringLiteral("Result"), this);
  Result->setGeometry(TwipsToPixels(1080, 3180, 2355, 315));

  ResultPic = new PrintBox(this);
  ResultPic->setObjectName(QStringLiteral("ResultPic"));
  ResultPic->setGeometry(TwipsToPixels(1080, 3540, 6315, 2235));
}

void Form1::Load() {
  setWindowTitle(QStringLiteral("Quarn 1.00 for VB 6.0 - DEMO"));
  const int screenWidth = screen()->geometry().width();
  resize(screenWidth >= 640 ? 640 : screenWidth, height());
  Test->setCurrentIndex(0);
  TestClick(0);
}

void Form1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (isMinimized()) return;
  // The minimum of 5000 twips each way is the widget's minimum size, so the window system
  // already keeps the window from getting smaller. The result box takes the rest of the
  // window, with a margin of 5 pixels, and the three lists follow its width.
  const int margin = 5;
  ResultPic->resize(std::max(0, width() - ResultPic->x() - margin),
                    std::max(0, height() - ResultPic->y() - margin));
  for (QComboBox* list : {Text, RE, Test}) {
    list->resize(ResultPic->width(), list->height());
  }
  // The notes beside the button may use the whole width: the design's font is narrower than
  // its stand-ins.
  for (QLabel* label : {Label4, Label7}) {
    label->resize(std::max(0, width() - label->x() - margin), label->height());
  }
  // The header strip and the left column are docked to the window's edges.
  Picture1->resize(width(), Picture1->height());
  Picture2->resize(Picture2->width(), std::max(0, height() - Picture2->y()));
}

void Form1::closeEvent(QCloseEvent* event) {
  // The program ends with this window, the workbench's test cases too.
  if (workbench_ != nullptr) workbench_->offerToSave();
  // Only a close that the user asked for through the window system says goodbye; the
  // program closing the window does not.
  if (event->spontaneous() && commandLine_.toLower() != QStringLiteral("/debug")) {
    hide();
    ShowMessage(QMessageBox::Information, FarewellText);
  }
  event->accept();
}

void Form1::TestClick(int index) {
  if (searching_) return;
  if (index < 1 || index >= static_cast<int>(quarn::demo::kExamples.size())) return;
  const quarn::demo::Example& example = quarn::demo::kExamples[static_cast<size_t>(index)];
  for (auto [list, value] : {std::pair{Text, example.text}, std::pair{RE, example.pattern}}) {
    list->setEditText(ToQString(value));
    list->lineEdit()->home(false);  // show the beginning of a long example
  }
  RunAndShow();
}

void Form1::GoQuarnClick() {
  if (searching_) return;
  for (QComboBox* list : {RE, Text}) {
    const QString value = list->currentText();
    if (FindInList(list, value) == -1) AddToList(list, value, 0);
  }
  RunAndShow();
}

int Form1::FindInList(const QComboBox* list, const QString& text) {
  for (int i = 0; i < list->count(); ++i) {
    if (list->itemText(i) == text) return i;
  }
  return -1;
}

void Form1::AddToList(QComboBox* list, const QString& value, int itemData) {
  list->addItem(value, itemData);
}

void Form1::RunAndShow() {
  setCursor(Qt::WaitCursor);
  // The controls that start a search are off until this one is over: a click that waited
  // would run a search the user may no longer want. Disabling moves the window's focus away
  // from them; it comes back unless the user has put it elsewhere meanwhile. An error box
  // takes the focus for a while but leaves the window's own focus widget as it is.
  searching_ = true;
  const QPointer<QWidget> focus = focusWidget();
  Test->setEnabled(false);
  GoQuarn->setEnabled(false);
  const QPointer<QWidget> focusMovedTo = focusWidget();

  const QPointer<Form1> alive(this);
  const bool ok = Search(Text->currentText(), RE->currentText());
  if (alive == nullptr) return;
  for (const QString& report : TakeWorkerReports())
    ShowMessage(QMessageBox::Critical, report);
  ResultPic->Clear();
  if (ok) {
    PrintMatch();
    PrintSubexpressions();
    ShowVerdict(QStringLiteral("Matched"), QColor(0, 255, 0));
  } else {
    ShowVerdict(QStringLiteral("Didn't match"), QColor(255, 0, 0));
  }

  Test->setEnabled(true);
  GoQuarn->setEnabled(true);
  if (focus != nullptr && focusWidget() == focusMovedTo) focus->setFocus();
  searching_ = false;
  unsetCursor();
}

bool Form1::Search(const QString& text, const QString& pattern) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const QFuture<bool> search =
      QtConcurrent::run(&searchPool_, [text = ToEngine(text), pattern = ToEngine(pattern)] {
        return quarn::Quarn(text, pattern, 0);
      });
  WaitFor(search);
  QApplication::restoreOverrideCursor();
  return search.result();
}

void Form1::Report(const QString& text) {
  // The engine reports on the thread that runs the search, and message boxes belong to the
  // UI thread.
  if (QThread::currentThread() == thread()) {
    ShowMessage(QMessageBox::Critical, text);
    return;
  }
  const QMutexLocker lock(&reportsMutex_);
  workerReports_ << text;
}

QStringList Form1::TakeWorkerReports() {
  const QMutexLocker lock(&reportsMutex_);
  return std::exchange(workerReports_, {});
}

void Form1::PrintMatch() {
  ResultPic->Print(ResultText(quarn::reBeforeMatch), false);
  // A line break at the end of the match would be invisible, so it is spelt out.
  QString match = ResultText(quarn::reMatch);
  if (match.endsWith(kCrLf)) {
    match.chop(kCrLf.size());
    match += QStringLiteral("+CRLF");
  }
  ResultPic->Print(match, true);
  ResultPic->Print(ResultText(quarn::reAfterMatch), false);
  ResultPic->EndLine();
}

void Form1::PrintSubexpressions() {
  const int count = ResultText(quarn::reSubexprCount).toInt();
  for (int i = 1; i <= count; ++i) {
    ResultPic->Print(
        QStringLiteral("Subexpr #") + QString::number(i) + QStringLiteral(": ") + ResultText(i),
        false);
    ResultPic->EndLine();
  }
}

void Form1::ShowVerdict(const QString& caption, const QColor& color) {
  Result->setText(caption);
  QPalette palette = Result->palette();
  palette.setColor(QPalette::WindowText, color);
  Result->setPalette(palette);
}

void Form1::ShowMessage(QMessageBox::Icon icon, const QString& text) {
  // The text is shown as it stands (a pattern may contain "<"), with each CR LF as one
  // line break.
  QString shown = text;
  shown.replace(kCrLf, QStringLiteral("\n"));
  QMessageBox box(icon, QCoreApplication::applicationName(), shown, QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void Form1::ShowHelp() {
  if (help_ == nullptr) help_ = new HelpWindow(this);
  help_->Open(this);
}

void Form1::ShowWorkbench() {
  if (workbench_ == nullptr) workbench_ = new Workbench(this);
  // The workbench takes up what the window has now; it searches without options, as this one.
  workbench_->setFlags(0);
  workbench_->setPattern(RE->currentText());
  workbench_->setSubject(Text->currentText());
  workbench_->show();
  workbench_->raise();
  workbench_->activateWindow();
}

int Form1::PixelsX(int twips) const {
  return qRound(twips * logicalDpiX() / qreal(kTwipsPerInch));
}

int Form1::PixelsY(int twips) const {
  return qRound(twips * logicalDpiY() / qreal(kTwipsPerInch));
}

QRect Form1::TwipsToPixels(int left, int top, int width, int height) const {
  return QRect(PixelsX(left), PixelsY(top), PixelsX(width), PixelsY(height));
}
