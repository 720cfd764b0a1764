// The host protocol: calls of the three public functions as JSON Lines on one stream, one
// answer line per call on another, so that any program can drive the engine as a host would.
#pragma once

#include <cstdio>
#include <istream>
#include <string>

namespace quarn::cli {

// Answers one input line: the answer's JSON text without a line break, or an empty string
// for a blank line. The engine's match state carries over from one call to the next.
std::string AnswerHostLine(const std::string& line);

// Reads calls from in until its end and writes each answer to out, flushed line by line.
// Returns the exit status (0; 2 if the output cannot be written).
int RunHost(std::istream& in, std::FILE* out);

}  // namespace quarn::cli
