// Drives the demo window as a user would (choosing examples, typing, clicking, resizing,
// closing) on the offscreen platform and checks what it shows. Message boxes are caught
// while they are open, recorded and closed with their OK button.
#include <QtTest/qtestspontaneevent.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSemaphore>
#include <QShortcut>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>

#include <functional>

#include "form1.h"

namespace {

// What a message box showed while it was open.
struct ShownBox {
  QMessageBox::Icon icon;
  QString title;
  QString text;
  QMessageBox::StandardButtons buttons;
  Qt::CursorShape formCursor;
  bool formVisible;
};

// Watches for modal message boxes while it lives; each one is recorded and closed.
class BoxWatcher : public QObject {
 public:
  explicit BoxWatcher(QWidget* form) : form_(form) {
    connect(&timer_, &QTimer::timeout, this, &BoxWatcher::Poll);
    timer_.start(10);
  }

  QList<ShownBox> boxes;
  // Called while each box is open, before it is closed.
  std::function<void()> whileOpen;

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    boxes.append({box->icon(), box->windowTitle(), box->text(), box->standardButtons(),
                  form_->cursor().shape(), form_->isVisible()});
    if (whileOpen) whileOpen();
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
      ok->click();
    } else {
      box->reject();
    }
  }

  QWidget* form_;
  QTimer timer_;
};

template <typename T>
T* Control(QWidget& form, const char* name) {
  T* control = form.findChild<T*>(QString::fromLatin1(name));
  if (control == nullptr) qFatal("The window has no control %s", name);
  return control;
}

// The demo window and its controls.
struct Window {
  explicit Window(const QString& commandLine = {})
      : form(commandLine),
        test(Control<QComboBox>(form, "Test")),
        text(Control<QComboBox>(form, "Text")),
        re(Control<QComboBox>(form, "RE")),
        goQuarn(Control<QPushButton>(form, "GoQuarn")),
        result(Control<QLabel>(form, "Result")),
        resultPic(Control<QTextEdit>(form, "ResultPic")) {}

  // What a user's choice in the example list does.
  void Choose(int index) {
    test->setCurrentIndex(index);
    emit test->activated(index);
  }

  void Call(const QString& subject, const QString& pattern) {
    text->setEditText(subject);
    re->setEditText(pattern);
    goQuarn->click();
  }

  QColor ResultColor() const { return result->palette().color(QPalette::WindowText); }

  // The printed lines, with every bold stretch between « and ».
  QStringList PrintedLines() const {
    QStringList lines;
    const QTextDocument* document = resultPic->document();
    if (document->isEmpty()) return lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
      QString line;
      bool bold = false;
      for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const bool fragmentBold = fragment.charFormat().fontWeight() >= QFont::Bold;
        if (fragmentBold != bold) line += fragmentBold ? u'«' : u'»';
        bold = fragmentBold;
        line += fragment.text();
      }
      if (bold) line += u'»';
      lines << line;
    }
    return lines;
  }

  QStringList Items(const QComboBox* list) const {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
      items << list->itemText(i);
    return items;
  }

  Form1 form;
  QComboBox* test;
  QComboBox* text;
  QComboBox* re;
  QPushButton* goQuarn;
  QLabel* result;
  QTextEdit* resultPic;
};

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

int TwipsToPixels(int twips, int dpi) {
  return qRound(twips * dpi / 1440.0);
}

// Sends the close request that the window system sends when the user closes the window.
bool UserCloses(QWidget& form) {
  QCloseEvent event;
  QSpontaneKeyEvent::setSpontaneous(&event);
  QApplication::instance()->notify(&form, &event);
  return event.isAccepted();
}

// Stands between the engine and the window's reporter while it lives: a report made on a
// worker thread waits there, holding the engine inside its search, until Release(). The
// window's own reporter then gets it. Made after the window, gone before it.
class HeldReport {
 public:
  HeldReport() : forward_(quarn::SetErrorReporter(Hold{this})) {}
  ~HeldReport() {
    // A window deleted meanwhile has put back the reporter from before it.
    quarn::ErrorReporter current = quarn::SetErrorReporter(std::move(forward_));
    if (current.target<Hold>() == nullptr) quarn::SetErrorReporter(std::move(current));
  }
  HeldReport(const HeldReport&) = delete;
  HeldReport& operator=(const HeldReport&) = delete;

