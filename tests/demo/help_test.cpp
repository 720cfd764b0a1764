// The F1 help against the engine: every escape that its reference tables list matches exactly
// what the tables say, the tables show every one of them, and the other statements of the
// reference and the tutorial hold.
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "enginetext.h"
#include "escapes.h"
#include "helpwindow.h"
#include "quarn/quarn.h"

using quarn::demo::ToQString;

namespace {

// "U+000D U+000A"
QString Codes(std::u16string_view text) {
  QStringList codes;
  for (const char16_t c : text) {
    codes << QStringLiteral("U+%1").arg(int{c}, 4, 16, QLatin1Char('0'));
  }
  return codes.join(u' ');
}

// Every escape of the help's tables.
std::vector<quarn::demo::Escape> AllEscapes() {
  std::vector<quarn::demo::Escape> all;
  for (std::span<const quarn::demo::EscapeRow> table :
       {std::span<const quarn::demo::EscapeRow>(quarn::demo::kCharacterEscapes),
        std::span<const quarn::demo::EscapeRow>(quarn::demo::kClassEscapes),
        std::span<const quarn::demo::EscapeRow>(quarn::demo::kBracketEscapes)}) {
    for (const quarn::demo::EscapeRow& row : table) {
      for (const quarn::demo::Escape& escape : row.shown) {
        if (!escape.written.empty()) all.push_back(escape);
      }
    }
  }
  return all;
}

bool IsMember(const quarn::demo::Escape& escape, char16_t c) {
  bool listed = false;
  for (size_t i = 0; i + 1 < escape.ranges.size(); i += 2) {
    listed = listed || (escape.ranges[i] <= c && c <= escape.ranges[i + 1]);
  }
  return listed != escape.complement;
}

// Collects the engine's reports while it lives.
class Reports {
 public:
  Reports()
      : previous_(
            quarn::SetErrorReporter([this](const quarn::EngineError&, std::u16string_view text) {
              texts << ToQString(text);
            })) {}
  ~Reports() { quarn::SetErrorReporter(std::move(previous_)); }
  Reports(const Reports&) = delete;
  Reports& operator=(const Reports&) = delete;

  QStringList texts;

 private:
  quarn::ErrorReporter previous_;
};

QString ResultText(int32_t type) {
  const quarn::ResultValue value = quarn::QuarnResult(type);
  if (const auto* text = std::get_if<std::u16string>(&value)) return ToQString(*text);
  return {};
}

int GroupCount() {
  const quarn::ResultValue value = quarn::QuarnResult(quarn::reSubexprCount);
  if (const auto* count = std::get_if<int16_t>(&value)) return *count;
  return 0;
}

// The whole match of a search, if it matched.
std::optional<std::u16string> MatchOf(std::u16string_view text, std::u16string_view pattern) {
  if (!quarn::Quarn(text, pattern, 0)) return std::nullopt;
  return ResultText(quarn::reMatch).toStdU16String();
}

// The rows of the help's tables, each as the texts of its cells.
QList<QStringList> TableRows(const QTextDocument* document) {
  QList<QStringList> rows;
  for (QTextFrame* frame : document->rootFrame()->childFrames()) {
    const auto* table = qobject_cast<QTextTable*>(frame);
    if (table == nullptr) continue;
    for (int r = 0; r < table->rows(); ++r) {
      QStringList cells;
      for (int c = 0; c < table->columns(); ++c) {
        QTextCursor cursor = table->cellAt(r, c).firstCursorPosition();
        cursor.setPosition(table->cellAt(r, c).lastPosition(), QTextCursor::KeepAnchor);
        cells << cursor.selectedText();
      }
      rows << cells;
    }
  }
  return rows;
}

}  // namespace

class HelpTest : public QObject {
  Q_OBJECT

 private slots:
  void escapes_data();
  void escapes();
  void tablesShowEveryEscape();
  void claims_data();
  void claims();
  void results();
};

