// Drives the pattern workbench as a user would, on the offscreen platform: typing, loading
// examples and case files, the previews, the keyboard, and palettes. Nothing waits for a
// time: each test waits for the window's signals, with generous limits. The window's
// questions are answered by the test, which records them.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextTable>
#include <QTreeView>

#include "colours.h"
#include "controls.h"
#include "enginetext.h"
#include "escapes.h"
#include "examples.h"
#include "form1.h"
#include "launch.h"
#include "patternedit.h"
#include "subjectedit.h"
#include "workbench.h"

#include <span>
#ifdef QUARN_EXE
#include "run_quarn.h"
#endif

using quarn::demo::ToQString;

namespace {

constexpr int kPatience = 30000;  // milliseconds; only a broken window waits so long

using quarn::demo::testing::Control;

struct Bench {
  Workbench window;
  PatternEdit* pattern = Control<PatternEdit>(window, "Pattern");
  SubjectEdit* subject = Control<SubjectEdit>(window, "Subject");
  QLabel* error = Control<QLabel>(window, "Error");
  ErrorCaret* caret = Control<ErrorCaret>(window, "ErrorCaret");
  QProgressBar* depth = Control<QProgressBar>(window, "Depth");
  QSpinBox* depthLimit = Control<QSpinBox>(window, "DepthLimit");
  QSpinBox* subjectLimit() { return Control<QSpinBox>(window, "SubjectLimit"); }
  QTreeView* matches = Control<QTreeView>(window, "Matches");
  QTableWidget* cases = Control<QTableWidget>(window, "Cases");
  QSignalSpy shown{&window, &Workbench::resultsShown};
  // The window's questions and the answer each gets (Cancel where it is not offered).
  QStringList questions;
  QMessageBox::StandardButton answer = QMessageBox::Cancel;
  QList<QMessageBox::StandardButtons> offered;

  Bench() {
    window.setQuestion([this](const QString& text, QMessageBox::StandardButtons buttons) {
      questions << text;
      offered << buttons;
      return buttons.testFlag(answer) ? answer : QMessageBox::Cancel;
    });
  }

  // Sets the inputs and waits until their outcome shows.
  bool Search(const QString& text, const QString& re, int flags = 0) {
    subject->setEngineText(text);
    pattern->setText(re);
    for (auto [name, flag] : {std::pair{"IgnoreCase", quarn::reIgnoreCase},
                              std::pair{"SingleLine", quarn::reSingleLine},
                              std::pair{"Multiline", quarn::reMultiline}}) {
      Control<QCheckBox>(window, name)->setChecked(flags & flag);
    }
    return WaitShown();
  }
  bool WaitShown() {
    shown.clear();
    return QTest::qWaitFor([&] { return !shown.isEmpty(); }, kPatience);
  }
  QStringList MatchTexts() const {
    QStringList texts;
    const QAbstractItemModel* model = matches->model();
    for (int i = 0; i < model->rowCount(); ++i)
      texts << model->index(i, 3).data().toString();
    return texts;
  }
  QString Status() { return Control<QLabel>(window, "Status")->text(); }
  // Rows of a list, loaded as a view scrolling to its end would.
  static int AllRows(QAbstractItemModel* model) {
    while (model->canFetchMore({}))
      model->fetchMore({});
    return model->rowCount();
  }
  QString Column(int column) const {
    QStringList cells;
    for (int row = 0; row < cases->rowCount(); ++row)
      cells << cases->item(row, column)->text();
    return cells.join(u'|');
  }
};

QPalette DarkPalette() {
  QPalette dark(QColor(53, 53, 53));
  dark.setColor(QPalette::Base, QColor(30, 30, 30));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
  return dark;
}

}  // namespace

class WorkbenchTest : public QObject {
  Q_OBJECT

 private slots:
  void liveWhileTyping_data();
  void liveWhileTyping();
  void subjectKeepsLineBreaks_data();
  void subjectKeepsLineBreaks();
  void changeCancelsRunningSearch();
  void highlights_data();
  void highlights();
  void errorInPlace_data();
  void errorInPlace();
  void depth_data();
  void depth();
  void caseVerdicts_data();
  void caseVerdicts();
  void caseFileRoundTrip();
  void caseFileRefused_data();
  void caseFileRefused();
  void caseFileSuffix_data();
  void caseFileSuffix();
  void openAsks_data();
  void openAsks();
  void unsavedChanges_data();
  void unsavedChanges();
  void closeAsks_data();
  void closeAsks();
  void startOptions_data();
  void startOptions();
  void everyMatch();
  void staleWhileTyping_data();
  void staleWhileTyping();
  void exampleCaption_data();
  void exampleCaption();
  void emptyMatchesMarked_data();
  void emptyMatchesMarked();
  void minimumSize();
  void replacePreview_data();
  void replacePreview();
  void splitPreview_data();
  void splitPreview();
  void quickReference();
  void copyAsCpp_data();
  void copyAsCpp();
  void f2OpensFromDemoWindow_data();
  void f2OpensFromDemoWindow();
  void paletteColours_data();
  void paletteColours();
  void keyboardOrder();
  void launch_data();
  void launch();
};

void WorkbenchTest::liveWhileTyping_data() {
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QStringList>("found");
  QTest::newRow("every match") << "cat, cot, cut"
                               << "c[ao]t" << QStringList{"cat", "cot"};
  QTest::newRow("line break") << "a\r\nb"
                              << "a\\nb" << QStringList{"a<CR><LF>b"};
  QTest::newRow("a lone LF is no line break") << "a\nb"
                                              << "a\\nb" << QStringList{};
  QTest::newRow("empty matches") << "ab"
                                 << "x*" << QStringList{"", "", ""};
}

// Typing alone brings the outcome: no button, no Enter.
void WorkbenchTest::liveWhileTyping() {
  QFETCH(QString, subject);
  QFETCH(QString, typed);
  QFETCH(QStringList, found);
  Bench bench;
  QVERIFY(bench.Search(subject, QString()));

  QTest::keyClicks(bench.pattern, typed);

  QVERIFY(bench.WaitShown());
  QCOMPARE(bench.MatchTexts(), found);
}

void WorkbenchTest::subjectKeepsLineBreaks_data() {
  QTest::addColumn<QString>("typed");  // each "|" a key: Enter, "^" Shift+Enter
  QTest::addColumn<QString>("pasted");
  QTest::addColumn<QString>("engineText");
  QTest::newRow("Enter types CR LF") << "a|b"
                                     << ""
                                     << "a\r\nb";
  QTest::newRow("Shift+Enter types a lone LF") << "a^b"
                                               << ""
                                               << "a\nb";
  QTest::newRow("pasted text stays as it was")
      << "" << QStringLiteral("x\ny\r\nz\r\u2029\u2028\t\u0001\uFFFC.")
      << QStringLiteral("x\ny\r\nz\r\u2029\u2028\t\u0001\uFFFC.");
}

