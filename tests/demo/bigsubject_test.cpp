// The workbench's subject editor and big subjects, on the offscreen platform: the engine's
// text survives the editor's paragraphs exactly, positions map both ways, lone LFs can be
// read as CR LF, a subject longer than hosts search is explained in plain words, and a
// megabyte loads, searches and clears without the window stalling. The times are printed
// as benchmark results, never asserted.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>

#include "controls.h"
#include "patternedit.h"
#include "subjectedit.h"
#include "workbench.h"

namespace {

constexpr int kPatience = 60000;  // milliseconds; only a broken window waits so long
constexpr qsizetype kMegabyte = 1 << 20;

using quarn::demo::testing::Control;

// A text of at least a megabyte of the given shape, made of whole lines.
QString Megabyte(const QString& shape) {
  QString line = QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789 and more");
  if (shape == QLatin1String("CR LF lines")) line += QStringLiteral("\r\n");
  if (shape == QLatin1String("LF lines")) line += u'\n';
  if (shape == QLatin1String("one line")) line += u' ';
  QString text;
  text.reserve(kMegabyte + line.size());
  while (text.size() < kMegabyte)
    text += line;
  return text;
}

// Counts the longest time the event loop went without turning while it lives.
class PauseWatch {
 public:
  PauseWatch() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout,
                     [this] { longest_ = std::max(longest_, clock_.restart()); });
    clock_.start();
    timer_.start();
  }
  qint64 longest() const { return std::max(longest_, clock_.elapsed()); }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 longest_ = 0;
};

struct Bench {
  Workbench window;
  PatternEdit* pattern = Control<PatternEdit>(window, "Pattern");
  SubjectEdit* subject = Control<SubjectEdit>(window, "Subject");
  QSpinBox* subjectLimit = Control<QSpinBox>(window, "SubjectLimit");
  QSignalSpy shown{&window, &Workbench::resultsShown};

  bool WaitShown() {
    shown.clear();
    return QTest::qWaitFor([&] { return !shown.isEmpty(); }, kPatience);
  }
  QString Text(const char* name) { return Control<QLabel>(window, name)->text(); }
};

}  // namespace

class BigSubjectTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
  void roundTrip_data();
  void roundTrip();
  void positions_data();
  void positions();
  void breaksThatStandForNothing_data();
  void breaksThatStandForNothing();
  void lineFeedOffer_data();
  void lineFeedOffer();
  void subjectTooLong_data();
  void subjectTooLong();
  void cppLineShort();
  void loadBigSubject_data();
  void loadBigSubject();
  void clearBigSubject_data();
  void clearBigSubject();
  void windowAnswers_data();
  void windowAnswers();
};

namespace {

void AddTexts() {
  QTest::addColumn<QString>("text");
  QTest::newRow("line breaks of every kind")
      << QStringLiteral("a\r\nb\nc\rd\u2028e\u2029f\x01g\uFFFC\r\n\n\r\r\n");
  QTest::newRow("a long line") << QString(5000, u'x') + QStringLiteral("\r\nend");
  QTest::newRow("long words") << QStringLiteral("word ").repeated(900);
  QTest::newRow("a pair at a paragraph's end")
      << QString(1999, u'y') + QStringLiteral("\U0001F600") + QString(3000, u'z');
  QTest::newRow("only lone LFs") << QStringLiteral("one\ntwo\n\nthree\n");
  QTest::newRow("empty") << QString();
}

}  // namespace

void BigSubjectTest::roundTrip_data() {
  AddTexts();
}

// The engine gets exactly the text put in, and copying gives it back; no paragraph is longer
// than a couple of thousand characters.
void BigSubjectTest::roundTrip() {
  QFETCH(QString, text);
  SubjectEdit edit;

  edit.setEngineText(text);

  QCOMPARE(edit.engineText(), text);
  for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next())
    QVERIFY(block.length() <= 2001);
  edit.selectAll();
  edit.copy();
  if (!text.isEmpty()) QCOMPARE(QApplication::clipboard()->text(), text);
  edit.undo();
  edit.redo();
  QCOMPARE(edit.engineText(), text);
}

void BigSubjectTest::positions_data() {
  AddTexts();
}

// A position of the engine's text and the document's place for it map back to each other;
// the place between the CR and the LF of a line break is before the break for a start and
// after it for an end.
void BigSubjectTest::positions() {
  QFETCH(QString, text);
  SubjectEdit edit;
  edit.setEngineText(text);

  for (qsizetype e = 0; e <= text.size(); ++e) {
    const bool insideBreak = e > 0 && e < text.size() && text[e - 1] == u'\r' && text[e] == u'\n';
    const int start = edit.documentPosition(e, false);
    const int end = edit.documentPosition(e, true);
    if (insideBreak) {
      QCOMPARE(edit.enginePosition(start), e - 1);
      QCOMPARE(edit.enginePosition(end), e + 1);
    } else {
      QCOMPARE(edit.enginePosition(start), e);
      QCOMPARE(edit.enginePosition(end), e);
    }
  }
}

