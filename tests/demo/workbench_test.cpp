// Drives the pattern workbench as a user would, on the offscreen platform: typing, loading
// examples and case files, the keyboard, and palettes. Nothing waits for a time: each test
// waits for the window's signals, with generous limits.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>

#include "colours.h"
#include "form1.h"
#include "launch.h"
#include "patternedit.h"
#include "subjectedit.h"
#include "workbench.h"
#ifdef QUARN_EXE
#include "run_quarn.h"
#endif

namespace {

constexpr int kPatience = 30000;  // milliseconds; only a broken window waits so long

template <typename T>
T* Control(QWidget& window, const char* name) {
  T* control = window.findChild<T*>(QString::fromLatin1(name));
  if (control == nullptr) qFatal("The workbench has no control %s", name);
  return control;
}

struct Bench {
  Workbench window;
  PatternEdit* pattern = Control<PatternEdit>(window, "Pattern");
  SubjectEdit* subject = Control<SubjectEdit>(window, "Subject");
  QLabel* error = Control<QLabel>(window, "Error");
  ErrorCaret* caret = Control<ErrorCaret>(window, "ErrorCaret");
  QProgressBar* depth = Control<QProgressBar>(window, "Depth");
  QSpinBox* depthLimit = Control<QSpinBox>(window, "DepthLimit");
  QTreeWidget* matches = Control<QTreeWidget>(window, "Matches");
  QTableWidget* cases = Control<QTableWidget>(window, "Cases");
  QSignalSpy shown{&window, &Workbench::resultsShown};

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
    for (int i = 0; i < matches->topLevelItemCount(); ++i)
      texts << matches->topLevelItem(i)->text(3);
    return texts;
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
  void copyAsCpp_data();
  void copyAsCpp();
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
// it, and its outcome never shows.
void WorkbenchTest::changeCancelsRunningSearch() {
  Bench bench;
  QVERIFY(bench.Search(QStringLiteral("abc"), QStringLiteral("b")));
  QSignalSpy started(&bench.window, &Workbench::searchStarted);
  QSignalSpy ended(&bench.window, &Workbench::searchEnded);
  bench.subject->setEngineText(QString(40, u'a'));
  bench.pattern->setText(QStringLiteral("(a|a)*\\1b"));
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
      << "(b\\nc)d\\n(e)" << QList<QList<int>>{{1, 7, 0, 0}, {1, 4, 1, 0}, {6, 7, 2, 0}};
  QTest::newRow("half of a line break") << "a\r\nb"
                                        << "\\r" << QList<QList<int>>{{1, 2, 0, 0}};
  QTest::newRow("a lone LF") << "a\nb"
                             << "a.b" << QList<QList<int>>{{0, 3, 0, 0}};
  QTest::newRow("unmatched group") << "a"
                                   << "(x)?a" << QList<QList<int>>{{0, 1, 0, 0}};
}

void WorkbenchTest::highlights() {
  QFETCH(QString, subject);
  QFETCH(QString, pattern);
  QFETCH(QList<QList<int>>, selections);
  Bench bench;

  QVERIFY(bench.Search(subject, pattern));

  QStringList expected;
  for (const QList<int>& s : selections) {
    expected << QStringLiteral("%1-%2 %3")
                    .arg(s[0])
                    .arg(s[1])
                    .arg(quarn::demo::GroupColour(bench.window.palette(), s[2], s[3]).name());
  }
  QStringList actual;
  for (const QTextEdit::ExtraSelection& s : bench.subject->extraSelections()) {
    actual << QStringLiteral("%1-%2 %3")
                  .arg(s.cursor.selectionStart())
                  .arg(s.cursor.selectionEnd())
                  .arg(s.format.background().color().name());
  }
  QCOMPARE(actual, expected);
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

  QCOMPARE(bench.depth->text(), shown);
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

void WorkbenchTest::f2OpensFromDemoWindow() {
  Form1 form(QString{});
  form.show();
  QVERIFY(QTest::qWaitForWindowActive(&form));

  QTest::keyClick(&form, Qt::Key_F2);
  QTest::keyClick(&form, Qt::Key_F2);

  const QList<Workbench*> benches = form.findChildren<Workbench*>();
  QCOMPARE(benches.size(), 1);
  QVERIFY(benches.front()->isVisible());
  QVERIFY(benches.front()->isWindow());
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
  for (const QTextEdit::ExtraSelection& s : bench.subject->extraSelections()) {
    const QColor background = s.format.background().color();
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
  for (int i = 0; i < 15; ++i) {
    visited << QApplication::focusWidget()->objectName();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }

  QCOMPARE(visited, (QStringList{"Example", "Pattern", "IgnoreCase", "SingleLine", "Multiline",
                                 "DepthLimit", "Cpp", "CopyCpp", "Subject", "Matches", "Cases",
                                 "AddCase", "RemoveCase", "OpenCases", "SaveCases"}));
  QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Example"));
  for (const char* name : {"Pattern", "Subject", "Depth", "DepthLimit", "Cpp", "Matches", "Cases"})
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

QTEST_MAIN(WorkbenchTest)
#include "workbench_test.moc"
