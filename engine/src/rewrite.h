// The two rewritings that prepare a pattern before any matching: escape expansion, then
// group preprocessing into the internal form (each capturing group n written as
// "(" + M + inside + M + ")", M the character of code n). Both are pure functions of the
// pattern and raise Error for the pattern's syntax errors.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// origin, when given, receives for each character of the result the index in pattern of the
// construct it stands for (an escape, a quoted character, any other character), and end,
// when given, the index just after that construct.
std::u16string ExpandEspaces(std::u16string_view pattern, std::vector<uint32_t>* origin = nullptr,
                             std::vector<uint32_t>* end = nullptr);
std::u16string EscapeCharCode(uint8_t code);

// Rewrites pattern into the internal form. count is advanced once per capturing group (the
// caller sets it to 0 first); past 31 it raises the too-many error. origin as above.
std::u16string ProcessParentheses(std::u16string_view pattern, int16_t& count,
                                  std::vector<uint32_t>* origin = nullptr);
std::u16string MakeGroupMarker(int16_t n);

}  // namespace quarn
