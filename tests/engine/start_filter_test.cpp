// The start scan finds the next position where a match may begin. Where the pattern's first
// characters are a few units or a few ranges, it searches for them a vector at a time, and
// after a leading "\b" it passes over positions inside a word; the position found must be
// the one a position-by-position scan finds, for UTF-16 and 8-bit subjects, from every start,
// with the characters at every place of a vector and the text's tail.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "program.h"
#include "quarn/utf.h"

namespace quarn::testing {
namespace {

template <typename Unit>
size_t OneByOne(const StartFilter& filter, Units<Unit> text, size_t from) {
  while (from < text.size() && !filter.AdmitsAt(text, from))
    ++from;
  return from;
}

TEST(StartFilter, FindsWhatACharacterByCharacterScanFinds) {
  struct Case {
    std::u16string pattern;
    int32_t flags;
  };
  const std::vector<Case> cases = {
      {u"[0-9]+x", 0},          {u"\\d", 0},
      {u"[a-cx-z]q", 0},        {u"[A-Z][a-z]", 0},
      {u"[\u00e0-\u00ff_]", 0}, {u"[\u0100-\u0200a-b]", 0},
      {u"[\u00f0-\u0110]", 0},  {u"[\\x00-\\x08]", 0},
      {u"[\uff00-\uffff]", 0},  {u"[a-z]", reIgnoreCase},
      {u"ab|cd|\u0101", 0},     {u"[0-9a-fA-F]{2}", 0},
      {u"[A-\u0180]", 0},       {u"\\b[A-Z]{2}", 0},
      {u"\\b\\w+x", 0},         {u"\\b[k]", reIgnoreCase},
  };
  // Characters in and out of every range above, and on their edges.
  const std::u16string alphabet =
      u"09/:abcdwxyz{`AZ[@_\u0080\u00a0\u00df\u00e0\u00ff\u0100\u0101\u0200\u0201\u00ef\u0110\u0111"
      u"\u0000\u0008\u0009\ufeff\uff00\uffff\u212a ";
  std::mt19937 random(20261210);
  int found = 0;
  for (const Case& c : cases) {
    const Program program(c.pattern, c.flags);
    const StartFilter& filter = program.Filter();
    ASSERT_TRUE(filter.Active()) << Utf16ToUtf8(c.pattern);
    for (int round = 0; round < 300; ++round) {
      std::u16string text(random() % 40, u' ');
      for (char16_t& unit : text) {
        // Mostly out of the set, so that the scan runs over whole vectors.
        unit = random() % 5 == 0 ? alphabet[random() % alphabet.size()] : u'.';
      }
      std::vector<uint8_t> bytes;
      for (const char16_t unit : text) {
        if (unit < 256) bytes.push_back(static_cast<uint8_t>(unit));
      }
      const Units<char16_t> wide(text);
      const Units<uint8_t> narrow(bytes.data(), bytes.size());
      for (size_t from = 0; from <= text.size(); ++from) {
        const size_t expected = OneByOne(filter, wide, from);
        found += expected < text.size();
        ASSERT_EQ(filter.Next(wide, from), expected)
            << Utf16ToUtf8(c.pattern) << " in \"" << Utf16ToUtf8(text) << "\" from " << from;
      }
      for (size_t from = 0; from <= bytes.size(); ++from) {
        ASSERT_EQ(filter.Next(narrow, from), OneByOne(filter, narrow, from))
            << Utf16ToUtf8(c.pattern) << " in bytes from " << from;
      }
    }
  }
  EXPECT_GT(found, 10000);  // the texts hold characters of the sets
}

}  // namespace
}  // namespace quarn::testing