void HelpTest::escapes_data() {
  QTest::addColumn<int>("index");
  const std::vector<quarn::demo::Escape> all = AllEscapes();
  for (size_t i = 0; i < all.size(); ++i) {
    QTest::addRow("%s", qPrintable(ToQString(all[i].written))) << static_cast<int>(i);
  }
}

// Each single character that the help lists is matched on its own; all the others, searched
// for in long texts, are never matched; the text that the help gives is matched as a whole,
// and an escape that claims no line break does not take CR LF as one.
void HelpTest::escapes() {
  QFETCH(int, index);
  const quarn::demo::Escape escape = AllEscapes()[static_cast<size_t>(index)];
  Reports reports;

  std::u16string others;
  for (char32_t code = 0; code <= 0xFFFF; ++code) {
    const std::u16string single(1, static_cast<char16_t>(code));
    if (!IsMember(escape, single.front())) {
      others += single;
      continue;
    }
    QVERIFY2(MatchOf(single, escape.written) == single, qPrintable("misses " + Codes(single)));
  }
  // In ascending order no LF follows a CR; the engine takes texts of up to 32765 characters.
  constexpr size_t kPieceLength = 30000;
  for (size_t at = 0; at < others.size(); at += kPieceLength) {
    const auto match =
        MatchOf(std::u16string_view(others).substr(at, kPieceLength), escape.written);
    QVERIFY2(!match, qPrintable("matches " + Codes(match.value_or(std::u16string()))));
  }

  const std::u16string_view whole = escape.text.empty() ? quarn::demo::kLineBreak : escape.text;
  QCOMPARE(MatchOf(whole, escape.written) == whole, !escape.text.empty());
  QCOMPARE(reports.texts, QStringList());
}

// The reference's tables show each escape of the list, with the code of every single
// character it claims.
void HelpTest::tablesShowEveryEscape() {
  HelpWindow help;
  const auto* browser = help.findChild<QTextBrowser*>();
  QVERIFY(browser != nullptr);
  const QList<QStringList> rows = TableRows(browser->document());

  for (const quarn::demo::Escape& escape : AllEscapes()) {
    // An escape has a row of its own, or is an example in the row of its general form.
    const QString written = ToQString(escape.written);
    const QString example = written + QStringLiteral(" matches ");
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const QStringList& cells) {
      return cells.front() == written || cells.join(u' ').contains(example);
    });
    QVERIFY2(row != rows.end(), qPrintable(written));
    const std::u16string_view ranges = escape.ranges;
    if (ranges.size() == 2 && ranges[0] == ranges[1] && !escape.complement) {
      const QString code = QStringLiteral("code %1").arg(static_cast<int>(ranges[0]));
      const QString said = row->join(u' ');
      QVERIFY2(row->front() == written ? row->back().contains(code) : said.contains(example + code),
               qPrintable(said));
    }
  }
}