// The engine gets CR LF for each line break the user makes, and every character pasted;
// copying gives the same text back.
void WorkbenchTest::subjectKeepsLineBreaks() {
  QFETCH(QString, typed);
  QFETCH(QString, pasted);
  QFETCH(QString, engineText);
  Bench bench;
  bench.subject->clear();
  for (const QChar c : typed) {
    if (c == u'|' || c == u'^') {
      QTest::keyClick(bench.subject, Qt::Key_Return,
                      c == u'^' ? Qt::ShiftModifier : Qt::NoModifier);
    } else {
      QTest::keyClicks(bench.subject, c);
    }
  }
  QApplication::clipboard()->setText(pasted);
  if (!pasted.isEmpty()) bench.subject->paste();

  QCOMPARE(bench.subject->engineText(), engineText);
  bench.subject->selectAll();
  bench.subject->copy();
  QCOMPARE(QApplication::clipboard()->text(), engineText);
}

// A pattern whose search would run for days with the subject: only the cancel flag can end
// it, and its outcome never shows. (Four groups read by back references stay exponential,
// and no text that every match needs is missing from the subject, so no fact ends it early.)
void WorkbenchTest::changeCancelsRunningSearch() {
  Bench bench;
  QVERIFY(bench.Search(QStringLiteral("abc"), QStringLiteral("b")));
  QSignalSpy started(&bench.window, &Workbench::searchStarted);
  QSignalSpy ended(&bench.window, &Workbench::searchEnded);
  bench.subject->setEngineText(QString(40, u'a'));
  bench.pattern->setText(QStringLiteral("(?:(a)|(a)|(a)|(a))*\\1\\2\\3\\4\\W"));
  QVERIFY(started.wait(kPatience));
  bench.shown.clear();

  bench.pattern->setText(QStringLiteral("a+"));

  QTRY_VERIFY_WITH_TIMEOUT(!bench.shown.isEmpty(), kPatience);
  QCOMPARE(ended.first().first().toBool(), true);
  QCOMPARE(bench.shown.size(), 1);
  QCOMPARE(bench.MatchTexts(), QStringList{QString(40, u'a')});
  QVERIFY(bench.error->isHidden());
}

void WorkbenchTest::highlights_data() {
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("pattern");
  // Each selection: document start and end, group, match.
  QTest::addColumn<QList<QList<int>>>("selections");
  QTest::newRow("groups of two matches")
      << "1-2 34-5"
      << "(\\d+)-(\\d+)" << QList<QList<int>>{{0, 3, 0, 0}, {0, 1, 1, 0}, {2, 3, 2, 0},
                                              {4, 8, 0, 1}, {4, 6, 1, 1}, {7, 8, 2, 1}};
  QTest::newRow("a line break is one place")
      << "ab\r\ncd\r\ne"
      << "(b\\nc)d\\n(e)" << QList<QList<int>>{{1, 9, 0, 0}, {1, 5, 1, 0}, {8, 9, 2, 0}};
  QTest::newRow("half of a line break") << "a\r\nb"
                                        << "\\r" << QList<QList<int>>{{1, 2, 0, 0}};
  QTest::newRow("a lone LF") << "a\nb"
                             << "a.b" << QList<QList<int>>{{0, 3, 0, 0}};
  QTest::newRow("unmatched group") << "a"
                                   << "(x)?a" << QList<QList<int>>{{0, 1, 0, 0}};
}

// Each match and group is marked in its colour, and painted where its text stands.
void WorkbenchTest::highlights() {
  QFETCH(QString, subject);
  QFETCH(QString, pattern);
  QFETCH(QList<QList<int>>, selections);
  Bench bench;
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&bench.window));

  QVERIFY(bench.Search(subject, pattern));

  QList<SubjectEdit::Mark> expected;
  for (const QList<int>& s : selections) {
    expected << SubjectEdit::Mark{s[0], s[1],
                                  quarn::demo::GroupColour(bench.window.palette(), s[2], s[3])};
  }
  QCOMPARE(bench.subject->marks(), expected);
  // The last mark is painted over nothing, from the place of its first character.
  const SubjectEdit::Mark& last = expected.last();
  const QRect area = bench.subject->markArea(last).front();
  QTextCursor first(bench.subject->document());
  first.setPosition(bench.subject->documentPosition(last.start, false));
  QVERIFY(qAbs(area.left() - bench.subject->cursorRect(first).center().x()) <= 1);
  const QImage image = bench.subject->viewport()->grab().toImage();
  QCOMPARE(QColor(image.pixel(area.topLeft() + QPoint(1, 1))).name(), last.colour.name());
}

void WorkbenchTest::errorInPlace_data() {
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<int>("flags");
  QTest::addColumn<QString>("report");
  QTest::addColumn<int>("position");  // 0-based; -1 for none
  QTest::newRow("unclosed group")
      << "the quick brown fox jumps over the lazy dog (b" << 0
      << "Error #20052: Error in Quarn.ProcessParentheses: Invalid regular expression: A closing "
         ") expected: the quick brown fox jumps over the lazy dog (b"
      << 44;
  QTest::newRow("nested quantifier")
      << "a**" << 0
      << "Error #20052: Error in Quarn.GetNextQuarn: Nested +?*{} in regular expression." << 2;
  QTest::newRow("single line and multi-line")
      << "a" << (quarn::reSingleLine | quarn::reMultiline)
      << "Error #20053: Error in Quarn.Quarn: Cannot specify both reSingleLine and reMultiline "
         "at the same time."
      << -1;
}

// The report is the engine's own text, in the window; the caret stands under the character
// at the position, where the pattern field itself puts that character.
void WorkbenchTest::errorInPlace() {
  QFETCH(QString, pattern);
  QFETCH(int, flags);
  QFETCH(QString, report);
  QFETCH(int, position);
  Bench bench;
  bench.window.resize(640, 600);  // narrow enough for the report to wrap
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&bench.window));

  QVERIFY(bench.Search(QStringLiteral("abc"), pattern, flags));

  QVERIFY(bench.error->isVisible());
  QCOMPARE(bench.error->text(), report);
  QCOMPARE(QApplication::activeModalWidget(), nullptr);
  QCOMPARE(bench.caret->position().value_or(-1), position);
  if (position < 0) return;
  QApplication::processEvents();  // lays the window out around the report
  QVERIFY(bench.caret->isVisible() && bench.caret->height() > 0);
  const int tip = bench.caret->tipInPattern();
  const int quarter = bench.pattern->fontMetrics().horizontalAdvance(u'x') / 4;
  const int y = bench.pattern->height() / 2;
  QCOMPARE(bench.pattern->cursorPositionAt(QPoint(tip - quarter, y)), position);
  QCOMPARE(bench.pattern->cursorPositionAt(QPoint(tip + quarter, y)), position + 1);
}

