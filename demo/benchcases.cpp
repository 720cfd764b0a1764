#include "benchcases.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>

#include <cmath>
#include <limits>

#include "enginetext.h"

namespace quarn::demo {

namespace {

QString Json(const QString& text) {
  QString out = QStringLiteral("\"");
  for (const QChar c : text) {
    switch (c.unicode()) {
      case u'"':
        out += QStringLiteral("\\\"");
        break;
      case u'\\':
        out += QStringLiteral("\\\\");
        break;
      case u'\n':
        out += QStringLiteral("\\n");
        break;
      case u'\r':
        out += QStringLiteral("\\r");
        break;
      case u'\t':
        out += QStringLiteral("\\t");
        break;
      default:
        if (c.unicode() < 0x20) {
          out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
          out += c;
        }
    }
  }
  return out + u'"';
}

QString Answer(const QString& result) {
  return QStringLiteral("{\"result\":") + result + QStringLiteral(",\"reports\":[]}");
}

QString CaseLine(const CaseFile& file, const TestCase& test) {
  QString calls = QStringLiteral("{\"call\":\"Quarn\",\"text\":") + Json(test.subject) +
                  QStringLiteral(",\"pattern\":") + Json(file.pattern) +
                  QStringLiteral(",\"flags\":") + QString::number(file.flags) + u'}';
  QString expect = Answer(test.expectMatch ? QStringLiteral("true") : QStringLiteral("false"));
  if (test.expectMatch && test.expectedText) {
    calls += QStringLiteral(",{\"call\":\"QuarnResult\",\"type\":-3}");
    expect += u',' + Answer(Json(*test.expectedText));
  }
  return QStringLiteral("{\"name\":") + Json(test.name) + QStringLiteral(",\"calls\":[") + calls +
         QStringLiteral("],\"expect\":[") + expect + QStringLiteral("]}\n");
}

// A line that does not have the form of a case.
struct BadLine {
  QString why;
};

QJsonValue Member(const QJsonObject& object, const char* name) {
  const QJsonValue value = object.value(QLatin1String(name));
  if (value.isUndefined()) throw BadLine{QStringLiteral("no \"%1\"").arg(QLatin1String(name))};
  return value;
}

QString StringMember(const QJsonObject& object, const char* name) {
  const QJsonValue value = Member(object, name);
  if (!value.isString())
    throw BadLine{QStringLiteral("\"%1\" is not a string").arg(QLatin1String(name))};
  return value.toString();
}

int32_t IntegerMember(const QJsonObject& object, const char* name) {
  // Anything but a number reads as 0.5, which is refused with the fractions.
  const double value = Member(object, name).toDouble(0.5);
  if (value != std::floor(value) || value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max()) {
    throw BadLine{QStringLiteral("\"%1\" is not an integer").arg(QLatin1String(name))};
  }
  return static_cast<int32_t>(value);
}

// The answer's result, which must come without reports: the workbench does not expect errors.
QJsonValue ExpectedResult(const QJsonValue& answer) {
  const QJsonObject object = answer.toObject();
  const QJsonValue reports = object.value(QLatin1String("reports"));
  if (!reports.isArray() || !reports.toArray().isEmpty())
    throw BadLine{QStringLiteral("an expected answer has reports")};
  return Member(object, "result");
}

TestCase ReadCase(const QJsonObject& line, QString& pattern, int32_t& flags) {
  const QJsonArray calls = Member(line, "calls").toArray();
  const QJsonArray expect = Member(line, "expect").toArray();
  if (calls.isEmpty() || calls.size() > 2 || calls.size() != expect.size())
    throw BadLine{QStringLiteral("not one Quarn call (and a match text) with its answers")};
  const QJsonObject quarn = calls[0].toObject();
  if (StringMember(quarn, "call") != QLatin1String("Quarn"))
    throw BadLine{QStringLiteral("the first call is not Quarn")};
  TestCase test;
  test.name = StringMember(line, "name");
  test.subject = StringMember(quarn, "text");
  pattern = StringMember(quarn, "pattern");
  flags = quarn.contains(QLatin1String("flags")) ? IntegerMember(quarn, "flags") : 0;
  const QJsonValue matched = ExpectedResult(expect[0]);
  if (!matched.isBool())
    throw BadLine{QStringLiteral("Quarn's expected result is not true or false")};
  test.expectMatch = matched.toBool();
  if (calls.size() == 2) {
    const QJsonObject result = calls[1].toObject();
    if (StringMember(result, "call") != QLatin1String("QuarnResult") ||
        IntegerMember(result, "type") != reMatch || !test.expectMatch) {
      throw BadLine{QStringLiteral("the second call does not ask for the match text")};
    }
    const QJsonValue text = ExpectedResult(expect[1]);
    if (!text.isString()) throw BadLine{QStringLiteral("the expected match text is not a string")};
    test.expectedText = text.toString();
  }
  return test;
}

}  // namespace

std::optional<QByteArray> WriteCases(const CaseFile& file, QString* error) {
  QString text;
  for (const TestCase& test : file.cases) {
    const QStringList texts{test.name, test.subject, file.pattern,
                            test.expectedText.value_or(QString())};
    for (const QString& checked : texts) {
      if (!QStringView(checked).isValidUtf16()) {
        if (error) *error = QStringLiteral("\"%1\" holds a lone surrogate").arg(test.name);
        return std::nullopt;
      }
    }
    text += CaseLine(file, test);
  }
  return text.toUtf8();
}

std::optional<CaseFile> ReadCases(const QByteArray& bytes, QString* error) {
  CaseFile file;
  int number = 0;
  for (const QByteArray& line : bytes.split('\n')) {
    ++number;
    if (line.trimmed().isEmpty()) continue;
    try {
      QJsonParseError parse;
      const QJsonDocument document = QJsonDocument::fromJson(line, &parse);
      if (parse.error != QJsonParseError::NoError) throw BadLine{parse.errorString()};
      if (!document.isObject()) throw BadLine{QStringLiteral("not a JSON object")};
      QString pattern;
      int32_t flags = 0;
      const TestCase test = ReadCase(document.object(), pattern, flags);
      if (file.cases.isEmpty()) {
        file.pattern = pattern;
        file.flags = flags;
      } else if (pattern != file.pattern || flags != file.flags) {
        throw BadLine{QStringLiteral("another pattern or other flags than the first case")};
      }
      file.cases << test;
    } catch (const BadLine& bad) {
      if (error) *error = QStringLiteral("line %1: %2").arg(number).arg(bad.why);
      return std::nullopt;
    }
  }
  return file;
}

QString Failure(const TestCase& expectation, const CaseOutcome& actual) {
  if (actual.error) return QString::fromStdString(actual.error->report());
  const QString text = ToQString(actual.matchText);
  if (actual.matched != expectation.expectMatch ||
      (expectation.expectedText && *expectation.expectedText != text)) {
    return actual.matched ? QStringLiteral("matched \u201C%1\u201D").arg(text)
                          : QStringLiteral("no match");
  }
  return {};
}

}  // namespace quarn::demo
