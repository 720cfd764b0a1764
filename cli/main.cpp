// quarn: a grep-like search with the Quarn engine, checks and explanations of patterns
// (--check, --explain), and the host protocol (--host) through
// which any program can call the engine's public functions.
#include <cstdio>
#include <iostream>
#include <variant>

#include "host.h"
#include "options.h"
#include "pattern_report.h"
#include "search.h"

int main(int argc, char** argv) {
  using namespace quarn::cli;
  const std::variant<Options, Exit> parsed = ParseCommandLine(argc, argv);
  if (const Exit* exit = std::get_if<Exit>(&parsed)) {
    std::fputs(exit->text.c_str(), exit->status == 0 ? stdout : stderr);
    return exit->status;
  }
  const Options& options = std::get<Options>(parsed);
  if (options.host) {
    std::ios::sync_with_stdio(false);
    return RunHost(std::cin, stdout);
  }
  switch (options.action) {
    case Action::Check:
      return RunCheck(options, stdout, stderr);
    case Action::Explain:
      return RunExplain(options, stdout, stderr);
    case Action::Search:
      break;
  }
  return RunSearch(options, stdout, stderr);
}