void WorkbenchTest::depth_data() {
  QTest::addColumn<int>("length");
  QTest::addColumn<int>("limit");
  QTest::addColumn<QString>("shown");
  QTest::addColumn<bool>("error");
  QTest::addColumn<QString>("note");
  // Each character that a* takes costs two levels.
  QTest::newRow("well within") << 100 << 1000 << "202 of 1,000" << false << "as hosts get it";
  QTest::newRow("at the limit") << 600 << 1000 << "limit of 1,000 reached" << true
                                << "as hosts get it";
  QTest::newRow("raised") << 600 << 5000 << "1,202 of 5,000" << false
                          << "for experiments only: hosts search with 1,000";
}

void WorkbenchTest::depth() {
  QFETCH(int, length);
  QFETCH(int, limit);
  QFETCH(QString, shown);
  QFETCH(bool, error);
  QFETCH(QString, note);
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  Bench bench;
  bench.depthLimit->setValue(limit);

  QVERIFY(bench.Search(QString(length, u'a'), QStringLiteral("a*")));

  QCOMPARE(Control<QLabel>(bench.window, "DepthText")->text(), shown);
  QCOMPARE(bench.error->isHidden(), !error);
  QCOMPARE(Control<QLabel>(bench.window, "DepthNote")->text(), note);
}

void WorkbenchTest::caseVerdicts_data() {
  QTest::addColumn<QString>("edit");  // what the user changes after adding the case
  QTest::addColumn<QString>("result");
  QTest::newRow("as added") << ""
                            << "pass";
  QTest::newRow("expects no match") << "expect"
                                    << "fail: matched \u201C2026\u201D";
  QTest::newRow("another match text") << "text"
                                      << "fail: matched \u201C2026\u201D";
  QTest::newRow("match text not compared") << "text unchecked"
                                           << "pass";
  QTest::newRow("pattern changed") << "pattern"
                                   << "fail: no match";
  QTest::newRow("pattern broken") << "broken"
                                  << "fail: Error #20052: Error in Quarn.ProcessParentheses: "
                                     "Invalid regular expression: A closing ) expected: (";
}

// A case expects what the pattern does when it is added; changing the expectation or the
// pattern then shows whether it still holds.
void WorkbenchTest::caseVerdicts() {
  QFETCH(QString, edit);
  QFETCH(QString, result);
  Bench bench;
  QVERIFY(bench.Search(QStringLiteral("in 2026"), QStringLiteral("\\d+")));
  Control<QPushButton>(bench.window, "AddCase")->click();
  QVERIFY(bench.WaitShown());

  if (edit == QLatin1String("expect")) bench.cases->item(0, 2)->setCheckState(Qt::Unchecked);
  if (edit == QLatin1String("text")) bench.cases->item(0, 3)->setText(QStringLiteral("20"));
  if (edit.startsWith(QLatin1String("text unchecked"))) {
    bench.cases->item(0, 3)->setText(QStringLiteral("20"));
    bench.cases->item(0, 3)->setCheckState(Qt::Unchecked);
  }
  if (edit == QLatin1String("pattern"))
    QVERIFY(bench.Search(QStringLiteral("x"), QStringLiteral("[a-z]{3}")));
  if (edit == QLatin1String("broken"))
    QVERIFY(bench.Search(QStringLiteral("x"), QStringLiteral("(")));

  QCOMPARE(bench.Column(4), result);
}

// What the window saves, it loads unchanged, and quarn --host answers every call of the file
// as it expects.
void WorkbenchTest::caseFileRoundTrip() {
  const QStringList subjects{QStringLiteral("Dates: 2026-12-08\r\n2027-01-15"),
                             QStringLiteral("no date"), QStringLiteral("lone\nLF 1999-9-9"),
                             QStringLiteral("\"quoted\" \\ 1999-12-31 caf\u00E9 \U0001F600")};
  const QString pattern = QStringLiteral("(\\d{4})-(\\d\\d?)-(\\d\\d)$");
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("cases.jsonl"));
  QList<quarn::demo::TestCase> saved;
  {
    Bench bench;
    for (const QString& subject : subjects) {
      QVERIFY(bench.Search(subject, pattern, quarn::reMultiline));
      Control<QPushButton>(bench.window, "AddCase")->click();
    }
    QVERIFY(bench.WaitShown());
    QCOMPARE(bench.Column(4), QStringLiteral("pass|pass|pass|pass"));
    QCOMPARE(bench.window.saveCases(file), QString());
    saved = bench.window.testCases();
  }
  Bench loaded;
  loaded.answer = QMessageBox::Open;  // over the example's pattern
  QCOMPARE(loaded.window.loadCases(file), QString());
  QVERIFY(loaded.WaitShown());
  QCOMPARE(loaded.window.testCases(), saved);
  QCOMPARE(loaded.pattern->text(), pattern);
  QVERIFY(Control<QCheckBox>(loaded.window, "Multiline")->isChecked());
  QCOMPARE(loaded.Column(4), QStringLiteral("pass|pass|pass|pass"));

#ifdef QUARN_EXE
  QFile lines(file);
  QVERIFY(lines.open(QIODevice::ReadOnly));
  for (const QByteArray& line : lines.readAll().split('\n')) {
    if (line.isEmpty()) continue;
    const QJsonObject test = QJsonDocument::fromJson(line).object();
    std::string calls;
    for (const QJsonValue call : test[QStringLiteral("calls")].toArray())
      calls += QJsonDocument(call.toObject()).toJson(QJsonDocument::Compact).toStdString() + '\n';
    const quarn::cli_test::RunResult run = quarn::cli_test::RunQuarn({"--host"}, calls);
    QCOMPARE(run.status, 0);
    QJsonArray answers;
    for (const QByteArray& answer : QByteArray::fromStdString(run.out).trimmed().split('\n'))
      answers << QJsonDocument::fromJson(answer).object();
    QCOMPARE(answers, test[QStringLiteral("expect")].toArray());
  }
#endif
}