// Each row is a statement of the tutorial or the reference, as a search and what it finds:
// where the match starts (1-based; 0 for no match), the match, the captures and the reports.
void HelpTest::claims_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<int>("flags");
  QTest::addColumn<int>("start");
  QTest::addColumn<QString>("match");
  QTest::addColumn<QStringList>("groups");
  QTest::addColumn<QString>("report");

  auto row = [](const char* tag, const QString& text, const QString& pattern, int start,
                const QString& match, const QStringList& groups = {}, int flags = 0) {
    QTest::newRow(tag) << text << pattern << flags << start << match << groups << QString();
  };
  auto fails = [](const char* tag, const QString& text, const QString& pattern, int flags = 0) {
    QTest::newRow(tag) << text << pattern << flags << 0 << QString() << QStringList() << QString();
  };
  auto reports = [](const char* tag, const QString& text, const QString& pattern,
                    const QString& report, int flags = 0) {
    QTest::newRow(tag) << text << pattern << flags << 0 << QString() << QStringList() << report;
  };
  const QString crlf = QStringLiteral("\r\n");

  // The tutorial.
  row("cat finds the first cat", "concatenate", "cat", 4, "cat");
  fails("case counts", "cat", "Cat");
  row("c.t matches cat", "cat", "c.t", 1, "cat");
  row("c.t matches cot", "cot", "c.t", 1, "cot");
  row("c.t matches c9t", "c9t", "c.t", 1, "c9t");
  row("gr[ae]y matches gray", "gray", "gr[ae]y", 1, "gray");
  row("gr[ae]y matches grey", "grey", "gr[ae]y", 1, "grey");
  row("[0-9] is any digit", "x7", "[0-9]", 2, "7");
  row("[^0-9] is anything but a digit", "7x", "[^0-9]", 2, "x");
  row("\\d+ matches the 2024", "in 2024", "\\d+", 4, "2024");
  row("(ab)+ matches ababab", "ababab", "(ab)+", 1, "ababab", {"ab"});
  row("cat|dog matches cat", "cat", "cat|dog", 1, "cat");
  row("cat|dog matches dog", "hotdog", "cat|dog", 4, "dog");
  row("the first alternative that matches wins", "ab", "a|ab", 1, "a");
  row("^\\d+$ matches digits only", "2024", "^\\d+$", 1, "2024");
  fails("^\\d+$ refuses other characters", "20x24", "^\\d+$");
  row("\\bis\\b finds is as a word", "this is", "\\bis\\b", 6, "is");
  row("\\1 finds a doubled word", "this is is it", "\\b(\\w+)\\s+\\1\\b", 6, "is is", {"is"});
  row("foo(?=bar)", "foobaz foobar", "foo(?=bar)", 8, "foo");
  row("foo(?!bar)", "foobar foobaz", "foo(?!bar)", 8, "foo");

  // Single characters and character classes besides the escapes.
  row(". matches a lone CR", "a\rb", "a.b", 1, "a\rb");
  row(". matches a lone LF", "a\nb", "a.b", 1, "a\nb");
  fails(". stops at the CR of a line break", "a" + crlf + "b", "a.+b");
  fails(". takes neither character of a line break", crlf, ".");
  row("[abc] is one of the characters", "cab", "[abc]", 1, "c");
  row("[a-z] goes by character code", "_", "[A-z]", 1, "_");
  fails("[^abc] never matches at the end", "a", "a[^b]");
  row("] right after [ is a member", "x]", "[]]", 2, "]");
  row("] right after [^ is a member", "]x", "[^]]", 2, "x");
  row("- first is a member", "a-", "[-x]", 2, "-");
  row("- last is a member", "a-", "[x-]", 2, "-");
  row("a backslash before any punctuation makes it literal", "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~",
      "\\!\\\"\\#\\$\\%\\&\\'\\(\\)\\*\\+\\,\\-\\.\\/\\:\\;\\<\\=\\>\\?\\@\\[\\\\\\]\\^\\_\\`\\{"
      "\\|\\}\\~",
      1, "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~");

  // Quantifiers.
  row("*", "aaaa", "a*", 1, "aaaa");
  row("*?", "aaaa", "a*?", 1, "");
  row("+", "aaaa", "a+", 1, "aaaa");
  row("+?", "aaaa", "a+?", 1, "a");
  row("?", "aaaa", "a?", 1, "a");
  row("??", "aaaa", "a??", 1, "");
  row("{n}", "aaaa", "a{3}", 1, "aaa");
  row("{n}?", "aaaa", "a{3}?", 1, "aaa");
  row("{n,}", "aaaa", "a{2,}", 1, "aaaa");
  row("{n,}?", "aaaa", "a{2,}?", 1, "aa");
  row("{n,m}", "aaaa", "a{2,3}", 1, "aaa");
  row("{n,m}?", "aaaa", "a{2,3}?", 1, "aa");
  row("{,m} is {0,m}", "aaaa", "a{,3}", 1, "aaa");
  row("{,m}? is {0,m}?", "aaaa", "a{,3}?", 1, "");
  row("a quantifier applies to one item", "abbb", "ab+", 1, "abbb");
  reports("two quantifiers in a row", "aaa", "a**",
          "Error #20052: Error in Quarn.GetNextQuarn: Nested +?*{} in regular expression.");

  // Groups and alternation.
  row("groups are numbered by their opening parentheses", "abc", "((a)b)(c)", 1, "abc",
      {"ab", "a", "c"});
  const QString manyGroups = QStringLiteral("(a)").repeated(31);
  row("at most 31 groups", QString(31, u'a'), manyGroups, 1, QString(31, u'a'),
      QStringList(31, QStringLiteral("a")));
  reports("a 32nd group", QString(32, u'a'), manyGroups + "(a)",
          "Error #20052: Error in Quarn.CreateMatch: Too many subexpressions in regular "
          "expression (max 31).");
  row("(?:...) does not capture", "abab", "(?:ab)+", 1, "abab");
  row("(?=...) does not consume", "ab", "a(?=b)", 1, "a");
  row("(?!...) must not match", "ac ab", "a(?!c)", 4, "a");
  row("(?#...) is ignored", "ab", "a(?#note)b", 1, "ab");
  row("alternatives are tried from the left", "xab", "(a|ab)", 2, "a", {"a"});
  row("\\9 is group 9", "abcdefghii", "(a)(b)(c)(d)(e)(f)(g)(h)(i)\\9", 1, "abcdefghii",
      {"a", "b", "c", "d", "e", "f", "g", "h", "i"});
  fails("a back reference to a group that has not matched fails", "b", "(a)?b\\1");
  row("a quantified group captures its last repetition", "abc", "(\\w)+", 1, "abc", {"c"});
  row("leftmost, not longest", "xab", "a|ab", 2, "a");

  // Anchors.
  fails("^ is the start of the text", "ba", "^a");
  fails("$ is the end of the text", "ab", "a$");
  row("$ before a CR LF that ends the text", "ab" + crlf, "b$", 2, "b");
  fails("$ not before an inner CR LF", "ab" + crlf + "c", "b$");
  fails("\\A whatever the options", "ab" + crlf + "c", "\\Ac", 4);
  row("\\A at the start", "ab", "\\Aa", 1, "a", {}, 4);
  row("\\Z before a CR LF that ends the text", "ab" + crlf, "b\\Z", 2, "b", {}, 4);
  fails("\\Z whatever the options", "ab" + crlf + "c", "b\\Z", 4);
  row("\\b at a word boundary", "a b", "a\\b", 1, "a");
  fails("\\B not at a word boundary", "a b", "a\\B");
  row("\\B anywhere else", "ab", "a\\B", 1, "a");

  // Options.
  row("reIgnoreCase in characters", "AbC", "abc", 1, "AbC", {}, quarn::reIgnoreCase);
  row("reIgnoreCase in ranges", "ABC", "[a-c]+", 1, "ABC", {}, quarn::reIgnoreCase);
  row("reIgnoreCase in back references", "aA", "(a)\\1", 1, "aA", {"a"}, quarn::reIgnoreCase);
  row("reSingleLine lets . take a line break", "a" + crlf + "b", "a..b", 1, "a" + crlf + "b", {},
      quarn::reSingleLine);
  row("reMultiline: ^ after a CR LF", "a" + crlf + "b", "^b", 4, "b", {}, quarn::reMultiline);
  row("reMultiline: $ before a CR LF", "a" + crlf + "b", "a$", 1, "a", {}, quarn::reMultiline);
  row("options add up", "x" + crlf + "A", "^a", 4, "A", {},
      quarn::reIgnoreCase + quarn::reMultiline);

  // Errors and limits.
  reports("bad count", "xxx", "x{3,1}",
          "Error #20050: Error in Quarn.DoQuarn: Upper limit is less than lower limit in regular "
          "expression {3,1}");
  reports("bad range", "ab", "[b-a]",
          "Error #20050: Error in Quarn.MatchSquareBrackets: Invalid range in regular expression "
          "[b-a]");
  reports("syntax error", "ab", "(a",
          "Error #20052: Error in Quarn.ProcessParentheses: Invalid regular expression: A "
          "closing ) expected: (a");
  row("a* takes 499 characters", QString(499, u'a'), "a*", 1, QString(499, u'a'));
  reports("but not 500", QString(500, u'a'), "a*",
          "Error #20052: Error in Quarn.DoQuarn: Maximum number of iterations exceeded. Possibly "
          "an infinite loop.");
  fails("a text of 32765 characters", QString(32765, u'a'), "b");
  reports("a longer text", QString(32767, u'a'), "a",
          "Error #6: Error in Quarn.FindFirstMatch: Overflow");
  fails("an expression of 32767 characters", "abc", QString(32767, u'x'));
  reports("a longer expression", "abc", QString(32768, u'x'),
          "Error #6: Error in Quarn.ExpandEspaces: Overflow");
}