  // Waits until the engine is held; false if it is not within seconds.
  bool WaitUntilHeld() { return held_.tryAcquire(1, kPatience); }
  void Release() { resume_.release(); }

 private:
  static constexpr int kPatience = 10000;  // milliseconds; only a broken window waits so long

  struct Hold {
    HeldReport* owner;
    void operator()(const quarn::EngineError& error, std::u16string_view text) const {
      if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
        owner->held_.release();
        owner->resume_.tryAcquire(1, kPatience);
      }
      owner->forward_(error, text);
    }
  };

  QSemaphore held_;
  QSemaphore resume_;
  quarn::ErrorReporter forward_;
};

// Calls back for each paint event of widget while it lives.
class OnPaint : public QObject {
 public:
  OnPaint(QWidget* widget, std::function<void()> callback)
      : widget_(widget), callback_(std::move(callback)) {
    widget_->installEventFilter(this);
  }
  ~OnPaint() override { widget_->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) callback_();
    return QObject::eventFilter(watched, event);
  }

 private:
  QWidget* widget_;
  std::function<void()> callback_;
};

// A search that the engine refuses at once, so that it reports on the thread that runs it.
const QString kHeldText = QStringLiteral("xxx");
const QString kHeldPattern = QStringLiteral("x{3,1}");
const QString kHeldReport = QStringLiteral(
    "Error #20050: Error in Quarn.DoQuarn: Upper limit is less than lower limit in regular "
    "expression {3,1}");

// Runs action once the event loop runs during the next call of the engine.
void WhileSearching(QWidget& form, std::function<void()> action) {
  QTimer::singleShot(0, &form, std::move(action));
}

bool BusyCursorShown() {
  const QCursor* cursor = QApplication::overrideCursor();
  return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
}

QStringList SubexprLines(const QStringList& captures) {
  QStringList lines;
  for (int i = 0; i < captures.size(); ++i) {
    lines << QStringLiteral("Subexpr #%1: ").arg(i + 1) + captures[i];
  }
  return lines;
}

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void examples_data();
  void examples();
  void selectOneChangesNothing();
  void output_data();
  void output();
  void noMatch();
  void engineError_data();
  void engineError();
  void history_data();
  void history();
  void loadWidth();
  void minimumSize_data();
  void minimumSize();
  void farewell_data();
  void farewell();
  void programCloseSaysNothing();
  void f1OpensHelp();
  void eventLoopRunsDuringSearch();
  void noSecondSearchWhileOneRuns_data();
  void noSecondSearchWhileOneRuns();
  void focusAfterSearch_data();
  void focusAfterSearch();
  void errorBoxBeforeVerdict();
  void closedAndDeletedWhileSearching();
  void helpOpensOnScreen_data();
  void helpOpensOnScreen();
};