void WorkbenchTest::caseFileRefused_data() {
  QTest::addColumn<QByteArray>("content");
  QTest::addColumn<QString>("why");
  const QByteArray first =
      R"({"name":"a","calls":[{"call":"Quarn","text":"x","pattern":"x","flags":0}],)"
      R"("expect":[{"result":true,"reports":[]}]})"
      "\n";
  QTest::newRow("not JSON") << first + "{\n"
                            << "line 2: ";
  QTest::newRow("two patterns")
      << first + R"({"name":"b","calls":[{"call":"Quarn","text":"y","pattern":"y"}],)"
                 R"("expect":[{"result":true,"reports":[]}]})"
      << "line 2: another pattern or other flags than the first case";
  QTest::newRow("an expected error")
      << QByteArray(R"({"name":"b","calls":[{"call":"Quarn","text":"y","pattern":"("}],)"
                    R"("expect":[{"result":false,"reports":["Error #20052"]}]})")
      << "line 1: an expected answer has reports";
  QTest::newRow("another call")
      << QByteArray(
             R"({"name":"b","calls":[{"call":"Quarn","text":"y","pattern":"y"},{"call":"QuarnIndex",)"
             R"("type":0}],"expect":[{"result":true,"reports":[]},{"start":1,"length":1,"reports":[]}]})")
      << "line 1: the second call does not ask for the match text";
}

// A file the window cannot take leaves the cases as they were and says why in the window.
void WorkbenchTest::caseFileRefused() {
  QFETCH(QByteArray, content);
  QFETCH(QString, why);
  QTemporaryDir dir;
  QFile file(dir.filePath(QStringLiteral("bad.jsonl")));
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(content);
  file.close();
  Bench bench;
  Control<QPushButton>(bench.window, "AddCase")->click();

  const QString error = bench.window.loadCases(file.fileName());

  QVERIFY2(error.contains(why), qPrintable(error));
  QCOMPARE(Control<QLabel>(bench.window, "CasesSummary")->text(), error);
  QCOMPARE(bench.cases->rowCount(), 1);
}

void WorkbenchTest::copyAsCpp_data() {
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<int>("flags");
  QTest::addColumn<QString>("call");
  QTest::newRow("no options") << "abc"
                              << "b" << 0 << R"(quarn::Quarn(u"abc", u"b", 0))";
  QTest::newRow("escapes and options")
      << "say \"hi\"\r\n\u00E9"
      << "\\w+$" << (quarn::reIgnoreCase | quarn::reMultiline)
      << R"(quarn::Quarn(u"say \"hi\"\r\n\u00E9", u"\\w+$", quarn::reIgnoreCase | quarn::reMultiline))";
}

void WorkbenchTest::copyAsCpp() {
  QFETCH(QString, subject);
  QFETCH(QString, pattern);
  QFETCH(int, flags);
  QFETCH(QString, call);
  Bench bench;
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowActive(&bench.window));
  QVERIFY(bench.Search(subject, pattern, flags));

  QTest::keyClick(&bench.window, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);

  QCOMPARE(QApplication::clipboard()->text(), call);
  QCOMPARE(Control<QLineEdit>(bench.window, "Cpp")->text(), call);
}

void WorkbenchTest::f2OpensFromDemoWindow_data() {
  QTest::addColumn<int>("example");  // chosen in the demo window, or 0
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QString>("caption");
  QTest::newRow("typed") << 0 << "cat, cot"
                         << "c[ao]t"
                         << "(Select one)";
  QTest::newRow("an example") << 12 << "This is is is issued"
                              << "\\b(\\w+)(?:\\s+\\1)+\\b"
                              << "Repeated words";
}

// F2 opens one workbench, on what the demo window has now, without options.
void WorkbenchTest::f2OpensFromDemoWindow() {
  QFETCH(int, example);
  QFETCH(QString, text);
  QFETCH(QString, pattern);
  QFETCH(QString, caption);
  Form1 form(QString{});
  form.show();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  QTest::keyClick(&form, Qt::Key_F2);
  Workbench* bench = form.findChild<Workbench*>();
  QVERIFY(bench != nullptr);
  Control<QCheckBox>(*bench, "IgnoreCase")->setChecked(true);
  if (example > 0) {
    auto* test = Control<QComboBox>(form, "Test");
    test->setCurrentIndex(example);
    emit test->activated(example);
  } else {
    Control<QComboBox>(form, "Text")->setEditText(text);
    Control<QComboBox>(form, "RE")->setEditText(pattern);
  }
  // The user goes back to the demo window (the workbench counts as inside it for
  // isActiveWindow()).
  form.activateWindow();
  QTRY_COMPARE(QApplication::activeWindow(), &form);

  QTest::keyClick(&form, Qt::Key_F2);

  QCOMPARE(form.findChildren<Workbench*>().size(), 1);
  QVERIFY(bench->isVisible() && bench->isWindow());
  QCOMPARE(Control<SubjectEdit>(*bench, "Subject")->engineText(), text);
  QCOMPARE(Control<PatternEdit>(*bench, "Pattern")->text(), pattern);
  QVERIFY(!Control<QCheckBox>(*bench, "IgnoreCase")->isChecked());
  QCOMPARE(Control<QComboBox>(*bench, "Example")->currentText(), caption);
}

void WorkbenchTest::paletteColours_data() {
  QTest::addColumn<QPalette>("palette");
  QTest::newRow("light") << QPalette(QColor(239, 239, 239));
  QTest::newRow("dark") << DarkPalette();
}

// Every highlight keeps the palette's text readable, no two groups share a colour, and the
// error stands out from the window in either theme.
void WorkbenchTest::paletteColours() {
  QFETCH(QPalette, palette);
  Bench bench;
  bench.window.setPalette(palette);

  QVERIFY(bench.Search(QStringLiteral("ab ab"), QStringLiteral("(a)(b)(?:(x)|(\\s)?)")));

  QSet<QRgb> groups;
  for (const SubjectEdit::Mark& mark : bench.subject->marks()) {
    const QColor& background = mark.colour;
    QVERIFY(quarn::demo::Contrast(background, palette.color(QPalette::Text)) >= 4.5);
    QVERIFY(quarn::demo::Contrast(background, palette.color(QPalette::Base)) > 1.1);
    groups << background.rgb();
  }
  QCOMPARE(groups.size(), 7);  // 0, 1, 2 and 4 of the first match, 0 to 2 of the second
  QVERIFY(bench.Search(QStringLiteral("x"), QStringLiteral("(")));
  QVERIFY(quarn::demo::Contrast(bench.error->palette().color(QPalette::WindowText),
                                palette.color(QPalette::Window)) >= 4.5);
}

// Tab leaves the subject editor too, so every control is reached from the keyboard.
void WorkbenchTest::keyboardOrder() {
  Bench bench;
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowActive(&bench.window));
  Control<QWidget>(bench.window, "Example")->setFocus();

  QStringList visited;
  for (int i = 0; i < 19; ++i) {
    visited << QApplication::focusWidget()->objectName();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }

  QCOMPARE(visited, (QStringList{"Example", "Pattern", "IgnoreCase", "SingleLine", "Multiline",
                                 "DepthLimit", "SubjectLimit", "Cpp", "CopyCpp", "Subject",
                                 "ResultTabs", "Matches", "Cases", "AddCase", "RemoveCase",
                                 "OpenCases", "SaveCases", "Explanation", "Diagnostics"}));
  QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Example"));
  for (const char* name :
       {"Pattern", "Subject", "Depth", "DepthLimit", "SubjectLimit", "Cpp", "Matches",
        "Replacement", "ReplacePreview", "Pieces", "Cases", "Explanation", "Diagnostics"})
    QVERIFY2(!Control<QWidget>(bench.window, name)->accessibleName().isEmpty(), name);
}

