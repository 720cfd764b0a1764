// Build and test tool of the web playground, compiled with Emscripten and run with Node, so
// that the page gets its texts from the demo's own C++ rather than from copies:
//
//   webtools page INDEX HELP OUT   writes INDEX with the reference part of the demo's help
//                                  (HELP, its escape tables filled in from escapes.h) in place
//                                  of its "<!-- quick reference -->" comment, as OUT
//   webtools cpp FILE              prints the workbench's "Copy as C++" call for each line of
//                                  FILE: flags, text and pattern, separated by TABs, each text
//                                  as hexadecimal UTF-16 units separated by spaces
//
// Exits 0 on success, 2 on a file that cannot be read or written or a malformed line.
#include <charconv>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "cppliteral.h"
#include "helptext.h"

namespace {

constexpr std::string_view kPlace = "<!-- quick reference -->";
// The reference and the options, up to the help's part about errors in the demo window.
constexpr std::string_view kFrom = "<h2 id=\"reference\">";
constexpr std::string_view kTo = "<h2 id=\"errors\">";

bool Read(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream contents;
  contents << file.rdbuf();
  text = contents.str();
  return static_cast<bool>(file);
}

int Page(const std::string& indexPath, const std::string& helpPath, const std::string& outPath) {
  std::string index;
  std::string help;
  if (!Read(indexPath, index) || !Read(helpPath, help)) {
    std::cerr << "webtools: cannot read " << indexPath << " or " << helpPath << '\n';
    return 2;
  }
  const std::string filled = quarn::demo::HelpWithEscapes(help);
  const size_t from = filled.find(kFrom);
  const size_t to = filled.find(kTo);
  const size_t place = index.find(kPlace);
  if (from == std::string::npos || to == std::string::npos || to < from ||
      place == std::string::npos) {
    std::cerr << "webtools: the help's reference or the page's place for it is missing\n";
    return 2;
  }
  index.replace(place, kPlace.size(), filled.substr(from, to - from));
  std::ofstream out(outPath, std::ios::binary);
  out << index;
  return out ? 0 : 2;
}

bool Units(std::string_view hex, std::u16string& text) {
  std::istringstream in{std::string(hex)};
  for (unsigned unit = 0; in >> std::hex >> unit;) {
    if (unit > 0xFFFF) return false;
    text += static_cast<char16_t>(unit);
  }
  return in.eof();
}

int Cpp(const std::string& path) {
  std::string lines;
  if (!Read(path, lines)) {
    std::cerr << "webtools: cannot read " << path << '\n';
    return 2;
  }
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    const size_t tab1 = line.find('\t');
    const size_t tab2 = line.find('\t', tab1 + 1);
    std::u16string text;
    std::u16string pattern;
    int flags = 0;
    if (tab1 == std::string::npos || tab2 == std::string::npos ||
        std::from_chars(line.data(), line.data() + tab1, flags).ptr != line.data() + tab1 ||
        !Units(std::string_view(line).substr(tab1 + 1, tab2 - tab1 - 1), text) ||
        !Units(std::string_view(line).substr(tab2 + 1), pattern)) {
      std::cerr << "webtools: malformed line: " << line << '\n';
      return 2;
    }
    std::cout << quarn::demo::CppQuarnCall(text, pattern, flags) << '\n';
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "page" && argc == 5) return Page(argv[2], argv[3], argv[4]);
  if (mode == "cpp" && argc == 3) return Cpp(argv[2]);
  std::cerr << "usage: webtools page INDEX HELP OUT | webtools cpp FILE\n";
  return 2;
}
