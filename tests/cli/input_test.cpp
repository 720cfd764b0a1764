// Reading lines in process: lines of any length across the reader's blocks, their offsets
// and terminators, lines too long to hold passed over without being held, NUL-terminated
// data, a whole file held only when it is short enough, and large files mapped: read as the
// same blocks, and safe when the file shrinks or grows while it is read.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "input.h"
#include "run_quarn.h"

namespace quarn::cli {
namespace {

struct ReadLine {
  std::string text;
  std::string end;
  uint64_t offset;
  uint64_t length;
  bool tooLong;
  bool operator==(const ReadLine&) const = default;
};

void PrintTo(const ReadLine& line, std::ostream* out) {
  *out << "{" << line.text.size() << " bytes, end '" << line.end << "', offset " << line.offset
       << ", length " << line.length << (line.tooLong ? ", too long" : "") << "}";
}

std::vector<ReadLine> ReadLines(const std::string& bytes, uint64_t longest = UINT64_MAX,
                                char terminator = '\n') {
  const cli_test::ScratchDir dir;
  ByteBuffer buffer;
  InputFile input(dir.Write("input", bytes), buffer, terminator);
  std::vector<ReadLine> lines;
  for (Line line; input.NextLine(line, longest);) {
    lines.push_back(
        {std::string(line.text), std::string(line.end), line.offset, line.length, line.tooLong});
  }
  EXPECT_EQ(input.BytesRead(), bytes.size());
  return lines;
}

TEST(InputFile, LinesOfAnyLengthWithTheirOffsetsAndTerminators) {
  const std::string longLine(300'000, 'x');  // more than a block of the reader
  const std::string bytes = "a\r\n\n" + longLine + "\r\nb\rc\n" + longLine + "z";
  const std::vector<ReadLine> expected = {
      {"a", "\r\n", 0, 1, false},
      {"", "\n", 3, 0, false},
      {longLine, "\r\n", 4, longLine.size(), false},
      {"b\rc", "\n", 300'006, 3, false},  // a lone CR is part of the line
      {longLine + "z", "", 300'010, longLine.size() + 1, false},
  };
  EXPECT_EQ(ReadLines(bytes), expected);
}

TEST(InputFile, ALineTooLongToHoldIsPassedOverWithItsPlaceAndTerminator) {
  const std::string longLine(250'000, 'x');
  const std::string bytes = "short\n" + longLine + "\r\nafter\n" + longLine;
  const std::vector<ReadLine> expected = {
      {"short", "\n", 0, 5, false},
      {"", "\r\n", 6, longLine.size(), true},
      {"after", "\n", 250'008, 5, false},
      {"", "", 250'014, longLine.size(), true},
  };
  EXPECT_EQ(ReadLines(bytes, 100'000), expected);
  // A line exactly as long as the limit is held.
  EXPECT_EQ(ReadLines("abc\n", 3), (std::vector<ReadLine>{{"abc", "\n", 0, 3, false}}));
  EXPECT_EQ(ReadLines("abcd\n", 3), (std::vector<ReadLine>{{"", "\n", 0, 4, true}}));
}

TEST(InputFile, NulTerminatedLinesKeepTheirLineBreaks) {
  const std::string bytes("a\nb\0\r\n\0c", 8);
  const std::vector<ReadLine> expected = {
      {"a\nb", std::string("\0", 1), 0, 3, false},
      {"\r\n", std::string("\0", 1), 4, 2, false},
      {"c", "", 7, 1, false},
  };
  EXPECT_EQ(ReadLines(bytes, UINT64_MAX, '\0'), expected);
}

TEST(InputFile, TheFirstNulByteIsFound) {
  const cli_test::ScratchDir dir;
  ByteBuffer buffer;
  InputFile input(dir.Write("binary", std::string(200'000, 'a') + std::string("b\0c\0", 4)),
                  buffer);
  Line line;
  while (input.NextLine(line)) {
  }
  EXPECT_TRUE(input.SawNul());
  EXPECT_EQ(input.FirstNul(), 200'001u);
}

TEST(InputFile, AWholeFileIsHeldOnlyWhenItIsShortEnough) {
  const cli_test::ScratchDir dir;
  const std::string text = std::string(250'000, 'x') + "\nend";
  for (const uint64_t longest : {uint64_t{300'000}, uint64_t{1000}}) {
    ByteBuffer buffer;
    InputFile input(dir.Write("whole", text), buffer);
    std::string_view all;
    const bool held = input.ReadAll(all, longest);
    EXPECT_EQ(held, longest > text.size());
    EXPECT_EQ(all, held ? std::string_view(text) : std::string_view());
    EXPECT_EQ(input.BytesRead(), text.size());
  }
}

// The lines of bytes as a reader should hand them out, split at each LF.
std::vector<ReadLine> SplitLines(const std::string& bytes) {
  std::vector<ReadLine> lines;
  for (size_t at = 0; at < bytes.size();) {
    const size_t lf = bytes.find('\n', at);
    const size_t stop = lf == std::string::npos ? bytes.size() : lf;
    const size_t cr = lf != std::string::npos && stop > at && bytes[stop - 1] == '\r';
    const std::string text = bytes.substr(at, stop - cr - at);
    const std::string end = lf == std::string::npos ? "" : cr ? "\r\n" : "\n";
    lines.push_back({text, end, at, text.size(), false});
    at = lf == std::string::npos ? bytes.size() : lf + 1;
  }
  return lines;
}

TEST(InputFile, ALargeFileReadsAsTheSameLinesAndBlocks) {
  // Large enough to be mapped: lines of any length across blocks, CR LF, and a NUL far in.
  std::mt19937 rng(20261210);
  std::string bytes;
  while (bytes.size() < (3u << 20)) {
    const size_t length = rng() % 13 == 0 ? 150'000 + rng() % 200'000 : rng() % 120;
    bytes += std::string(length, static_cast<char>('a' + rng() % 26));
    bytes += rng() % 5 == 0 ? "\r\n" : "\n";
  }
  bytes += "last";
  bytes[2'000'123] = '\0';
  EXPECT_EQ(ReadLines(bytes), SplitLines(bytes));
  const cli_test::ScratchDir dir;
  ByteBuffer buffer;
  InputFile input(dir.Write("large", bytes), buffer);
  std::string_view all;
  ASSERT_TRUE(input.ReadAll(all));
  EXPECT_TRUE(all == bytes);
  EXPECT_TRUE(input.SawNul());
  EXPECT_EQ(input.FirstNul(), 2'000'123u);
}

TEST(InputFile, ALargeFileCutShortWhileReadEndsWithoutACrash) {
  const cli_test::ScratchDir dir;
  const std::string path = dir.Write("shrinking", std::string(3u << 20, 'x') + "\n");
  std::string lines;
  for (int i = 0; i < 40'000; ++i)
    lines += std::string(99, 'x') + "\n";
  std::ofstream(path, std::ios::binary) << lines;
  ByteBuffer buffer;
  InputFile input(path, buffer);
  Line line;
  ASSERT_TRUE(input.NextLine(line));
  // Cut inside the block in view, halfway through a line: the pages past the new end are gone
  // and read as NUL bytes, but the lines handed out are the file's, the last one cut short.
  ASSERT_EQ(truncate(path.c_str(), 50'050), 0);
  uint64_t end = 0;
  while (input.NextLine(line)) {
    ASSERT_EQ(line.text.find_first_not_of('x'), std::string_view::npos) << line.offset;
    end = line.offset + line.length;
  }
  EXPECT_EQ(end, 50'050u);
  EXPECT_EQ(line.offset, 50'000u);
  EXPECT_EQ(input.Error(), 0);
}

TEST(InputFile, ALargeFileThatGrowsWhileReadIsReadToItsNewEnd) {
  const cli_test::ScratchDir dir;
  const std::string path = dir.Write("growing", std::string(2u << 20, 'x') + "\n");
  ByteBuffer buffer;
  InputFile input(path, buffer);
  Line line;
  ASSERT_TRUE(input.NextLine(line));
  std::ofstream(path, std::ios::binary | std::ios::app) << "more\nand the end";
  std::vector<std::string> rest;
  while (input.NextLine(line))
    rest.emplace_back(line.text);
  EXPECT_EQ(rest, (std::vector<std::string>{"more", "and the end"}));
}

TEST(InputFile, AFileThatCannotBeOpenedSaysWhy) {
  ByteBuffer buffer;
  const InputFile missing("/nonexistent/quarn/input", buffer);
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.Error(), ENOENT);
}

TEST(Subject, EveryUnitLeadsBackToItsBytes) {
  // Pieces of text with the units they decode to and, for each unit, where it leads in the
  // piece: a pair's high half to the character's start, its low half to its end.
  struct Piece {
    std::string bytes;
    std::vector<size_t> offsets;
  };
  const Piece pieces[] = {
      {"a", {0}},
      {"abcdefghijklmnopq", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
      {"\xC3\xA9", {0}},
      {"\xE2\x82\xAC", {0}},
      {"\xF0\x9F\x98\x80", {0, 4}},
      {"\xFF", {0}},
      {"\x80\x80", {0, 1}},
  };
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::string bytes;
    std::vector<size_t> expected;
    for (int i = 0; i < 400; ++i) {
      const Piece& piece = pieces[rng() % std::size(pieces)];
      for (const size_t offset : piece.offsets)
        expected.push_back(bytes.size() + offset);
      bytes += piece.bytes;
    }
    expected.push_back(bytes.size());
    Subject subject;
    subject.Decode(bytes, false, false);
    ASSERT_FALSE(subject.text().searchesBytes());
    ASSERT_EQ(subject.text().size() + 1, expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
      ASSERT_EQ(subject.ByteOf(i), expected[i]) << "unit " << i << " of round " << round;
  }
}

// Bytes that are their own UTF-16 units reach the engine as they are; any others are decoded,
// and so are lines that get CRs added. Either way the engine sees the same units.
TEST(Subject, OnlyBytesThatAreTheirOwnUnitsAreSearchedAsBytes) {
  const struct {
    std::string bytes;
    bool latin1;
    bool crlf;
    std::u16string units;
    bool searchesBytes;
  } cases[] = {
      {"", false, false, u"", true},
      {"plain ascii, longer than sixteen bytes", false, false,
       u"plain ascii, longer than sixteen bytes", true},
      {"caf\xC3\xA9", false, false, u"caf\u00E9", false},
      {"sixteen ascii b.\xC3\xA9", false, false, u"sixteen ascii b.\u00E9", false},
      {"bad \xFF", false, false, u"bad \xDCFF", false},
      {"\x80", false, false, u"\xDC80", false},
      {"caf\xC3\xA9", true, false, u"caf\u00C3\u00A9", true},
      {"\xFF\x80", true, false, u"\u00FF\u0080", true},
      {"a\nb", false, true, u"a\r\nb", false},
      {"a\nb", true, true, u"a\r\nb", false},
  };
  for (const auto& c : cases) {
    Subject subject;
    subject.Decode(c.bytes, c.latin1, c.crlf);
    const Text text = subject.text();
    EXPECT_EQ(text.searchesBytes(), c.searchesBytes) << c.bytes;
    EXPECT_EQ(text.units(), c.units) << c.bytes;
  }
}

TEST(Utf8, WellFormedSequencesOnly) {
  const struct {
    std::string bytes;
    bool utf8;
  } cases[] = {
      {"plain", true},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true},
      {"\xFF", false},
      {"\xC3", false},              // cut off
      {"\xC0\xAF", false},          // overlong
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"a\x80", false},             // a lone continuation byte
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsUtf8(c.bytes), c.utf8) << c.bytes;
}

}  // namespace
}  // namespace quarn::cli
