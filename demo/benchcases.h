// The workbench's test cases: a subject and what the pattern should do with it. They are
// kept in a file of JSON Lines that `quarn --host` can replay, one object per case:
//
//   {"name":N,"calls":[{"call":"Quarn","text":T,"pattern":P,"flags":F}],
//    "expect":[{"result":true,"reports":[]}]}
//
// Expecting no match gives "result":false; expecting a match text adds the call
// {"call":"QuarnResult","type":-3} and its answer {"result":TEXT,"reports":[]}. All cases of a
// file share the pattern and flags, which are the workbench's own.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

#include "benchsearch.h"

namespace quarn::demo {

struct TestCase {
  QString name;
  QString subject;
  bool expectMatch = true;
  std::optional<QString> expectedText;  // compared only when given

  bool operator==(const TestCase&) const = default;
};

struct CaseFile {
  QString pattern;
  int32_t flags = 0;
  QList<TestCase> cases;
};

// The file's text, or nothing when a text holds a lone surrogate, which JSON cannot carry to
// the host; error then names the case.
std::optional<QByteArray> WriteCases(const CaseFile& file, QString* error);

// Reads a file of the form above; on failure error names the line and says why.
std::optional<CaseFile> ReadCases(const QByteArray& bytes, QString* error);

// Why actual does not meet expectation, or an empty text when it does.
QString Failure(const TestCase& expectation, const CaseOutcome& actual);

}  // namespace quarn::demo