void BigSubjectTest::breaksThatStandForNothing_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<bool>("atStart");  // of the second paragraph, else at the end of the first
  QTest::addColumn<QString>("left");
  QTest::newRow("Backspace") << int(Qt::Key_Backspace) << true
                             << QString(1999, u'a') + QString(1000, u'b');
  QTest::newRow("Delete") << int(Qt::Key_Delete) << false
                          << QString(2000, u'a') + QString(999, u'b');
}

// Between two paragraphs of one long line there is no character for the user: the key
// erases the character beyond the break.
void BigSubjectTest::breaksThatStandForNothing() {
  QFETCH(int, key);
  QFETCH(bool, atStart);
  QFETCH(QString, left);
  SubjectEdit edit;
  edit.setEngineText(QString(2000, u'a') + QString(1000, u'b'));
  QCOMPARE(edit.document()->blockCount(), 2);
  QTextCursor cursor(edit.document());
  cursor.setPosition(atStart ? edit.document()->begin().next().position() : 2000);
  edit.setTextCursor(cursor);

  QTest::keyClick(&edit, static_cast<Qt::Key>(key));

  QCOMPARE(edit.engineText(), left);
}

void BigSubjectTest::lineFeedOffer_data() {
  QTest::addColumn<QString>("pasted");
  QTest::addColumn<QString>("button");  // the one clicked, if any
  QTest::addColumn<QString>("offer");
  QTest::addColumn<QString>("subject");
  QTest::newRow("read as CR LF") << "a\nb\r\nc\n"
                                 << "ReadAsCrLf"
                                 << "2 lone LF came with this text, and the engine takes only CR "
                                    "LF as a line break."
                                 << "[a\r\nb\r\nc\r\n]";
  QTest::newRow("kept") << "a\nb"
                        << "KeepLineFeeds"
                        << "1 lone LF came with this text, and the engine takes only CR LF as a "
                           "line break."
                        << "[a\nb]";
  QTest::newRow("no lone LF") << "a\r\nb"
                              << ""
                              << ""
                              << "[a\r\nb]";
}

// Pasted lone LFs bring an offer to read them as CR LF, which takes only the pasted ones and
// can be undone.
void BigSubjectTest::lineFeedOffer() {
  QFETCH(QString, pasted);
  QFETCH(QString, button);
  QFETCH(QString, offer);
  QFETCH(QString, subject);
  Bench bench;
  bench.window.show();
  bench.subject->setEngineText(QStringLiteral("[\n]"));  // a lone LF of the user's own
  QTextCursor cursor = bench.subject->textCursor();
  cursor.setPosition(1);
  bench.subject->setTextCursor(cursor);
  auto* shown = Control<QWidget>(bench.window, "LineFeedOffer");
  QApplication::clipboard()->setText(pasted);

  bench.subject->paste();

  QCOMPARE(shown->isVisible(), !offer.isEmpty());
  if (offer.isEmpty()) return;
  QCOMPARE(bench.Text("LineFeedText"), offer);
  Control<QPushButton>(bench.window, qPrintable(button))->click();
  QVERIFY(!shown->isVisible());
  subject.insert(subject.size() - 1, u'\n');
  QCOMPARE(bench.subject->engineText(), subject);
  if (button == QLatin1String("ReadAsCrLf")) {
    bench.subject->undo();
    QCOMPARE(bench.subject->engineText(), QStringLiteral("[") + pasted + QStringLiteral("\n]"));
  }
}

void BigSubjectTest::subjectTooLong_data() {
  QTest::addColumn<int>("length");
  QTest::addColumn<int>("limit");
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QString>("hint");
  QTest::addColumn<QString>("status");
  QTest::newRow("longer than hosts search")
      << 1048576 << 32766 << "b"
      << "The subject is 1,048,576 characters; hosts search at most 32,766: raise the limit to "
         "search it."
      << "";
  QTest::newRow("longer than a raised limit")
      << 40000 << 35000 << "b"
      << "The subject is 40,000 characters; the limit is 35,000: raise the limit to search it."
      << "";
  QTest::newRow("within a raised limit") << 40000 << 50000 << "b"
                                         << ""
                                         << "No match";
  QTest::newRow("exactly as long, nothing found")
      << 32766 << 32766 << "b"
      << "The subject is 32,766 characters, and a search that finds nothing in so many overflows "
         "where hosts search: raise the limit to search it to its end."
      << "";
  QTest::newRow("exactly as long, matches before")
      << 32766 << 32766 << "a{100}"
      << "The subject is 32,766 characters, and a search that finds nothing in so many overflows "
         "where hosts search: raise the limit to search it to its end."
      << "327 matches, then the error above";
  QTest::newRow("another overflow") << 10 << 32766 << "a{99999}"
                                    << ""
                                    << "";
}

