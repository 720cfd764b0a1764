// What quarn says of its patterns before any search: their faults and warnings, as messages
// before the search or alone (--check), and how the engine reads them (--explain).
#pragma once

#include <cstdio>
#include <optional>
#include <vector>

#include "line_matcher.h"
#include "messages.h"
#include "options.h"

namespace quarn::cli {

// The matcher's settings for the patterns and the pattern options of options (the limits and
// --replace aside), or nullopt after saying which pattern is not UTF-8.
std::optional<MatchSettings> PatternSettings(const Options& options, Messages& messages);

// Says every fault of notes and, unless options turn them off, every warning, each with its
// pattern and a caret at its place. Returns whether there was a fault.
bool SayPatternNotes(Messages& messages, const Options& options,
                     const std::vector<PatternNote>& notes);

// --check: the faults and warnings on out; 2 when a pattern has a fault (or is not UTF-8),
// otherwise 0.
int RunCheck(const Options& options, std::FILE* out, std::FILE* err);

// --explain: a JSON document for each pattern, one a line, on out; 2 when a pattern is not
// UTF-8, otherwise 0.
int RunExplain(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace quarn::cli