// Each row is what the example's pattern must match in its text: the text before, the match
// in bold, the text after, then each group's capture.
void Form1Test::examples_data() {
  QTest::addColumn<int>("index");
  QTest::addColumn<QStringList>("lines");

  QTest::newRow("Email address")
      << 1
      << (QStringList{"Questions? Write to «help.desk@example.org» and we will answer within "
                      "a week."} +
          SubexprLines({"help.desk", "example.org"}));
  QTest::newRow("Dollars") << 2 << QStringList{"Make «$50,000.00» fast with this no risk system!"};
  QTest::newRow("IP Address") << 3
                              << QStringList{
                                     "The test server answers at «192.168.10.254» on port 8080."};
  QTest::newRow("Long date") << 4
                             << (QStringList{
                                     "It was «14 Dec 1997» when this program was being worked on"} +
                                 SubexprLines({"14", "Dec", "1997"}));
  QTest::newRow("VB Floating point number")
      << 5 << (QStringList{"«-10.23E-12»"} + SubexprLines({"10.23", "E-12"}));
  QTest::newRow("VB String") << 6
                             << QStringList{R"~(Print «"VB means ""Visual Basic"", right?"» & )~"
                                            R"~("And another string (doesn't match)")~"};
  QTest::newRow("VB #const statement")
      << 7 << (QStringList{"«#const abc = 100»"} + SubexprLines({"abc", "100"}));
  QTest::newRow("VB #if statement") << 8 << (QStringList{"«#If abc Then»"} + SubexprLines({"abc"}));
  QTest::newRow("C-style String")
      << 9
      << (QStringList{R"~(puts(«"Let's have a C-style \"string\" with lots of \\escapes\\"»);)~"} +
          SubexprLines({R"~(Let's have a C-style \"string\" with lots of \\escapes\\)~"}));
  QTest::newRow("Greedy matching") << 10 << QStringList{"The «food is under the bar in the bar»n"};
  QTest::newRow("Stingy / minimal  matching")
      << 11 << QStringList{"The «food is under the bar» in the barn"};
  QTest::newRow("Repeated words") << 12
                                  << (QStringList{"This «is is is» issued"} + SubexprLines({"is"}));
  QTest::newRow("cAPS lOCK sYNDROME")
      << 13 << QStringList{"There is SOMETHING Wrong with «mY cAPS lOCK» Button!"};
  QTest::newRow("TWo BIg INitials") << 14 << QStringList{"I really «ENjoy WRiting LIke» THIS"};
  QTest::newRow("Lookaheads: Negative assertion")
      << 15 << QStringList{"It took 11 years to buy «11 companies»"};
  QTest::newRow("Lookaheads: Positive assertion")
      << 16 << QStringList{"A foo without bar isn't enough, we need «foo»bar"};
  QTest::newRow("Thirteen ways to misspell Fenwax")
      << 17
      << (QStringList{"«Fenwax Fennwax Phenwax Venwax Fenvax Fenwaks Fenwacks Fenwachs Fenwacs "
                      "Fenwaxe Phennwaks Venvacks Fennvaxe»"} +
          SubexprLines({"Fennvaxe"}));
}

void Form1Test::examples() {
  QFETCH(int, index);
  QFETCH(QStringList, lines);
  Window window;
  QCOMPARE(window.test->itemText(index), QString::fromUtf8(QTest::currentDataTag()));

  window.Choose(index);

  QCOMPARE(window.result->text(), QStringLiteral("Matched"));
  QCOMPARE(window.ResultColor(), kGreen);
  QCOMPARE(window.PrintedLines(), lines);
  // Only the button keeps a history.
  QCOMPARE(window.re->count(), 0);
  QCOMPARE(window.text->count(), 0);
}

void Form1Test::selectOneChangesNothing() {
  Window window;
  QCOMPARE(window.test->count(), 18);
  QCOMPARE(window.test->currentIndex(), 0);
  window.Choose(4);
  const QString text = window.text->currentText();
  const QString pattern = window.re->currentText();
  const QStringList lines = window.PrintedLines();

  window.Choose(0);

  QCOMPARE(window.text->currentText(), text);
  QCOMPARE(window.re->currentText(), pattern);
  QCOMPARE(window.PrintedLines(), lines);
  QCOMPARE(window.result->text(), QStringLiteral("Matched"));
}

void Form1Test::output_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QStringList>("lines");

  QTest::newRow("match at the start") << "abc"
                                      << "a" << QStringList{"«a»bc"};
  QTest::newRow("match at the end") << "abc"
                                    << "c" << QStringList{"ab«c»"};
  QTest::newRow("empty match") << "abc"
                               << "x*" << QStringList{"abc"};
  QTest::newRow("match ends with a line break") << "ab\r\ncd"
                                                << R"~(b\n)~" << QStringList{"a«b+CRLF»cd"};
  QTest::newRow("line break inside the match")
      << "ab\r\ncd"
      << R"~(b\nc)~" << QStringList{QStringLiteral("a«b\u2028c»d")};
  QTest::newRow("group that took no part") << "b"
                                           << "(a)|b" << (QStringList{"«b»"} + SubexprLines({""}));
  QTest::newRow("more than nine groups")
      << "xxabcdefghijklyy"
      << "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)"
      << (QStringList{"xx«abcdefghijkl»yy"} +
          SubexprLines({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"}));
  QTest::newRow("text that looks like markup") << "<b>bold</b> &amp;"
                                               << "<b>" << QStringList{"«<b>»bold</b> &amp;"};
  QTest::newRow("pieces that start with U+FEFF")
      << QStringLiteral("\uFEFFa\uFEFFb\uFEFFc") << QStringLiteral("(\uFEFFb)")
      << QStringList{QStringLiteral("\uFEFFa«\uFEFFb»\uFEFFc"),
                     QStringLiteral("Subexpr #1: \uFEFFb")};
}

void Form1Test::output() {
  QFETCH(QString, text);
  QFETCH(QString, pattern);
  QFETCH(QStringList, lines);
  Window window;

  window.Call(text, pattern);

  QCOMPARE(window.result->text(), QStringLiteral("Matched"));
  QCOMPARE(window.PrintedLines(), lines);
}

void Form1Test::noMatch() {
  Window window;
  BoxWatcher watcher(&window.form);
  window.Choose(2);

  window.Call(QStringLiteral("abc"), QStringLiteral("abd"));

  QCOMPARE(window.result->text(), QStringLiteral("Didn't match"));
  QCOMPARE(window.ResultColor(), kRed);
  QCOMPARE(window.PrintedLines(), QStringList());
  QCOMPARE(watcher.boxes.size(), 0);
}

void Form1Test::engineError_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QString>("message");

  QTest::newRow("bad count") << "xxx"
                             << "x{3,1}"
                             << "Error #20050: Error in Quarn.DoQuarn: Upper limit is less than "
                                "lower limit in regular expression {3,1}";
  QTest::newRow("unknown group kind")
      << "a"
      << "(?<x>a)"
      << "Error #20052: Error in Quarn.ProcessParentheses: Invalid extended regular expression "
         "syntax: (?<x>a)";
  QTest::newRow("too deep") << QString(500, u'a') << "a*"
                            << "Error #20052: Error in Quarn.DoQuarn: Maximum number of "
                               "iterations exceeded. Possibly an infinite loop.";
}

void Form1Test::engineError() {
  QFETCH(QString, text);
  QFETCH(QString, pattern);
  QFETCH(QString, message);
  Window window;
  window.Choose(4);
  BoxWatcher watcher(&window.form);

  window.Call(text, pattern);

  QCOMPARE(watcher.boxes.size(), 1);
  const ShownBox& box = watcher.boxes.front();
  QCOMPARE(box.icon, QMessageBox::Critical);
  QCOMPARE(box.title, QCoreApplication::applicationName());
  QCOMPARE(box.text, message);
  QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  // The engine was still at work while the box was up, and is no longer.
  QCOMPARE(box.formCursor, Qt::WaitCursor);
  QCOMPARE(window.form.cursor().shape(), Qt::ArrowCursor);
  QCOMPARE(window.result->text(), QStringLiteral("Didn't match"));
  QCOMPARE(window.ResultColor(), kRed);
  QCOMPARE(window.PrintedLines(), QStringList());
  QCOMPARE(window.Items(window.re), QStringList{pattern});
}

void Form1Test::history_data() {
  QTest::addColumn<QStringList>("texts");
  QTest::addColumn<QStringList>("patterns");
  QTest::addColumn<QStringList>("textHistory");
  QTest::addColumn<QStringList>("patternHistory");

  QTest::newRow("same pair twice")
      << QStringList{"t", "t"} << QStringList{"a", "a"} << QStringList{"t"} << QStringList{"a"};
  QTest::newRow("coming back to an earlier one")
      << QStringList{"t", "u", "t"} << QStringList{"a", "b", "a"} << QStringList{"t", "u"}
      << QStringList{"a", "b"};
  QTest::newRow("letter case counts") << QStringList{"t", "T"} << QStringList{"a", "A"}
                                      << QStringList{"t", "T"} << QStringList{"a", "A"};
}

void Form1Test::history() {
  QFETCH(QStringList, texts);
  QFETCH(QStringList, patterns);
  QFETCH(QStringList, textHistory);
  QFETCH(QStringList, patternHistory);
  Window window;

  for (qsizetype i = 0; i < texts.size(); ++i)
    window.Call(texts[i], patterns[i]);

  QCOMPARE(window.Items(window.text), textHistory);
  QCOMPARE(window.Items(window.re), patternHistory);
  for (const QComboBox* list : {window.text, window.re}) {
    for (int i = 0; i < list->count(); ++i)
      QCOMPARE(list->itemData(i), QVariant(0));
  }
  // Whatever the history holds, the last run is what the fields show.
  QCOMPARE(window.text->currentText(), texts.back());
  QCOMPARE(window.re->currentText(), patterns.back());
}

void Form1Test::loadWidth() {
  Window window;
  QCOMPARE(window.form.width(), std::min(640, window.form.screen()->geometry().width()));
}

void Form1Test::minimumSize_data() {
  QTest::addColumn<QSize>("requested");
  QTest::addColumn<QSize>("expected");

  const int dpiX = QApplication::primaryScreen()->logicalDotsPerInchX();
  const int dpiY = QApplication::primaryScreen()->logicalDotsPerInchY();
  const int minimumWidth = TwipsToPixels(5000, dpiX);
  const int minimumHeight = TwipsToPixels(5000, dpiY);
  QTest::newRow("too small both ways") << QSize(100, 100) << QSize(minimumWidth, minimumHeight);
  QTest::newRow("too narrow") << QSize(100, 500) << QSize(minimumWidth, 500);
  QTest::newRow("large enough") << QSize(800, 600) << QSize(800, 600);
}

void Form1Test::minimumSize() {
  QFETCH(QSize, requested);
  QFETCH(QSize, expected);
  Window window;
  window.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window.form));

  window.form.resize(requested);

  QTRY_COMPARE(window.form.size(), expected);
  // The result box fills the window up to a margin of 5 pixels, and the lists follow its
  // width.
  const QRect box = window.resultPic->geometry();
  QCOMPARE(box.x() + box.width(), expected.width() - 5);
  QCOMPARE(box.y() + box.height(), expected.height() - 5);
  for (const QComboBox* list : {window.test, window.text, window.re}) {
    QCOMPARE(list->width(), box.width());
  }
  // The distribution notice keeps its place and shows all of its text: its lines fit its
  // height, and nothing lies over it.
  const auto* notice = Control<QLabel>(window.form, "Label7");
  QCOMPARE(notice->pos(),
           QPoint(TwipsToPixels(3600, QApplication::primaryScreen()->logicalDotsPerInchX()),
                  TwipsToPixels(3060, QApplication::primaryScreen()->logicalDotsPerInchY())));
  QVERIFY2(notice->heightForWidth(notice->width()) <= notice->height(),
           qPrintable(QStringLiteral("%1 px of text in %2 px")
                          .arg(notice->heightForWidth(notice->width()))
                          .arg(notice->height())));
  QVERIFY(window.form.rect().contains(notice->geometry()));
  for (const QWidget* other : {static_cast<const QWidget*>(window.resultPic),
                               static_cast<const QWidget*>(window.result)}) {
    QVERIFY2(!notice->geometry().intersects(other->geometry()), qPrintable(other->objectName()));
  }
}

void Form1Test::farewell_data() {
  QTest::addColumn<QString>("commandLine");
  QTest::addColumn<bool>("saysGoodbye");

  QTest::newRow("no arguments") << "" << true;
  QTest::newRow("/debug") << "/debug" << false;
  QTest::newRow("/DEBUG") << "/DEBUG" << false;
  QTest::newRow("/debug and more") << "/debug x" << true;
}

void Form1Test::farewell() {
  QFETCH(QString, commandLine);
  QFETCH(bool, saysGoodbye);
  Window window(commandLine);
  window.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window.form));
  BoxWatcher watcher(&window.form);

  QVERIFY(UserCloses(window.form));

  QCOMPARE(watcher.boxes.size(), saysGoodbye ? 1 : 0);
  if (!saysGoodbye) return;
  const ShownBox& box = watcher.boxes.front();
  QCOMPARE(box.icon, QMessageBox::Information);
  QCOMPARE(box.title, QCoreApplication::applicationName());
  QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QVERIFY(!box.formVisible);
  const QStringList lines{
      "Bye for now! Make regular expressions your regular programming habit, just like I did.", "",
      "Greetings from Finland,", "Ilmo Vantrask"};
  QCOMPARE(box.text.split(u'\n'), lines);
  QCOMPARE(Form1::FarewellText, lines.join(QStringLiteral("\r\n")));
}