// Error 6 of a subject that is too long comes with what it means and what to do; other
// errors 6 do not.
void BigSubjectTest::subjectTooLong() {
  QFETCH(int, length);
  QFETCH(int, limit);
  QFETCH(QString, pattern);
  QFETCH(QString, hint);
  QFETCH(QString, status);
  Bench bench;
  bench.subjectLimit->setValue(limit);
  bench.subject->setEngineText(QString(length, u'a'));
  bench.pattern->setText(pattern);

  QVERIFY(bench.WaitShown());

  QCOMPARE(bench.Text("ErrorHint"), hint);
  QCOMPARE(bench.Text("Status"), status);
  QCOMPARE(bench.Text("SubjectNote"),
           limit == 32766 ? QStringLiteral("as hosts get it")
                          : QStringLiteral("for experiments only: hosts search at most 32,766"));
}

// The C++ line stays short however long the subject; Copy copies the whole call.
void BigSubjectTest::cppLineShort() {
  Bench bench;
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowActive(&bench.window));
  const QString text = QString(kMegabyte, u'a');
  bench.subject->setEngineText(text);
  bench.pattern->setText(QStringLiteral("b"));

  const QString line = Control<QLineEdit>(bench.window, "Cpp")->text();
  QVERIFY2(line.size() < 600, qPrintable(QString::number(line.size())));
  QVERIFY(line.startsWith(QStringLiteral("quarn::Quarn(u\"") + QString(200, u'a') +
                          QStringLiteral("\" /* ... 1048376 more characters */, u\"b\", 0)")));
  QTest::keyClick(&bench.window, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(QApplication::clipboard()->text(),
           QStringLiteral("quarn::Quarn(u\"") + text + QStringLiteral("\", u\"b\", 0)"));
}

namespace {

void AddShapes() {
  QTest::addColumn<QString>("shape");
  QTest::newRow("CR LF lines") << "CR LF lines";
  QTest::newRow("LF lines") << "LF lines";
  QTest::newRow("one line") << "one line";
}

}  // namespace

void BigSubjectTest::loadBigSubject_data() {
  AddShapes();
}

// The time that loading a megabyte takes the window, the work its change sets off included.
void BigSubjectTest::loadBigSubject() {
  QFETCH(QString, shape);
  const QString text = Megabyte(shape);
  Bench bench;
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&bench.window));

  QBENCHMARK_ONCE {
    bench.subject->setEngineText(text);
    QApplication::processEvents();
  }

  QCOMPARE(bench.subject->engineText(), text);
  QVERIFY(bench.WaitShown());
  QCOMPARE(bench.Text("ErrorHint"),
           QStringLiteral("The subject is %L1 characters; hosts search at most 32,766: raise the "
                          "limit to search it.")
               .arg(text.size()));
}

void BigSubjectTest::clearBigSubject_data() {
  AddShapes();
}

// The time that the user's select all and Delete take on a megabyte.
void BigSubjectTest::clearBigSubject() {
  QFETCH(QString, shape);
  Bench bench;
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowActive(&bench.window));
  bench.subject->setEngineText(Megabyte(shape));
  QVERIFY(bench.WaitShown());
  bench.subject->setFocus();

  QBENCHMARK_ONCE {
    QTest::keyClick(bench.subject, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(bench.subject, Qt::Key_Delete);
    QApplication::processEvents();
  }

  QCOMPARE(bench.subject->engineText(), QString());
  QVERIFY(bench.WaitShown());
  QCOMPARE(bench.Text("Status"), QStringLiteral("No match"));
}

void BigSubjectTest::windowAnswers_data() {
  AddShapes();
}

// A megabyte loaded, searched for every word with the limit raised, highlighted, scrolled
// through and cleared: the result is the longest the window went without answering.
void BigSubjectTest::windowAnswers() {
  QFETCH(QString, shape);
  const QString text = Megabyte(shape);
  const qsizetype words = text.count(QStringLiteral("quick")) * 12;
  Bench bench;
  bench.subjectLimit->setValue(2 * kMegabyte);
  bench.pattern->setText(QStringLiteral("\\w+"));
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowActive(&bench.window));
  QVERIFY(bench.WaitShown());
  bench.subject->setFocus();

  PauseWatch watch;
  bench.subject->setEngineText(text);
  QVERIFY(bench.WaitShown());
  QCOMPARE(bench.Text("Status"), QStringLiteral("%L1 matches").arg(words));
  QVERIFY(!bench.subject->marks().isEmpty());
  for (const QKeySequence::StandardKey key :
       {QKeySequence::MoveToEndOfDocument, QKeySequence::MoveToPreviousPage,
        QKeySequence::MoveToStartOfDocument}) {
    const QKeyCombination combination = QKeySequence(key)[0];
    QTest::keyClick(bench.subject, combination.key(), combination.keyboardModifiers());
    QTest::qWait(50);
  }
  QVERIFY(!bench.subject->marks().isEmpty());
  QTest::keyClick(bench.subject, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(bench.subject, Qt::Key_Delete);
  QVERIFY(bench.WaitShown());
  QTest::setBenchmarkResult(static_cast<qreal>(watch.longest()), QTest::WalltimeMilliseconds);
}

QTEST_MAIN(BigSubjectTest)
#include "bigsubject_test.moc"