void HelpTest::claims() {
  QFETCH(QString, text);
  QFETCH(QString, pattern);
  QFETCH(int, flags);
  QFETCH(int, start);
  QFETCH(QString, match);
  QFETCH(QStringList, groups);
  QFETCH(QString, report);
  Reports reports;

  const bool matched = quarn::Quarn(text.toStdU16String(), pattern.toStdU16String(), flags);

  QCOMPARE(matched, start > 0);
  QCOMPARE(reports.texts, report.isEmpty() ? QStringList() : QStringList{report});
  if (!matched) return;
  int32_t position = 0;
  int32_t length = 0;
  quarn::QuarnIndex(quarn::reMatch, position, length);
  QCOMPARE(position, start);
  QCOMPARE(ResultText(quarn::reMatch), match);
  QStringList captures;
  for (int i = 1; i <= GroupCount(); ++i)
    captures << ResultText(i);
  QCOMPARE(captures, groups);
}

// "Calling Quarn": what the result calls give after a search, and their errors.
void HelpTest::results() {
  Reports reports;
  QVERIFY(quarn::Quarn(u"xabcy", u"a(b)c", 0));
  const quarn::ResultValue count = quarn::QuarnResult(quarn::reSubexprCount);
  QCOMPARE(count, quarn::ResultValue(int16_t{1}));
  const std::pair<int32_t, QString> parts[] = {
      {quarn::reBeforeMatch, "x"}, {quarn::reMatch, "abc"}, {quarn::reAfterMatch, "y"}, {1, "b"}};
  const std::pair<int32_t, int32_t> spans[] = {{1, 1}, {2, 3}, {5, 1}, {3, 1}};
  for (size_t i = 0; i < std::size(parts); ++i) {
    QCOMPARE(ResultText(parts[i].first), parts[i].second);
    int32_t start = 0;
    int32_t length = 0;
    quarn::QuarnIndex(parts[i].first, start, length);
    QCOMPARE((std::pair{start, length}), spans[i]);
  }
  QCOMPARE(reports.texts, QStringList());

  // The empty value when there are no groups.
  QVERIFY(quarn::Quarn(u"abc", u"b", 0));
  QCOMPARE(quarn::QuarnResult(quarn::reSubexprCount), quarn::ResultValue());
  quarn::QuarnResult(32);
  // Conflicting options leave the last search as it was, its answer too.
  QVERIFY(quarn::Quarn(u"xyz", u"q", quarn::reSingleLine + quarn::reMultiline));
  QCOMPARE(ResultText(quarn::reMatch), "b");
  QVERIFY(!quarn::Quarn(u"abc", u"x", 0));
  QVERIFY(!quarn::Quarn(u"b", u"b", quarn::reSingleLine + quarn::reMultiline));
  quarn::QuarnResult(quarn::reMatch);
  const QString bothLineOptions =
      "Error #20053: Error in Quarn.Quarn: Cannot specify both reSingleLine and reMultiline at "
      "the same time.";
  QCOMPARE(reports.texts,
           (QStringList{"Error #20053: Error in Quarn.QuarnIndex: Invalid value, parameter "
                        "ResultType = 32",
                        bothLineOptions, bothLineOptions,
                        "Error #20051: Error in Quarn.QuarnResult: No match on last call to "
                        "Quarn, or Quarn not called at all"}));
}

QTEST_MAIN(HelpTest)
#include "help_test.moc"