void Form1Test::programCloseSaysNothing() {
  Window window;
  window.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window.form));
  BoxWatcher watcher(&window.form);

  QVERIFY(window.form.close());

  QCOMPARE(watcher.boxes.size(), 0);
  QVERIFY(!window.form.isVisible());
}

void Form1Test::f1OpensHelp() {
  Window window;
  window.form.show();
  window.form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&window.form));

  QTest::keyClick(&window.form, Qt::Key_F1);

  auto* help = window.form.findChild<QWidget*>(QStringLiteral("Help"));
  QVERIFY(help != nullptr);
  QVERIFY(help->isVisible());
  auto* browser = help->findChild<QTextBrowser*>();
  QVERIFY(browser != nullptr);
  const QString text = browser->toPlainText();
  for (const char* topic : {"Tutorial", "Reference", "reIgnoreCase", "reSingleLine", "reMultiline",
                            "(?=...)", "{n,m}"}) {
    QVERIFY2(text.contains(QString::fromLatin1(topic)), topic);
  }

  // Esc closes it, as it closes a dialog.
  help->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(help));
  QTest::keyClick(browser, Qt::Key_Escape);
  QVERIFY(!help->isVisible());
}

// While the engine is held inside a search on its worker thread, the window's event loop
// runs and repaints under the busy cursor; afterwards the cursor is back and the outcome is
// shown as before: one error box, then the verdict.
void Form1Test::eventLoopRunsDuringSearch() {
  Window window;
  window.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window.form));
  BoxWatcher watcher(&window.form);
  HeldReport hold;
  bool held = false;
  bool busy = false;
  bool repainted = false;
  const OnPaint onPaint(window.result, [&] {
    if (!held || repainted) return;
    repainted = true;
    hold.Release();
  });
  WhileSearching(window.form, [&] {
    held = hold.WaitUntilHeld();
    busy = BusyCursorShown();
    window.result->update();  // the engine goes on once the label has repainted
  });

  window.Call(kHeldText, kHeldPattern);

  QVERIFY(held);
  QVERIFY(busy);
  QVERIFY(repainted);
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  QCOMPARE(window.form.cursor().shape(), Qt::ArrowCursor);
  QCOMPARE(watcher.boxes.size(), 1);
  QCOMPARE(watcher.boxes.front().text, kHeldReport);
  QCOMPARE(window.result->text(), QStringLiteral("Didn't match"));
  QCOMPARE(window.PrintedLines(), QStringList());
}