void WorkbenchTest::launch_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<bool>("workbench");
  QTest::addColumn<QString>("formCommandLine");
  QTest::addColumn<QString>("screenshot");
  QTest::addColumn<QString>("error");
  QTest::newRow("the demo window") << QStringList{"/debug"} << false << "/debug"
                                   << ""
                                   << "";
  QTest::newRow("its command line kept") << QStringList{"/debug", "--workbench"} << true << "/debug"
                                         << ""
                                         << "";
  QTest::newRow("a screenshot") << QStringList{"--screenshot", "a.png"} << true << ""
                                << "a.png"
                                << "";
  QTest::newRow("a switch without its value") << QStringList{"--example"} << true << ""
                                              << ""
                                              << "--example needs a value";
}

void WorkbenchTest::launch() {
  QFETCH(QStringList, arguments);
  QFETCH(bool, workbench);
  QFETCH(QString, formCommandLine);
  QFETCH(QString, screenshot);
  QFETCH(QString, error);

  const Launch launch = ParseLaunch(arguments);

  QCOMPARE(launch.workbench, workbench);
  QCOMPARE(launch.formCommandLine, formCommandLine);
  QCOMPARE(launch.screenshot, screenshot);
  QCOMPARE(launch.error, error);
}

void WorkbenchTest::caseFileSuffix_data() {
  QTest::addColumn<QString>("given");
  QTest::addColumn<QString>("written");
  QTest::newRow("no suffix") << "mycases"
                             << "mycases.jsonl";
  QTest::newRow("the suffix") << "mycases.jsonl"
                              << "mycases.jsonl";
  QTest::newRow("another suffix") << "my.cases"
                                  << "my.cases";
}

// A file saved without a suffix gets the one that Open lists, and the window goes on with
// the file as written.
void WorkbenchTest::caseFileSuffix() {
  QFETCH(QString, given);
  QFETCH(QString, written);
  QTemporaryDir dir;
  Bench bench;
  Control<QPushButton>(bench.window, "AddCase")->click();

  QCOMPARE(bench.window.saveCases(dir.filePath(given)), QString());

  QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{written});
  QCOMPARE(bench.window.casesFile(), dir.filePath(written));
  QVERIFY(bench.window.windowTitle().startsWith(written + QStringLiteral("[*]")));
  QVERIFY(!bench.window.isWindowModified());
}

void WorkbenchTest::openAsks_data() {
  QTest::addColumn<QString>("before");  // what the window holds when the file is opened
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("asked");
  QTest::addColumn<bool>("opened");
  QTest::newRow("another pattern, opened") << "other" << int(QMessageBox::Open) << true << true;
  QTest::newRow("another pattern, kept") << "other" << int(QMessageBox::Cancel) << true << false;
  QTest::newRow("unsaved cases, kept") << "cases" << int(QMessageBox::Cancel) << true << false;
  QTest::newRow("unsaved cases, opened") << "cases" << int(QMessageBox::Open) << true << true;
  QTest::newRow("the file's pattern") << "same" << int(QMessageBox::Cancel) << false << true;
  QTest::newRow("no pattern") << "empty" << int(QMessageBox::Cancel) << false << true;
}

// Opening a case file replaces the pattern and the cases only when nothing is lost or the
// user says so; a replaced pattern comes back with undo.
void WorkbenchTest::openAsks() {
  QFETCH(QString, before);
  QFETCH(int, answer);
  QFETCH(bool, asked);
  QFETCH(bool, opened);
  const QString filed = QStringLiteral("\\d+");
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("digits.jsonl"));
  {
    Bench writer;
    QVERIFY(writer.Search(QStringLiteral("in 2026"), filed));
    Control<QPushButton>(writer.window, "AddCase")->click();
    QCOMPARE(writer.window.saveCases(file), QString());
  }
  Bench bench;
  const QString pattern = before == QLatin1String("other")   ? QStringLiteral("[a-z]+")
                          : before == QLatin1String("empty") ? QString()
                                                             : filed;
  QVERIFY(bench.Search(QStringLiteral("x"), pattern));
  if (before == QLatin1String("cases")) Control<QPushButton>(bench.window, "AddCase")->click();
  const QList<quarn::demo::TestCase> cases = bench.window.testCases();
  bench.answer = static_cast<QMessageBox::StandardButton>(answer);

  const QString error = bench.window.loadCases(file);

  QCOMPARE(bench.questions.size(), asked ? 1 : 0);
  QCOMPARE(error.isEmpty(), opened);
  QCOMPARE(bench.pattern->text(), opened ? filed : pattern);
  QCOMPARE(bench.window.testCases().size(), opened ? 1 : cases.size());
  QCOMPARE(bench.window.casesFile(), opened ? file : QString());
  if (opened && !pattern.isEmpty() && pattern != filed) {
    bench.pattern->undo();
    QCOMPARE(bench.pattern->text(), pattern);
  }
}

void WorkbenchTest::unsavedChanges_data() {
  QTest::addColumn<QStringList>("steps");
  QTest::addColumn<bool>("modified");
  QTest::newRow("nothing") << QStringList{} << false;
  QTest::newRow("a pattern without cases") << QStringList{"pattern"} << false;
  QTest::newRow("a case added") << QStringList{"add"} << true;
  QTest::newRow("saved") << QStringList{"add", "save"} << false;
  QTest::newRow("pattern edited") << QStringList{"add", "save", "pattern"} << true;
  QTest::newRow("pattern edited and undone")
      << QStringList{"add", "save", "pattern", "undo"} << false;
  QTest::newRow("option changed") << QStringList{"add", "save", "option"} << true;
  QTest::newRow("expectation changed") << QStringList{"add", "save", "expect"} << true;
  QTest::newRow("case removed") << QStringList{"add", "save", "remove"} << true;
}

// The title marks what saving would change in the file: the cases, and the pattern and
// options they are saved with.
void WorkbenchTest::unsavedChanges() {
  QFETCH(QStringList, steps);
  QFETCH(bool, modified);
  QTemporaryDir dir;
  Bench bench;
  QVERIFY(bench.Search(QStringLiteral("in 2026"), QStringLiteral("\\d+")));

  for (const QString& step : steps) {
    if (step == QLatin1String("pattern")) bench.pattern->insert(QStringLiteral("x"));
    if (step == QLatin1String("undo")) bench.pattern->undo();
    if (step == QLatin1String("option")) Control<QCheckBox>(bench.window, "Multiline")->click();
    if (step == QLatin1String("add")) Control<QPushButton>(bench.window, "AddCase")->click();
    if (step == QLatin1String("expect")) bench.cases->item(0, 2)->setCheckState(Qt::Unchecked);
    if (step == QLatin1String("remove")) Control<QPushButton>(bench.window, "RemoveCase")->click();
    if (step == QLatin1String("save"))
      QCOMPARE(bench.window.saveCases(dir.filePath(QStringLiteral("c.jsonl"))), QString());
  }

  QCOMPARE(bench.window.isWindowModified(), modified);
  QVERIFY(bench.window.windowTitle().contains(QStringLiteral("[*]")));
}

