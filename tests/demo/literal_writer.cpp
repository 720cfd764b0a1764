// Writes a C++ source that holds CppLiteral()'s literal of each awkward text beside the text's
// code units, and CppQuarnCall()'s call for each kind of flags. The compiler then judges the
// escaping: the source must compile without a warning, and running it checks that every
// literal denotes its text.
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cppliteral.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: literal_writer OUTPUT.cpp\n";
    return 2;
  }
  const std::vector<std::u16string> texts = {
      u"",
      u"plain text, (a|b)*?[x-z]{2,}",
      u"back\\slash and \"quotes\"",
      u"trigraphs ?\?= ?\?/ ?\?' and ?\?\?",
      u"\r\n line break, lone \n and lone \r, \t tab",
      std::u16string(u"NUL \0 in the middle", 19),
      u"\x01"
      u"1 \x1F"
      u"F \x7F DEL \x85 NEL",
      u"\u00E9t\u00E9 \u2028 \uFFFF \uFEFF",
      u"pair \U0001F600 end",
      u"lone high \xD800"
      u"A1 and low \xDC00"
      u"f",
      u"\xDBFF",
      u"\\u0041 is not A",
  };
  std::ofstream out(argv[1]);
  out << "#include <quarn/quarn.h>\n#include <cstdio>\n#include <string_view>\n\n"
      << "using namespace std::string_view_literals;\n\n"
      << "struct Row {\n  std::u16string_view literal;\n  std::u16string_view text;\n};\n\n";
  for (size_t i = 0; i < texts.size(); ++i) {
    out << "const char16_t text" << i << "[] = {";
    for (const char16_t c : texts[i])
      out << static_cast<unsigned>(c) << "u, ";
    out << "0};\n";
  }
  out << "\nconst Row rows[] = {\n";
  for (size_t i = 0; i < texts.size(); ++i) {
    // The suffix keeps a NUL inside the literal.
    out << "    {" << quarn::demo::CppLiteral(texts[i]) << "sv, std::u16string_view(text" << i
        << ", " << texts[i].size() << ")},\n";
  }
  out << "};\n\nint main() {\n  int wrong = 0;\n"
      << "  for (const Row& row : rows) {\n"
      << "    if (row.literal != row.text) {\n"
      << "      std::printf(\"row %d: the literal is not the text\\n\", int(&row - rows));\n"
      << "      ++wrong;\n    }\n  }\n";
  for (const int32_t flags : {0, 1, 2, 4, 1 | 4, 8 | 2}) {
    out << "  (void)" << quarn::demo::CppQuarnCall(texts[2], texts[4], flags) << ";\n";
  }
  out << "  return wrong;\n}\n";
  return out ? 0 : 1;
}