void Form1Test::noSecondSearchWhileOneRuns_data() {
  QTest::addColumn<bool>("byButton");
  QTest::newRow("Call Quarn clicked") << true;
  QTest::newRow("example chosen") << false;
}

// A second search asked for during the first one runs neither then nor later: the controls
// are off meanwhile, and on again afterwards.
void Form1Test::noSecondSearchWhileOneRuns() {
  QFETCH(bool, byButton);
  Window window;
  window.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window.form));
  BoxWatcher watcher(&window.form);
  HeldReport hold;
  const auto askAgain = [&] {
    if (byButton) {
      QTest::mouseClick(window.goQuarn, Qt::LeftButton);
    } else {
      window.Choose(2);
    }
  };
  bool controlsOff = false;
  WhileSearching(window.form, [&] {
    hold.WaitUntilHeld();
    controlsOff = !window.goQuarn->isEnabled() && !window.test->isEnabled();
    window.text->setEditText(QStringLiteral("abc"));
    window.re->setEditText(QStringLiteral("b"));
    askAgain();
    hold.Release();
  });

  window.Call(kHeldText, kHeldPattern);

  QVERIFY(controlsOff);
  QCOMPARE(watcher.boxes.size(), 1);
  QCOMPARE(window.result->text(), QStringLiteral("Didn't match"));
  QCOMPARE(window.Items(window.re), QStringList{kHeldPattern});
  QCOMPARE(window.text->currentText(), QStringLiteral("abc"));
  QCOMPARE(window.re->currentText(), QStringLiteral("b"));
  QVERIFY(window.goQuarn->isEnabled());
  QVERIFY(window.test->isEnabled());
  askAgain();
  QCOMPARE(window.result->text(), QStringLiteral("Matched"));
}