void WorkbenchTest::closeAsks_data() {
  QTest::addColumn<bool>("changed");
  QTest::addColumn<bool>("ending");  // the program ends: no way to stay
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("asked");
  QTest::addColumn<bool>("closed");
  QTest::addColumn<int>("casesInFile");
  QTest::newRow("nothing changed")
      << false << false << int(QMessageBox::Cancel) << false << true << 1;
  QTest::newRow("saved") << true << false << int(QMessageBox::Save) << true << true << 2;
  QTest::newRow("discarded") << true << false << int(QMessageBox::Discard) << true << true << 1;
  QTest::newRow("cancelled") << true << false << int(QMessageBox::Cancel) << true << false << 1;
  QTest::newRow("saved as the program ends")
      << true << true << int(QMessageBox::Save) << true << true << 2;
  QTest::newRow("no cancel as the program ends")
      << true << true << int(QMessageBox::Cancel) << true << true << 1;
}

// Closing the window with changes to the cases asks whether to save them first; as the
// program ends the question has no way to stay.
void WorkbenchTest::closeAsks() {
  QFETCH(bool, changed);
  QFETCH(bool, ending);
  QFETCH(int, answer);
  QFETCH(bool, asked);
  QFETCH(bool, closed);
  QFETCH(int, casesInFile);
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("c.jsonl"));
  Bench bench;
  bench.window.show();
  Control<QPushButton>(bench.window, "AddCase")->click();
  QCOMPARE(bench.window.saveCases(file), QString());
  if (changed) Control<QPushButton>(bench.window, "AddCase")->click();
  bench.answer = static_cast<QMessageBox::StandardButton>(answer);

  if (ending) {
    bench.window.offerToSave();
  } else {
    QCOMPARE(bench.window.close(), closed);
  }

  QCOMPARE(bench.questions.size(), asked ? 1 : 0);
  if (asked) QCOMPARE(bench.offered.front().testFlag(QMessageBox::Cancel), !ending);
  if (!ending) QCOMPARE(bench.window.isVisible(), !closed);
  QFile saved(file);
  QVERIFY(saved.open(QIODevice::ReadOnly));
  QCOMPARE(saved.readAll().count('\n'), casesInFile);
}

void WorkbenchTest::startOptions_data() {
  QTest::addColumn<QStringList>("arguments");  // CASES, OTHER, SUBJECT and BAD stand for files
  QTest::addColumn<QString>("error");
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("caption");
  const QString date = ToQString(quarn::demo::kExamples[4].pattern);
  const QString dateText = ToQString(quarn::demo::kExamples[4].text);
  const QString email = ToQString(quarn::demo::kExamples[1].pattern);
  const QString emailText = ToQString(quarn::demo::kExamples[1].text);
  QTest::newRow("an example") << QStringList{"--example", "Long date"} << "" << date << dateText
                              << "Long date";
  QTest::newRow("an example and its cases")
      << QStringList{"--example", "Long date", "--cases", "CASES"} << "" << date << dateText
      << "Long date";
  QTest::newRow("cases and a subject")
      << QStringList{"--cases", "CASES", "--subject", "SUBJECT"} << "" << date << "Due 1 Jan 27\r\n"
      << "(Select one)";
  QTest::newRow("a subject of lone LFs")
      << QStringList{"--pattern", "\\d+", "--subject", "LINES"} << ""
      << "\\d+"
      << "1\n2\n"
      << "(Select one)";
  QTest::newRow("a pattern and a subject")
      << QStringList{"--pattern", "\\d+", "--subject", "SUBJECT"} << ""
      << "\\d+"
      << "Due 1 Jan 27\r\n"
      << "(Select one)";
  QTest::newRow("an example and other cases")
      << QStringList{"--example", "Long date", "--cases", "OTHER"}
      << "--example \"Long date\" and --cases OTHER give different patterns or options" << email
      << emailText << "Email address";
  QTest::newRow("an example and another pattern")
      << QStringList{"--example", "Long date", "--pattern", "x"}
      << "--example \"Long date\" and --pattern give different patterns" << email << emailText
      << "Email address";
  QTest::newRow("an example and another subject")
      << QStringList{"--example", "Long date", "--subject", "SUBJECT"}
      << "--example \"Long date\" and --subject give different subjects" << email << emailText
      << "Email address";
  QTest::newRow("no such example")
      << QStringList{"--example", "Nothing"} << "no example \"Nothing\"" << email << emailText
      << "Email address";
  QTest::newRow("a subject not in UTF-8")
      << QStringList{"--subject", "BAD"} << "BAD is not UTF-8 text" << email << emailText
      << "Email address";
}

// The switches load what they give, each from one place or from several that agree; when
// they disagree, nothing is loaded and the error says which.
void WorkbenchTest::startOptions() {
  QFETCH(QStringList, arguments);
  QFETCH(QString, error);
  QFETCH(QString, pattern);
  QFETCH(QString, subject);
  QFETCH(QString, caption);
  QTemporaryDir dir;
  const auto write = [&](const QString& name, const QByteArray& content) {
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
  };
  const QByteArray lines =
      R"x({"name":"a","calls":[{"call":"Quarn","text":"1 Jan 27","pattern":)x"
      R"x("([1-2][0-9]|[1-9]|3[01]) ([A-Z][a-z][a-z]+) ((?:19|20)?[0-9][0-9])"}],)x"
      R"x("expect":[{"result":true,"reports":[]}]})x"
      "\n";
  write(QStringLiteral("CASES"), lines);
  write(QStringLiteral("OTHER"), QByteArray(lines).replace("[1-2]", "[1-3]"));
  write(QStringLiteral("SUBJECT"), "Due 1 Jan 27\r\n");
  write(QStringLiteral("BAD"), "a\xC3(");
  write(QStringLiteral("LINES"), "1\n2\n");
  for (QString& argument : arguments) {
    if (QFile::exists(dir.filePath(argument))) argument = dir.filePath(argument);
  }
  error.replace(QRegularExpression(QStringLiteral("\\b(OTHER|BAD)\\b")), dir.path() + "/\\1");
  Bench bench;

  QCOMPARE(StartWorkbench(bench.window, ParseLaunch(arguments)), error);

  QCOMPARE(bench.pattern->text(), pattern);
  QCOMPARE(bench.subject->engineText(), subject);
  QCOMPARE(Control<QComboBox>(bench.window, "Example")->currentText(), caption);
  QCOMPARE(bench.questions, QStringList());
  QCOMPARE(bench.window.testCases().size(), arguments.contains(dir.filePath("CASES")) ? 1 : 0);
  // A subject file with lone LFs brings the offer to read them as CR LF.
  QCOMPARE(Control<QWidget>(bench.window, "LineFeedOffer")->isHidden(),
           !subject.contains(QStringLiteral("2\n")));
}

