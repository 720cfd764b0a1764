// The F1 help against the engine: every escape that its reference tables list matches exactly
// what the tables say, and the tables show every one of them.
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

#include "escapes.h"
#include "helpwindow.h"
#include "quarn/quarn.h"

namespace {

// Unlike QString::fromUtf16(), keeps a leading U+FEFF.
QString ToQString(std::u16string_view text) {
  return QStringView(text.data(), static_cast<qsizetype>(text.size())).toString();
}

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

QTEST_MAIN(HelpTest)
#include "help_test.moc"
