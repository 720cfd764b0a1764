// Case folding for reIgnoreCase: the Unicode simple lowercase mapping of each 16-bit unit,
// the same on every machine and in every locale.
#include <cstdint>

#include "quarn/analysis.h"
#include "text.h"

namespace quarn {

namespace {
#include "lowercase_table.inc"
}  // namespace

char16_t LowerCase(char16_t c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  return static_cast<char16_t>(c + kLowerDelta[kLowerBlock[c >> 8]][c & 0xFF]);
}

char16_t FoldCase(char16_t c) {
  return LowerCase(c);
}

std::u16string LowerCase(std::u16string_view text) {
  std::u16string lowered(text);
  for (char16_t& c : lowered)
    c = LowerCase(c);
  return lowered;
}

}  // namespace quarn