// Every match is counted and listed, however many there are: the list loads its rows as it
// is scrolled, and the highlights follow what is in view.
void WorkbenchTest::everyMatch() {
  constexpr int kCount = 5001;
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  Bench bench;
  bench.subjectLimit()->setValue(100'000);
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&bench.window));

  QString subject;
  for (int i = 0; i < kCount; ++i)
    subject += QStringLiteral("ab\r\n");
  QVERIFY(bench.Search(subject, QStringLiteral("a(b)")));

  QCOMPARE(bench.Status(), QStringLiteral("5,001 matches"));
  QAbstractItemModel* model = bench.matches->model();
  QVERIFY(model->rowCount() < kCount);
  QCOMPARE(Bench::AllRows(model), kCount);
  const QModelIndex last = model->index(kCount - 1, 0);
  QCOMPARE(last.data().toString(), QStringLiteral("Match 5,001"));
  QCOMPARE(model->index(kCount - 1, 1).data().toInt(), (kCount - 1) * 4 + 1);
  QCOMPARE(model->index(0, 3, last).data().toString(), QStringLiteral("b"));

  // Scrolled to the end, the subject shows the last match and its group highlighted.
  bench.subject->moveCursor(QTextCursor::End);
  bench.subject->ensureCursorVisible();
  QTRY_VERIFY_WITH_TIMEOUT(!bench.subject->marks().isEmpty() &&
                               bench.subject->marks().last().end == (kCount - 1) * 4 + 2,
                           kPatience);
  QVERIFY(bench.subject->marks().size() < 1000);
  // Choosing a match in the list selects it in the subject.
  bench.matches->setCurrentIndex(model->index(2, 0));
  QCOMPARE(bench.subject->textCursor().selectedText(), QStringLiteral("ab"));
  QCOMPARE(bench.subject->enginePosition(bench.subject->textCursor().selectionStart()), 8);
}

void WorkbenchTest::staleWhileTyping_data() {
  QTest::addColumn<QString>("change");
  QTest::newRow("the pattern") << "pattern";
  QTest::newRow("the subject") << "subject";
  QTest::newRow("an option") << "option";
}

// What is shown goes with the input it came from: a change empties the list, the highlights
// and the previews at once, and the new outcome fills them again.
void WorkbenchTest::staleWhileTyping() {
  QFETCH(QString, change);
  Bench bench;
  QVERIFY(bench.Search(QStringLiteral("cat, cot"), QStringLiteral("c[ao]t")));
  QCOMPARE(bench.matches->model()->rowCount(), 2);

  if (change == QLatin1String("pattern")) QTest::keyClicks(bench.pattern, QStringLiteral(","));
  if (change == QLatin1String("subject")) QTest::keyClicks(bench.subject, QStringLiteral("x"));
  if (change == QLatin1String("option")) Control<QCheckBox>(bench.window, "IgnoreCase")->click();

  QCOMPARE(bench.matches->model()->rowCount(), 0);
  QVERIFY(bench.subject->marks().isEmpty());
  QCOMPARE(bench.Status(), QStringLiteral("Searching..."));
  QVERIFY(bench.WaitShown());
  QCOMPARE(bench.matches->model()->rowCount(), change == QLatin1String("pattern") ? 1 : 2);
}

void WorkbenchTest::exampleCaption_data() {
  QTest::addColumn<QString>("change");
  QTest::addColumn<QString>("caption");
  QTest::newRow("as loaded") << ""
                             << "Long date";
  QTest::newRow("pattern edited") << "pattern"
                                  << "(Select one)";
  QTest::newRow("pattern edited and undone") << "pattern undo"
                                             << "Long date";
  QTest::newRow("subject edited") << "subject"
                                  << "(Select one)";
  QTest::newRow("option set") << "option"
                              << "(Select one)";
  QTest::newRow("typed as another example") << "typed"
                                            << "Dollars";
}

// The example box names an example only while the input is that example's.
void WorkbenchTest::exampleCaption() {
  QFETCH(QString, change);
  QFETCH(QString, caption);
  Bench bench;
  QVERIFY(bench.window.loadExample(QStringLiteral("Long date")));

  if (change.startsWith(QLatin1String("pattern"))) bench.pattern->insert(QStringLiteral("x"));
  if (change.endsWith(QLatin1String("undo"))) bench.pattern->undo();
  if (change == QLatin1String("subject")) QTest::keyClicks(bench.subject, QStringLiteral("x"));
  if (change == QLatin1String("option")) Control<QCheckBox>(bench.window, "SingleLine")->click();
  if (change == QLatin1String("typed")) {
    bench.subject->setEngineText(ToQString(quarn::demo::kExamples[2].text));
    bench.pattern->setText(ToQString(quarn::demo::kExamples[2].pattern));
  }

  QCOMPARE(Control<QComboBox>(bench.window, "Example")->currentText(), caption);
}

void WorkbenchTest::emptyMatchesMarked_data() {
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QList<int>>("bars");  // where the empty matches stand
  QTest::newRow("between every character") << "ab"
                                           << "x*" << QList<int>{0, 1, 2};
  QTest::newRow("word boundaries") << "ab cd"
                                   << "\\b" << QList<int>{0, 2, 3, 5};
  QTest::newRow("a lookahead") << "abab"
                               << "(?=b)" << QList<int>{1, 3};
  QTest::newRow("among other matches") << "ba"
                                       << "a?" << QList<int>{0, 2};
  QTest::newRow("after a line break") << "a\r\nb"
                                      << "^|(?=b)" << QList<int>{0, 3};
}

// An empty match is a bar between two characters, drawn in the subject.
void WorkbenchTest::emptyMatchesMarked() {
  QFETCH(QString, subject);
  QFETCH(QString, pattern);
  QFETCH(QList<int>, bars);
  Bench bench;
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&bench.window));

  QVERIFY(bench.Search(subject, pattern));

  QList<int> marked;
  for (const SubjectEdit::Mark& mark : bench.subject->marks()) {
    if (mark.start == mark.end) marked << static_cast<int>(mark.start);
  }
  QCOMPARE(marked, bars);
  const QImage image = bench.subject->viewport()->grab().toImage();
  const QColor base = bench.subject->palette().color(QPalette::Base);
  for (const SubjectEdit::Mark& mark : bench.subject->marks()) {
    if (mark.start != mark.end) continue;
    const QRect bar = bench.subject->markArea(mark).front();
    QVERIFY(bench.subject->viewport()->rect().contains(bar));
    QVERIFY(QColor(image.pixel(bar.center().x(), bar.top() + 1)) != base);
  }
}

