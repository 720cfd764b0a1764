#include "launch.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "benchcases.h"
#include "enginetext.h"
#include "examples.h"
#include "workbench.h"

namespace {

// What the switches give, read and checked before anything is loaded.
struct Asked {
  std::optional<QString> pattern;
  std::optional<int32_t> flags;
  std::optional<QString> subject;
  QString patternFrom;  // the switch that gave each, for a disagreement's message
  QString flagsFrom;
  QString subjectFrom;
};

// Takes value from source, unless an earlier source gave another one.
template <typename T>
bool Agree(std::optional<T>& kept, QString& keptFrom, const T& value, const QString& source) {
  if (kept && *kept != value) return false;
  kept = value;
  keptFrom = source;
  return true;
}

std::optional<QString> ReadUtf8(const QString& fileName, QString* error) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = QStringLiteral("cannot open %1: %2").arg(fileName, file.errorString());
    return std::nullopt;
  }
  QStringDecoder decoder(QStringDecoder::Utf8);
  QString text = decoder(file.readAll());
  if (decoder.hasError()) {
    *error = QStringLiteral("%1 is not UTF-8 text").arg(fileName);
    return std::nullopt;
  }
  return text;
}

std::optional<quarn::demo::CaseFile> ReadCaseFile(const QString& fileName, QString* error) {
  QFile file(fileName);
  std::optional<quarn::demo::CaseFile> cases;
  if (file.open(QIODevice::ReadOnly)) {
    cases = quarn::demo::ReadCases(file.readAll(), error);
  } else {
    *error = file.errorString();
  }
  if (!cases) *error = QStringLiteral("cannot open %1: %2").arg(fileName, *error);
  return cases;
}

}  // namespace

Launch ParseLaunch(const QStringList& arguments) {
  // Each switch with a value, and where the value goes.
  struct Valued {
    QString name;
    QString Launch::*text = nullptr;
    std::optional<QString> Launch::*optional = nullptr;
  };
  const std::array<Valued, 6> valued{{
      {QStringLiteral("--example"), &Launch::example},
      {QStringLiteral("--cases"), &Launch::cases},
      {QStringLiteral("--pattern"), nullptr, &Launch::pattern},
      {QStringLiteral("--subject"), &Launch::subject},
      {QStringLiteral("--replace"), nullptr, &Launch::replacement},
      {QStringLiteral("--screenshot"), &Launch::screenshot},
  }};
  Launch launch;
  QStringList rest;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--workbench")) {
      launch.workbench = true;
      continue;
    }
    const auto found = std::find_if(valued.begin(), valued.end(),
                                    [&](const Valued& v) { return v.name == argument; });
    if (found == valued.end()) {
      rest << argument;
      continue;
    }
    launch.workbench = true;
    if (i + 1 == arguments.size()) {
      launch.error = QStringLiteral("%1 needs a value").arg(found->name);
    } else if (found->text != nullptr) {
      launch.*(found->text) = arguments[++i];
    } else {
      launch.*(found->optional) = arguments[++i];
    }
  }
  launch.formCommandLine = rest.join(QLatin1Char(' '));
  return launch;
}

QString StartWorkbench(Workbench& bench, const Launch& launch) {
  Asked asked;
  const quarn::demo::Example* example = nullptr;
  if (!launch.example.isEmpty()) {
    for (const quarn::demo::Example& e : quarn::demo::kExamples) {
      if (&e != &quarn::demo::kExamples[0] && quarn::demo::ToQString(e.caption) == launch.example)
        example = &e;
    }
    if (example == nullptr) return QStringLiteral("no example \"%1\"").arg(launch.example);
    const QString source = QStringLiteral("--example \"%1\"").arg(launch.example);
    Agree(asked.pattern, asked.patternFrom, quarn::demo::ToQString(example->pattern), source);
    Agree(asked.flags, asked.flagsFrom, int32_t{0}, source);  // the demo searches without
    Agree(asked.subject, asked.subjectFrom, quarn::demo::ToQString(example->text), source);
  }
  std::optional<quarn::demo::CaseFile> cases;
  if (!launch.cases.isEmpty()) {
    QString error;
    cases = ReadCaseFile(launch.cases, &error);
    if (!cases) return error;
    const QString source = QStringLiteral("--cases %1").arg(launch.cases);
    if (!Agree(asked.pattern, asked.patternFrom, cases->pattern, source) ||
        !Agree(asked.flags, asked.flagsFrom, cases->flags, source)) {
      return QStringLiteral("%1 and %2 give different patterns or options")
          .arg(asked.patternFrom, source);
    }
  }
  if (launch.pattern &&
      !Agree(asked.pattern, asked.patternFrom, *launch.pattern, QStringLiteral("--pattern"))) {
    return QStringLiteral("%1 and --pattern give different patterns").arg(asked.patternFrom);
  }
  if (!launch.subject.isEmpty()) {
    QString error;
    const std::optional<QString> text = ReadUtf8(launch.subject, &error);
    if (!text) return error;
    if (!Agree(asked.subject, asked.subjectFrom, *text, QStringLiteral("--subject"))) {
      return QStringLiteral("%1 and --subject give different subjects").arg(asked.subjectFrom);
    }
  }

  // The pattern first: the case file then replaces nothing that it would have to ask about.
  if (asked.pattern) bench.setPattern(*asked.pattern);
  if (asked.flags) bench.setFlags(*asked.flags);
  if (cases) {
    const QString error = bench.loadCases(launch.cases);
    if (!error.isEmpty()) return error;
  }
  if (asked.subject) bench.setSubject(*asked.subject, !launch.subject.isEmpty());
  if (launch.replacement) bench.setReplacement(*launch.replacement);
  return {};
}
