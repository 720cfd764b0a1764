// Subjects at their edges, through the C++ API and the C interface alike: start offsets next
// to characters of several bytes and surrogate pairs, byte offsets past 4-byte characters,
// texts decoded once (quarn::Text, quarn_text) and searched many times, the length limit
// checked before decoding, subjects given as temporaries, group numbers out of range and
// where an ill-formed UTF-8 pattern fails; 8-bit texts (ASCII UTF-8 and Latin-1) searched as
// they are, with their UTF-16 form made only when asked for. Every error is a value and
// leaves every object usable.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "quarn/pattern.h"
#include "quarn/quarn_c.h"
#include "quarn/utf.h"

namespace {

using quarn::Limits;
using quarn::Pattern;
using quarn::Text;

// "a", then 2-, 3- and 4-byte characters, then "z": bytes 0, 1-2, 3-5, 6-9, 10.
const std::string kMixed = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";

// What a search answered: a byte span, no match, or an error number.
struct Outcome {
  std::optional<std::pair<int64_t, int64_t>> span;
  int32_t error = 0;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  if (o.error != 0) return out << "error " << o.error;
  if (!o.span) return out << "no match";
  return out << "[" << o.span->first << "," << o.span->second << ")";
}

const Outcome kNone{};
Outcome At(int64_t start, int64_t end) {
  return {std::make_pair(start, end), 0};
}
Outcome Error(int32_t number) {
  return {std::nullopt, number};
}

std::string Times(const std::string& piece, int n) {
  std::string text;
  for (int i = 0; i < n; ++i)
    text += piece;
  return text;
}

Outcome FromApi(const quarn::SearchResult& r) {
  if (r.error()) return Error(r.error()->number);
  if (!r) return {};
  return At(static_cast<int64_t>(r.match().byteStart()), static_cast<int64_t>(r.match().byteEnd()));
}

Outcome FromC(int answer, const quarn_span& span, const quarn_error& error) {
  if (answer == QUARN_MATCH) return At(span.start, span.end);
  if (answer == QUARN_NO_MATCH) return {};
  EXPECT_EQ(answer == QUARN_INVALID_ARGUMENT, error.number == quarn::errArgument);
  return Error(error.number);
}

struct StartCase {
  std::string pattern;
  std::string text;
  size_t start;
  Outcome expected;
};

// A start byte maps to the character that begins there; inside a sequence or past the end it
// is an error, whichever way the text is given.
TEST(Text, AStartByteIsWhereACharacterBegins) {
  const std::string emoji = "\xF0\x9F\x98\x80z";
  const std::vector<StartCase> cases = {
      {".", emoji, 4, At(4, 5)},
      {"", emoji, 4, At(4, 4)},
      {"", emoji, 5, At(5, 5)},
      {".", emoji, 5, kNone},
      {".", emoji, 0, At(0, 4)},
      {".", emoji, 1, Error(quarn::errArgument)},
      {".", emoji, 3, Error(quarn::errArgument)},
      {".", emoji, 6, Error(quarn::errArgument)},
      {"z", kMixed, 6, At(10, 11)},
      {"\\W", kMixed, 1, At(1, 3)},
      {"\\W", kMixed, 3, At(3, 6)},
      {".", kMixed, 2, Error(quarn::errArgument)},
      {".", kMixed, 8, Error(quarn::errArgument)},
      {"^", kMixed, 6, kNone},
      {"\\b", "\xC3\xA9 a", 2, At(3, 3)},
  };
  for (const StartCase& c : cases) {
    const std::string where = c.pattern + " from byte " + std::to_string(c.start);
    const Pattern p(c.pattern);
    EXPECT_EQ(FromApi(p.search(std::string_view(c.text), c.start)), c.expected) << where;
    EXPECT_EQ(FromApi(p.search(Text(c.text), c.start)), c.expected) << where;

    quarn_error error;
    quarn_pattern* compiled = quarn_compile(c.pattern.data(), c.pattern.size(), 0, &error);
    ASSERT_NE(compiled, nullptr);
    quarn_span span{};
    int answer =
        quarn_search(compiled, c.text.data(), c.text.size(), c.start, nullptr, &span, 1, &error);
    EXPECT_EQ(FromC(answer, span, error), c.expected) << where << " (C)";
    quarn_text* text = quarn_text_new(c.text.data(), c.text.size(), nullptr, &error);
    ASSERT_NE(text, nullptr);
    answer = quarn_search_text(compiled, text, c.start, nullptr, &span, 1, &error);
    EXPECT_EQ(FromC(answer, span, error), c.expected) << where << " (C text)";
    // After the refusal, both handles still search.
    EXPECT_EQ(quarn_search_text(compiled, text, 0, nullptr, &span, 1, &error), QUARN_MATCH);
    quarn_text_free(text);
    quarn_free(compiled);
  }
}

// A UTF-16 start counts units and may fall between the halves of a pair; past the end is an
// error there too.
TEST(Text, AUtf16StartCountsUnits) {
  const std::u16string text = u"\U0001F600z";
  const Pattern dot(u".");
  EXPECT_EQ(dot.search(text, 1).match().span(0)->start, 1u);  // the low half alone
  EXPECT_EQ(dot.search(text, 2).match().group(), u"z");
  EXPECT_FALSE(dot.search(text, 3));
  EXPECT_EQ(dot.search(text, 4).error()->number, quarn::errArgument);
  EXPECT_EQ(dot.search(Text(text), 4).error()->number, quarn::errArgument);
  EXPECT_EQ(dot.search(Text(text), 4).error()->kind, quarn::ErrorKind::kInvalidArgument);
  quarn_error error;
  quarn_pattern* p = quarn_compile16(reinterpret_cast<const uint16_t*>(u"."), 1, 0, &error);
  quarn_span span{};
  EXPECT_EQ(quarn_search16(p, reinterpret_cast<const uint16_t*>(text.data()), text.size(), 4,
                           nullptr, &span, 1, &error),
            QUARN_INVALID_ARGUMENT);
  EXPECT_EQ(error.number, quarn::errArgument);
  quarn_free(p);
}

// Every byte offset of a long text with characters of every length: a boundary maps to a unit
// and back, any other byte to none; each match of "." has the byte span of its character. The
// text is long enough for the offset table to have many entries.
TEST(Text, ByteOffsetsAtEveryCharacterOfALongText) {
  std::string bytes;
  std::vector<size_t> boundaries;
  for (int i = 0; i < 150; ++i) {
    for (const std::string& c : {std::string("a"), std::string("\xC3\xA9"),
                                 std::string("\xF0\x9F\x98\x80"), std::string("\xE2\x82\xAC")}) {
      if ((i + c.size()) % 3 == 0) continue;  // vary where the characters fall
      boundaries.push_back(bytes.size());
      bytes += c;
    }
  }
  boundaries.push_back(bytes.size());
  Limits limits;
  limits.depth = 100000;
  const Text text(bytes, limits);
  ASSERT_FALSE(text.error());
  ASSERT_EQ(text.size(), bytes.size());
  size_t next = 0;
  for (size_t byte = 0; byte <= bytes.size() + 1; ++byte) {
    const bool boundary = next < boundaries.size() && boundaries[next] == byte;
    const std::optional<size_t> unit = text.unitAt(byte);
    ASSERT_EQ(unit.has_value(), boundary) << "byte " << byte;
    if (!boundary) continue;
    ++next;
    EXPECT_EQ(text.offsetOf(*unit), byte);
    std::u16string prefix;
    ASSERT_TRUE(quarn::Utf8ToUtf16(std::string_view(bytes).substr(0, byte), prefix));
    EXPECT_EQ(*unit, prefix.size()) << "byte " << byte;
  }
  // "." takes one unit, the high half of a 4-byte character: in bytes, up to the character's
  // end, where the next search of a UTF-8 text goes on.
  std::vector<std::pair<size_t, size_t>> expected;
  for (size_t i = 0; i + 1 < boundaries.size(); ++i)
    expected.emplace_back(boundaries[i], boundaries[i + 1]);
  std::vector<std::pair<size_t, size_t>> found;
  for (const quarn::Match& m : Pattern(".").matches(text, limits)) {
    found.emplace_back(m.byteStart(), m.byteEnd());
    EXPECT_EQ(m.group8(),
              std::string_view(bytes).substr(m.byteStart(), m.byteEnd() - m.byteStart()));
  }
  EXPECT_EQ(found, expected);
}

// The loop that chains searches, as a C caller writes it, ends and finds what matches()
// finds, emoji and empty matches included.
TEST(Text, AChainOfSearchesFindsWhatMatchesFinds) {
  const std::string text = "Sing \xF0\x9F\x98\x80 dancing\xF0\x9F\x98\x80ing, \xE2\x82\xAC";
  for (const char* pattern : {"\\b(\\w+)ing\\b", "", "\\W*", "."}) {
    const Pattern p(pattern);
    std::vector<std::pair<size_t, size_t>> all;
    for (const quarn::Match& m : p.matches(std::string_view(text)))
      all.emplace_back(m.byteStart(), m.byteEnd());

    quarn_error error;
    quarn_pattern* compiled = quarn_compile(pattern, QUARN_NUL_TERMINATED, 0, &error);
    quarn_text* prepared = quarn_text_new(text.data(), text.size(), nullptr, &error);
    std::vector<std::pair<size_t, size_t>> chained;
    const Text decoded(text);
    quarn_span span{};
    for (size_t start = 0;
         quarn_search_text(compiled, prepared, start, nullptr, &span, 1, &error) == QUARN_MATCH;) {
      chained.emplace_back(span.start, span.end);
      ASSERT_LE(chained.size(), text.size() + 1) << pattern;
      start = static_cast<size_t>(span.end);
      if (span.end == span.start) {  // on by one character
        do {
          ++start;
        } while (start < text.size() && !decoded.unitAt(start));
      }
    }
    EXPECT_EQ(chained, all) << pattern;
    quarn_text_free(prepared);
    quarn_free(compiled);
  }
}

// A Text answers as the string it was made from, for every call that takes one.
TEST(Text, EveryCallAnswersAsForTheString) {
  const Pattern p(u"(\\w)(\\d)?");
  const std::u16string units = u"a1 \U0001F600b c3";
  const std::string bytes = quarn::Utf16ToUtf8(units);
  for (const Text& text : {Text(units), Text(bytes)}) {
    EXPECT_EQ(p.replace(text, u"[$2$1]").text, p.replace(units, u"[$2$1]").text);
    EXPECT_EQ(p.replace(text, u"<$0>", 2).count, 2u);
    EXPECT_EQ(p.split(text).pieces, p.split(units).pieces);
    EXPECT_EQ(p.split(text, 1).pieces, p.split(units, 1).pieces);
    std::vector<std::u16string> found;
    for (const quarn::Match& m : p.matches(text))
      found.emplace_back(m.group(1));
    EXPECT_EQ(found, (std::vector<std::u16string>{u"a", u"b", u"c"}));
  }
}

// The limit is checked before a byte is decoded: an over-long text with an ill-formed byte at
// its end gives the overflow, not the decoding error, and holds nothing.
TEST(Text, TheLengthLimitComesBeforeDecoding) {
  const std::string longText = std::string(200000, 'a') + "\xFF";
  const Text refused(longText);
  ASSERT_TRUE(refused.error());
  EXPECT_EQ(refused.error()->number, quarn::errOverflow);
  EXPECT_EQ(refused.error()->kind, quarn::ErrorKind::kSubjectLength);
  EXPECT_TRUE(refused.units().empty());
  EXPECT_FALSE(refused.unitAt(0));
  EXPECT_EQ(Pattern("a").search(refused).error()->number, quarn::errOverflow);
  EXPECT_EQ(Pattern("a").search(std::string_view(longText)).error()->number, quarn::errOverflow);
  quarn_error error;
  EXPECT_EQ(quarn_text_new(longText.data(), longText.size(), nullptr, &error), nullptr);
  EXPECT_EQ(error.number, quarn::errOverflow);

  // At the limit in UTF-16 units, whatever the bytes per character.
  Limits limits;
  limits.subjectLength = 10;
  const std::string euro = "\xE2\x82\xAC";
  const std::string emoji = "\xF0\x9F\x98\x80";
  struct LengthCase {
    std::string text;
    int32_t error;
  };
  const std::vector<LengthCase> cases = {
      {std::string(10, 'a'), 0},
      {std::string(11, 'a'), quarn::errOverflow},
      {Times(euro, 10), 0},
      {Times(euro, 11), quarn::errOverflow},
      {Times(emoji, 5), 0},
      {Times(emoji, 5) + "a", quarn::errOverflow},
      {std::string(10, 'a') + "\xFF", quarn::errOverflow},
      {std::string(9, 'a') + "\xFF", quarn::errInvalidUtf8},
  };
  for (const LengthCase& c : cases) {
    const Text text(c.text, limits);
    EXPECT_EQ(text.error() ? text.error()->number : 0, c.error) << c.text.size() << " bytes";
    const quarn::SearchResult r = Pattern("x").search(std::string_view(c.text), 0, limits);
    EXPECT_EQ(r.error() ? r.error()->number : 0, c.error) << c.text.size() << " bytes";
  }
}

// A temporary subject lives as long as what was found in it (ASan sees any use after free).
TEST(Text, TemporarySubjectsLiveAsLongAsTheirMatches) {
  const Pattern p("(\\w+)!");
  const quarn::SearchResult r16 = p.search(std::u16string(u"say hello!"));
  EXPECT_EQ(r16.match().group(1), u"hello");
  const quarn::SearchResult r8 = Pattern("(\\S+)!").search(std::string("say h\xC3\xA9llo!"));
  EXPECT_EQ(r8.match().group8(1), "h\xC3\xA9llo");
  EXPECT_EQ(r8.match().byteStart(1), 4u);
  std::vector<std::string> words;
  for (const quarn::Match& m : p.matches(std::string("a! bb! ccc!")))
    words.emplace_back(m.group8(1));
  EXPECT_EQ(words, (std::vector<std::string>{"a", "bb", "ccc"}));
  std::u16string last;
  for (const quarn::Match& m : p.matches(std::u16string(u"x! y!")))
    last = m.group(1);
  EXPECT_EQ(last, u"y");
  const Text owned(std::string("ok!"));
  EXPECT_EQ(p.search(owned).match().group8(), "ok!");
}

// A group number outside the pattern's groups answers as a group that took no part.
TEST(Text, GroupNumbersOutOfRangeTookNoPart) {
  const quarn::SearchResult r =
      Pattern("(a)(x)?").search(std::string_view("\xC3\xA9"
                                                 "a"));
  ASSERT_TRUE(r);
  const quarn::Match& m = r.match();
  EXPECT_TRUE(m.matched(1));
  EXPECT_EQ(m.byteStart(1), 2u);
  for (const int n : {-1, 2, 3, 31, 1000}) {
    EXPECT_FALSE(m.matched(n)) << n;
    EXPECT_FALSE(m.span(n)) << n;
    EXPECT_TRUE(m.group(n).empty()) << n;
    EXPECT_TRUE(m.group8(n).empty()) << n;
    EXPECT_EQ(m.byteStart(n), 0u) << n;
    EXPECT_EQ(m.byteEnd(n), 0u) << n;
  }
}

// An ill-formed UTF-8 pattern fails where decoding stopped: in UTF-16 units in C++, in bytes
// in C, and the text names the byte.
TEST(Text, AnIllFormedPatternSaysWhere) {
  struct PatternCase {
    std::string pattern;
    size_t units;
    size_t byte;
  };
  const std::vector<PatternCase> cases = {
      {"\xFF", 0, 0},           {"a\xFF", 1, 1},
      {"\xC3\xA9(\xC3", 2, 3},  {"\xF0\x9F\x98\x80\x80", 2, 4},
      {"ab\xED\xA0\x80", 2, 2},  // an encoded surrogate
  };
  for (const PatternCase& c : cases) {
    const Pattern p(c.pattern);
    ASSERT_TRUE(p.error());
    EXPECT_EQ(p.error()->number, quarn::errInvalidUtf8);
    EXPECT_EQ(p.error()->position, c.units) << c.pattern;
    EXPECT_NE(p.error()->message().find("at byte " + std::to_string(c.byte)), std::string::npos)
        << p.error()->message();
    quarn_error error;
    EXPECT_EQ(quarn_compile(c.pattern.data(), c.pattern.size(), 0, &error), nullptr);
    EXPECT_EQ(error.position, static_cast<int64_t>(c.byte)) << c.pattern;
  }
}

struct Latin1Case {
  std::u16string pattern;
  int32_t flags;
  std::string latin1;
  size_t start;
  std::optional<std::pair<size_t, size_t>> span;  // in bytes, which are the units
  std::u16string group1;
};

// A Latin-1 byte is one character, whatever its value: the bytes a UTF-8 reading would take
// for the start of a sequence, C1 controls, NUL, the letters whose other case lies above
// U+00FF, and the two above ASCII that "\w" takes. Each search also answers as the same
// search of the UTF-16 text.
TEST(Text, Latin1BytesAreCharacters) {
  const int32_t fold = quarn::reIgnoreCase;
  const std::vector<Latin1Case> cases = {
      {u"(\u00E9)", 0, "caf\xE9", 0, std::make_pair(3, 4), u"\u00E9"},
      {u"(\u00C9+)", fold, "x\xE9\xC9\xE9y", 0, std::make_pair(1, 4), u"\u00E9\u00C9\u00E9"},
      {u"(\u0178)", fold, "ab\xFF", 0, std::make_pair(2, 3), u"\u00FF"},  // U+0178 folds to U+00FF
      {u"(\u0178)", 0, "ab\xFF", 0, std::nullopt, u""},
      {u"\u0100|\u0101", fold, "\xC4\x80\x81", 0, std::nullopt, u""},  // no byte is above
      {u"(.)\u00A9", 0, "\xC2\xA9", 0, std::make_pair(0, 2), u"\u00C2"},
      {u"(a.b)", 0, std::string("xa\0b", 4), 0, std::make_pair(1, 4), std::u16string(u"a\0b", 3)},
      {u"([\\x80-\\x9F]+)$", 0, "a\x85\x9F\r\n", 0, std::make_pair(1, 3), u"\u0085\u009F"},
      {u"(\u00E9)", 0, "\xE9\xE9\xE9", 2, std::make_pair(2, 3), u"\u00E9"},
      {u"(\u00E9)", 0, "\xE9\xE9\xE9", 3, std::nullopt, u""},
      {u"\\b(\\w+)\\b", 0, "-- caf\xE9 --", 0, std::make_pair(3, 6), u"caf"},
      {u"(\\w+)", 0,
       "\xE9\xFF\x80"
       "a",
       0, std::make_pair(1, 4), u"\u00FF\u0080a"},
  };
  for (const Latin1Case& c : cases) {
    const std::string what = quarn::Utf16ToUtf8(c.pattern) + " from " + std::to_string(c.start);
    const Text text = Text::Latin1(c.latin1);
    ASSERT_TRUE(text.searchesBytes()) << what;
    const Pattern p(c.pattern, c.flags);
    const quarn::SearchResult r = p.search(text, c.start);
    ASSERT_FALSE(r.error()) << what;
    ASSERT_EQ(r.matched(), c.span.has_value()) << what;
    std::u16string units;
    for (const char byte : c.latin1)
      units += static_cast<char16_t>(static_cast<unsigned char>(byte));
    const quarn::SearchResult wide = p.search(units, c.start);
    ASSERT_EQ(wide.matched(), r.matched()) << what;
    if (!r) continue;
    EXPECT_EQ(std::make_pair(r.match().start(), r.match().end()), *c.span) << what;
    EXPECT_EQ(r.match().group(1), c.group1) << what;
    EXPECT_EQ(std::make_pair(wide.match().start(), wide.match().end()), *c.span) << what;
  }
  // Past the end is an error, as for every text.
  const quarn::SearchResult past = Pattern("a").search(Text::Latin1("\xE9"), 2);
  ASSERT_TRUE(past.error());
  EXPECT_EQ(past.error()->number, quarn::errArgument);
}

// Which texts a search reads byte by byte: ASCII UTF-8 and every Latin-1 text, never a UTF-8
// text with another character, a refused one, or UTF-16.
TEST(Text, EightBitTextsThatAreSearchedAsTheyAre) {
  Limits limits;
  limits.subjectLength = 4;
  struct KindCase {
    Text text;
    Text::Encoding encoding;
    bool bytes;
  };
  const std::vector<KindCase> cases = {
      {Text(std::string_view("abc")), Text::Encoding::kUtf8, true},
      {Text(std::string_view("")), Text::Encoding::kUtf8, true},
      {Text(std::string("ab\x7F")), Text::Encoding::kUtf8, true},
      {Text(std::string_view("caf\xC3\xA9")), Text::Encoding::kUtf8, false},
      {Text(std::string_view("abcde"), limits), Text::Encoding::kUtf8, false},  // too long
      {Text::Latin1("caf\xE9"), Text::Encoding::kLatin1, true},
      {Text::Latin1(std::string("\xFF\xFE")), Text::Encoding::kLatin1, true},
      {Text(std::u16string_view(u"abc")), Text::Encoding::kUtf16, false},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(cases[i].text.encoding(), cases[i].encoding) << i;
    EXPECT_EQ(cases[i].text.searchesBytes(), cases[i].bytes) << i;
  }
  // A Latin-1 text is every byte's character, so its limit is the byte count, checked by the
  // search as for UTF-16.
  const quarn::SearchResult r = Pattern("x").search(Text::Latin1("\xE9\xE9\xE9\xE9x"), 0, limits);
  ASSERT_TRUE(r.error());
  EXPECT_EQ(r.error()->number, quarn::errOverflow);
}

// Positions of an 8-bit text are its bytes; the UTF-16 form is made on the first call that
// needs it, once, shared by copies and viewed by groups, and the calls that rebuild text from
// pieces need none.
TEST(Text, TheUtf16FormOfAnEightBitTextIsMadeOnce) {
  for (const Text& text :
       {Text::Latin1(std::string("na\xEFve cafes")), Text(std::string("naive cafes"))}) {
    const std::string bytes(text.bytes());
    ASSERT_EQ(text.size(), 11u);
    for (size_t i = 0; i <= text.size(); ++i) {
      EXPECT_EQ(text.unitAt(i), i);
      EXPECT_EQ(text.offsetOf(i), i);
    }
    EXPECT_FALSE(text.unitAt(text.size() + 1));

    const Pattern p("(\\w+)s\\b");
    const quarn::Replaced replaced = p.replace(text, u"[$1]");
    EXPECT_EQ(replaced.count, 1u);
    const quarn::Split split = p.split(text);
    ASSERT_EQ(split.pieces.size(), 2u);

    const quarn::SearchResult r = p.search(text);
    ASSERT_TRUE(r);
    const std::u16string_view units = text.units();
    ASSERT_EQ(units.size(), bytes.size());
    for (size_t i = 0; i < units.size(); ++i)
      EXPECT_EQ(units[i], static_cast<unsigned char>(bytes[i])) << i;
    EXPECT_EQ(text.units().data(), units.data());
    const Text copy = text;
    EXPECT_EQ(copy.units().data(), units.data());
    const std::u16string_view group = r.match().group(1);
    EXPECT_EQ(group.data(), units.data() + 6);
    EXPECT_EQ(std::u16string(group), std::u16string(units.substr(6, 4)));
    EXPECT_EQ(replaced.text,
              std::u16string(units.substr(0, 6)) + u"[" + std::u16string(group) + u"]");
    EXPECT_EQ(split.pieces[0] + split.pieces[1], std::u16string(units.substr(0, 6)));
  }
}

TEST(Text, CTextsRefuseBadInputAndStayUsable) {
  quarn_error error;
  EXPECT_EQ(quarn_text_new(nullptr, 0, nullptr, &error), nullptr);
  EXPECT_EQ(error.number, quarn::errArgument);
  EXPECT_EQ(quarn_text_new16(nullptr, 0, &error), nullptr);
  EXPECT_EQ(error.number, quarn::errArgument);
  EXPECT_EQ(quarn_text_new("a\xC3", QUARN_NUL_TERMINATED, nullptr, &error), nullptr);
  EXPECT_EQ(error.number, quarn::errInvalidUtf8);
  EXPECT_STREQ(error.message,
               "Error #20055: Error in Quarn.Quarn: Invalid UTF-8 in the text at byte 1");

  quarn_pattern* p = quarn_compile("(b)", QUARN_NUL_TERMINATED, 0, &error);
  quarn_span spans[2];
  EXPECT_EQ(quarn_search_text(p, nullptr, 0, nullptr, spans, 2, &error), QUARN_INVALID_ARGUMENT);
  const uint16_t units[] = {'a', 0xD83D, 0xDE00, 'b', 0};
  quarn_text* text = quarn_text_new16(units, QUARN_NUL_TERMINATED, &error);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(quarn_search_text(nullptr, text, 0, nullptr, spans, 2, &error), QUARN_INVALID_ARGUMENT);
  EXPECT_EQ(quarn_search_text(p, text, 9, nullptr, spans, 2, &error), QUARN_INVALID_ARGUMENT);
  ASSERT_EQ(quarn_search_text(p, text, 0, nullptr, spans, 2, &error), QUARN_MATCH);
  EXPECT_EQ(spans[1].start, 3);
  EXPECT_EQ(spans[1].end, 4);
  // The limits of the search, not those of the text's making, bound it.
  quarn_limits small = {0, 2, 0, NULL};
  EXPECT_EQ(quarn_search_text(p, text, 0, &small, spans, 2, &error), QUARN_ERROR);
  EXPECT_EQ(error.number, quarn::errOverflow);
  quarn_text_free(text);
  quarn_text_free(nullptr);
  quarn_free(p);
}

}  // namespace