// At its smallest the window still shows a usable subject and every label whole.
void WorkbenchTest::minimumSize() {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  Bench bench;
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&bench.window));
  QVERIFY(bench.Search(QString(600, u'a'), QStringLiteral("a*")));  // the depth limit

  bench.window.resize(100, 100);
  QTRY_COMPARE(bench.window.size(), bench.window.minimumSizeHint());

  const int character = bench.subject->fontMetrics().averageCharWidth();
  QVERIFY2(bench.subject->viewport()->width() >= 24 * character,
           qPrintable(QString::number(bench.subject->viewport()->width())));
  for (const char* name : {"DepthText", "DepthNote", "SubjectNote", "SubjectLength"}) {
    const auto* label = Control<QLabel>(bench.window, name);
    QVERIFY2(label->width() >= label->sizeHint().width() ||
                 label->heightForWidth(label->width()) <= label->height(),
             name);
  }
  QCOMPARE(Control<QLabel>(bench.window, "DepthText")->text(),
           QStringLiteral("limit of 1,000 reached"));
}

void WorkbenchTest::replacePreview_data() {
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QString>("replacement");
  QTest::addColumn<QString>("preview");
  QTest::addColumn<QString>("status");
  QTest::newRow("groups swapped") << "John Smith, Ada Lovelace"
                                  << "(\\w+) (\\w+)"
                                  << "$2 $1"
                                  << "Smith John, Lovelace Ada"
                                  << "2 replacements";
  QTest::newRow("the whole match") << "a1b22"
                                   << "\\d+"
                                   << "<$0>"
                                   << "a<1>b<22>"
                                   << "2 replacements";
  QTest::newRow("a dollar sign") << "cost 5"
                                 << "\\d"
                                 << "$$$0"
                                 << "cost $5"
                                 << "1 replacement";
  QTest::newRow("any other dollar") << "x"
                                    << "x"
                                    << "$a $"
                                    << "$a $"
                                    << "1 replacement";
  QTest::newRow("a group that took no part") << "ab"
                                             << "(x)?b"
                                             << "[$1]"
                                             << "a[]"
                                             << "1 replacement";
  QTest::newRow("line breaks kept") << "a\r\nb\nb"
                                    << "b"
                                    << "c"
                                    << "a\r\nc\nc"
                                    << "2 replacements";
  QTest::newRow("empty matches") << "ab"
                                 << "x*"
                                 << "-"
                                 << "-a-b-"
                                 << "3 replacements";
  QTest::newRow("no match") << "abc"
                            << "x"
                            << "y"
                            << "abc"
                            << "0 replacements";
}

// The replace tab shows what the engine's replace() makes of the subject, with the syntax of
// the replacement beside it.
void WorkbenchTest::replacePreview() {
  QFETCH(QString, subject);
  QFETCH(QString, pattern);
  QFETCH(QString, replacement);
  QFETCH(QString, preview);
  QFETCH(QString, status);
  Bench bench;
  bench.window.show();
  QVERIFY(bench.Search(subject, pattern));

  Control<QTabWidget>(bench.window, "Results")->setCurrentIndex(1);
  Control<QLineEdit>(bench.window, "Replacement")->setText(replacement);
  QVERIFY(bench.WaitShown());

  QCOMPARE(Control<SubjectEdit>(bench.window, "ReplacePreview")->engineText(), preview);
  QCOMPARE(Control<QLabel>(bench.window, "ReplaceStatus")->text(), status);
  const auto* syntax = Control<QLabel>(bench.window, "ReplaceSyntax");
  QVERIFY(syntax->isVisible());
  for (const char* shown : {"$0", "$1", "$9", "$$"})
    QVERIFY2(syntax->text().contains(QLatin1String(shown)), shown);
}

void WorkbenchTest::splitPreview_data() {
  QTest::addColumn<QString>("subject");
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QStringList>("pieces");
  QTest::addColumn<QString>("status");
  QTest::newRow("commas") << "a, b,c"
                          << ",\\s*" << QStringList{"a", "b", "c"} << "3 pieces";
  QTest::newRow("no match") << "abc"
                            << "x" << QStringList{"abc"} << "1 piece";
  QTest::newRow("at both ends") << ",a,"
                                << "," << QStringList{"", "a", ""} << "3 pieces";
  QTest::newRow("line breaks") << "one\r\ntwo\r\n"
                               << "\\n"
                               << QStringList{"one", "two", ""} << "3 pieces";
}

// The split tab lists the pieces that the engine's split() cuts, found when the tab is
// opened.
void WorkbenchTest::splitPreview() {
  QFETCH(QString, subject);
  QFETCH(QString, pattern);
  QFETCH(QStringList, pieces);
  QFETCH(QString, status);
  Bench bench;
  QVERIFY(bench.Search(subject, pattern));

  Control<QTabWidget>(bench.window, "Results")->setCurrentIndex(2);
  QVERIFY(bench.WaitShown());

  QAbstractItemModel* model = Control<QTreeView>(bench.window, "Pieces")->model();
  QStringList listed;
  for (int row = 0; row < Bench::AllRows(model); ++row)
    listed << model->index(row, 2).data().toString();
  QCOMPARE(listed, pieces);
  QCOMPARE(Control<QLabel>(bench.window, "SplitStatus")->text(), status);
}

// F1 shows the reference of the pattern language beside the window, with every escape of the
// demo's help; Esc puts it away.
void WorkbenchTest::quickReference() {
  Bench bench;
  bench.window.show();
  QVERIFY(QTest::qWaitForWindowActive(&bench.window));
  auto* dock = Control<QDockWidget>(bench.window, "QuickReference");
  QVERIFY(!dock->isVisible());

  QTest::keyClick(bench.pattern, Qt::Key_F1);

  QVERIFY(dock->isVisible());
  auto* browser = Control<QTextBrowser>(bench.window, "ReferenceText");
  QStringList cells;
  for (QTextFrame* frame : browser->document()->rootFrame()->childFrames()) {
    const auto* table = qobject_cast<QTextTable*>(frame);
    for (int r = 0; table != nullptr && r < table->rows(); ++r) {
      QTextCursor cell = table->cellAt(r, 0).firstCursorPosition();
      cell.setPosition(table->cellAt(r, 0).lastPosition(), QTextCursor::KeepAnchor);
      cells << cell.selectedText();
    }
  }
  for (const auto& table :
       {std::span<const quarn::demo::EscapeRow>(quarn::demo::kCharacterEscapes),
        std::span<const quarn::demo::EscapeRow>(quarn::demo::kClassEscapes),
        std::span<const quarn::demo::EscapeRow>(quarn::demo::kBracketEscapes)}) {
    for (const quarn::demo::EscapeRow& row : table) {
      const QString first =
          row.form.empty() ? ToQString(row.shown.front().written)
                           : QTextDocumentFragment::fromHtml(ToQString(row.form)).toPlainText();
      QVERIFY2(cells.contains(first), qPrintable(first));
    }
  }
  for (const char* topic : {"Quantifiers", "Anchors", "reMultiline"})
    QVERIFY2(browser->toPlainText().contains(QLatin1String(topic)), topic);

  browser->setFocus();
  QTest::keyClick(browser, Qt::Key_Escape);
  QVERIFY(!dock->isVisible());
}

QTEST_MAIN(WorkbenchTest)
#include "workbench_test.moc"
