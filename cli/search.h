// The grep-like mode: every line (or, with --whole, every file) of the input is one subject
// for the engine, and the selected subjects are printed as the options ask.
#pragma once

#include "options.h"

namespace quarn::cli {

// Searches options.files (standard input when there are none) and returns the exit status:
// 0 when a subject was selected, 1 when none was, 2 when an error occurred.
int RunSearch(const Options& options);

}  // namespace quarn::cli
