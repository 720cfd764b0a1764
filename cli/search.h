// The grep-like mode: every line (or, with --whole, every file) of the input is one subject
// for the engine, and the selected subjects are printed as the options ask.
#pragma once

#include <cstdio>

#include "options.h"

namespace quarn::cli {

// Searches the files that options name and writes to out and err. Returns the exit status:
// 0 when a line was selected, 1 when none was, 2 when an error occurred (with -q, 0 as soon
// as a line is selected).
int RunSearch(const Options& options, std::FILE* out, std::FILE* err);

}  // namespace quarn::cli