void Form1Test::focusAfterSearch_data() {
  QTest::addColumn<bool>("userMovesFocus");
  QTest::newRow("left alone") << false;
  QTest::newRow("moved to Text meanwhile") << true;
}

// Turning the button off takes the focus from it; it gets it back unless the user has put
// the focus elsewhere during the search.
void Form1Test::focusAfterSearch() {
  QFETCH(bool, userMovesFocus);
  Window window;
  window.form.show();
  window.form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&window.form));
  BoxWatcher watcher(&window.form);
  HeldReport hold;
  window.text->setEditText(kHeldText);
  window.re->setEditText(kHeldPattern);
  window.goQuarn->setFocus();
  WhileSearching(window.form, [&] {
    hold.WaitUntilHeld();
    if (userMovesFocus) window.text->setFocus();
    hold.Release();
  });

  QTest::keyClick(window.goQuarn, Qt::Key_Space);

  QCOMPARE(window.Items(window.re), QStringList{kHeldPattern});
  QCOMPARE(window.form.focusWidget(),
           userMovesFocus ? static_cast<QWidget*>(window.text) : window.goQuarn);
}

// As when the engine ran on the UI thread, an error box comes while the previous outcome is
// still shown, and the verdict after it; the busy cursor does not cover the box.
void Form1Test::errorBoxBeforeVerdict() {
  Window window;
  window.Choose(4);
  const QStringList previous = window.PrintedLines();
  BoxWatcher watcher(&window.form);
  QString verdictWhileOpen;
  QStringList linesWhileOpen;
  bool busyCursorWhileOpen = true;
  watcher.whileOpen = [&] {
    verdictWhileOpen = window.result->text();
    linesWhileOpen = window.PrintedLines();
    busyCursorWhileOpen = BusyCursorShown();
  };

  window.Call(kHeldText, kHeldPattern);

  QCOMPARE(watcher.boxes.size(), 1);
  QCOMPARE(verdictWhileOpen, QStringLiteral("Matched"));
  QCOMPARE(linesWhileOpen, previous);
  QVERIFY(!busyCursorWhileOpen);
  QCOMPARE(window.result->text(), QStringLiteral("Didn't match"));
}

// A window that is closed and deleted while its search runs waits for the engine, shows
// nothing more and leaves no busy cursor behind.
void Form1Test::closedAndDeletedWhileSearching() {
  auto* form = new Form1(QString());
  form->setAttribute(Qt::WA_DeleteOnClose);
  const QPointer<Form1> alive(form);
  HeldReport hold;
  WhileSearching(*form, [&] {
    hold.WaitUntilHeld();
    form->close();
    hold.Release();
  });
  Control<QComboBox>(*form, "Text")->setEditText(kHeldText);
  Control<QComboBox>(*form, "RE")->setEditText(kHeldPattern);

  Control<QPushButton>(*form, "GoQuarn")->click();

  QVERIFY(alive.isNull());
  QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void Form1Test::helpOpensOnScreen_data() {
  // Where the window is: 0 puts its frame at the left or top of the screen's available area,
  // 1 at the right or bottom.
  QTest::addColumn<QPointF>("where");
  QTest::addColumn<QSize>("helpSize");  // as the user left the help window
  QTest::addColumn<bool>("centred");    // whether the help has room to be centred on it

  const QSize usual(640, 560);
  QTest::newRow("in the middle") << QPointF(0.5, 0.5) << usual << true;
  QTest::newRow("at the top left") << QPointF(0, 0) << usual << false;
  QTest::newRow("at the bottom right") << QPointF(1, 1) << usual << false;
  QTest::newRow("partly off the top left") << QPointF(-0.5, -0.5) << usual << false;
  QTest::newRow("partly off the bottom right") << QPointF(1.5, 1.5) << usual << false;
  QTest::newRow("help larger than the screen") << QPointF(0.5, 0.5) << QSize(4000, 4000) << false;
}

// F1 opens the help centred on the window, moved as little as it takes, and shrunk if need
// be, to lie within the screen's available area, title bar included; each time it opens.
void Form1Test::helpOpensOnScreen() {
  QFETCH(QPointF, where);
  QFETCH(QSize, helpSize);
  QFETCH(bool, centred);
  Window window;
  window.form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window.form));
  QTest::keyClick(&window.form, Qt::Key_F1);
  auto* help = window.form.findChild<QWidget*>(QStringLiteral("Help"));
  QVERIFY(help != nullptr);
  help->close();
  help->resize(helpSize);
  const QRect available = window.form.screen()->availableGeometry();
  const QSize room = available.size() - window.form.frameGeometry().size();
  const QPoint placed = available.topLeft() +
                        QPoint(qRound(where.x() * room.width()), qRound(where.y() * room.height()));
  window.form.move(placed);
  QTRY_COMPARE(window.form.frameGeometry().topLeft(), placed);

  QTest::keyClick(&window.form, Qt::Key_F1);

  QVERIFY(QTest::qWaitForWindowExposed(help));
  QVERIFY(available.contains(help->frameGeometry()));
  if (centred) QCOMPARE(help->frameGeometry().center(), window.form.frameGeometry().center());
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
