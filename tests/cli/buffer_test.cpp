// The search of a file block by block, which passes over the lines without a candidate and
// counts their line breaks on the way: a table of files built to put a candidate where that
// can go wrong (the first and last byte, across the boundary of a block read, beside bytes
// that are not ASCII or not UTF-8, in lines longer than the filter vouches for), with the
// output of the options that show lines, numbers, counts, matches and context. A large file
// that several threads search in pieces prints what one search of it prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "run_quarn.h"

namespace quarn::cli_test {
namespace {

using namespace std::string_literals;

// The bytes read at a time from a file, as the tool reads them.
constexpr size_t kBlock = 96 * 1024;

// Lines of filler ("zz ... z" and LF) holding no letter the patterns below look for, count of
// them, each of width bytes with its LF.
std::string Filler(size_t count, size_t width = 16) {
  std::string line(width - 1, 'z');
  line[2] = ' ';
  std::string out;
  for (size_t i = 0; i < count; ++i)
    out += line + "\n";
  return out;
}

// Filler lines that fill the first block but for a last part of tail bytes.
std::string FillerUpTo(size_t tail) {
  const size_t bytes = kBlock - tail;
  return Filler(bytes / 16 - 1) + Filler(1, 16 + bytes % 16);
}

struct BufferCase {
  const char* name;
  std::vector<std::string> args;  // before the file's name
  std::string file;
  int status;
  std::string out;
};

void PrintTo(const BufferCase& c, std::ostream* out) {
  *out << c.name;
}

// The line number of the line after the lines of FillerUpTo.
std::string AfterFiller(size_t tail) {
  return std::to_string((kBlock - tail) / 16 + 1);
}

class BufferSearch : public ::testing::TestWithParam<BufferCase> {};

TEST_P(BufferSearch, PrintsWhatEachLineOnItsOwnWould) {
  const BufferCase& c = GetParam();
  const ScratchDir dir;
  std::vector<std::string> args = c.args;
  args.push_back(dir.Write("input", c.file));
  const RunResult result = RunQuarn(args);
  EXPECT_EQ(result.status, c.status) << result.err;
  EXPECT_EQ(result.out, c.out);
}

const std::string kLong(1200, 'y');  // longer than the filter vouches for

INSTANTIATE_TEST_SUITE_P(
    Quarn, BufferSearch,
    ::testing::Values(
        BufferCase{"FirstByte", {"-n", "License"}, "License x\n" + Filler(3), 0, "1:License x\n"},
        BufferCase{"LastByteWithoutLineBreak",
                   {"-n", "License"},
                   Filler(3) + "a License",
                   0,
                   "4:a License\n"},
        BufferCase{"AcrossTheBlockBoundary",
                   {"-n", "License"},
                   FillerUpTo(4) + "a License b\n" + Filler(2),
                   0,
                   AfterFiller(4) + ":a License b\n"},
        BufferCase{
            "StretchEndsAtTheBlockBoundary",
            {"-n", "-i", "license"},
            FillerUpTo(9) + "a LICENSE\n" + Filler(2) + "license",
            0,
            AfterFiller(9) + ":a LICENSE\n" + std::to_string((kBlock - 9) / 16 + 4) + ":license\n"},
        BufferCase{"NumbersAfterSeveralBlocks",
                   {"-n", "GPL|BSD"},
                   Filler(20000) + "BSD\n" + Filler(20000) + "the GPL\n",
                   0,
                   "20001:BSD\n40002:the GPL\n"},
        BufferCase{"CrLfAndLoneCr",
                   {"-n", "License"},
                   "z\r\nLicense\r\nz\rLicense\rz\nz\r\n",
                   0,
                   "2:License\r\n3:z\rLicense\rz\n"},
        BufferCase{"NulAsText", {"-a", "-c", "License"}, "z\0z\nLicense\0\n\0"s, 0, "1\n"},
        BufferCase{"NotUtf8BesideTheCandidate",
                   {"-n", "Lic.nse"},
                   "\xFFLicense\nLic\xFFnse\nLic\xC3\xA9nse\n",
                   0,
                   "1:\xFFLicense\n2:Lic\xFFnse\n3:Lic\xC3\xA9nse\n"},
        BufferCase{"FoldsToAsciiFromOutsideAscii",  // the Kelvin sign folds to "k"
                   {"-n", "-i", "kelvin"},
                   Filler(2) +
                       "\xE2\x84\xAA"
                       "elvin\n" +
                       Filler(2),
                   0,
                   "3:\xE2\x84\xAA"
                   "elvin\n"},
        BufferCase{"LongLines",
                   {"-n", "-c", "\\w+ing\\b"},
                   kLong + "\n" + kLong + " going\n" + Filler(2) + kLong + "ing\n",
                   0,
                   "2\n"},
        BufferCase{"LongLineNumbers",
                   {"-n", "going"},
                   kLong + "\n" + Filler(2) + kLong + " going\n",
                   0,
                   "4:" + kLong + " going\n"},
        BufferCase{"InvertAcrossTheBlockBoundary",
                   {"-n", "-v", "z"},
                   "License\n" + FillerUpTo(38) + "x" + std::string(40, 'w') + "\n",
                   0,
                   "1:License\n" + std::to_string((kBlock - 38) / 16 + 2) + ":x" +
                       std::string(40, 'w') + "\n"},
        BufferCase{"Count", {"-c", "the"}, "the\n" + Filler(9000) + "other\nthe the\n", 0, "3\n"},
        BufferCase{"OnlyMatching",
                   {"-n", "-o", "[0-9]+"},
                   "a1 b22\n" + Filler(7000) + "333x4\n",
                   0,
                   "1:1\n1:22\n7002:333\n7002:4\n"},
        BufferCase{"Context",
                   {"-n", "-B1", "-A1", "License"},
                   Filler(3) + "License\n" + Filler(3) + "License",
                   0,
                   "3-zz zzzzzzzzzzzz\n4:License\n5-zz zzzzzzzzzzzz\n--\n7-zz zzzzzzzzzzzz\n"
                   "8:License\n"},
        BufferCase{"NoFactsToLookFor",
                   {"-n", "a|b*"},
                   Filler(2) + "x\n",
                   0,
                   "1:zz zzzzzzzzzzzz\n2:zz zzzzzzzzzzzz\n3:x\n"},
        BufferCase{"NoMatch", {"-c", "License"}, FillerUpTo(3) + "Licens\ne\n", 1, "0\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BufferSearch, ANulInLinesPassedOverMakesTheFileBinary) {
  // A NUL among lines the scan passes over marks the file binary from the block that holds
  // it on, before or after a match in that block; a match in an earlier block is printed. Read
  // and mapped (a file of 1 MiB or more) alike.
  struct Case {
    std::string file;
    std::string out, err;
  };
  for (const size_t lines : {size_t{20'000}, size_t{100'000}}) {
    const std::string far = Filler(lines), near = Filler(100), nul("x\0y\n", 4);
    const Case cases[] = {
        {"License one\n" + far + nul + near + "License two\n", "1:License one\n",
         "quarn: input: binary file matches\n"},
        {near + nul + near + "License one\n" + far, "", "quarn: input: binary file matches\n"},
        {near + "License one\n" + near + nul + far, "", "quarn: input: binary file matches\n"},
        {near + "License one\n" + far + "License two\n" + near,
         "101:License one\n" + std::to_string(lines + 102) + ":License two\n", ""},
    };
    for (const Case& c : cases) {
      const ScratchDir dir;
      dir.Write("input", c.file);
      const RunResult result = RunQuarn({"-n", "License", "input"}, "", dir.path());
      EXPECT_EQ(result.out, c.out) << lines;
      EXPECT_EQ(result.err, c.err) << lines;
    }
  }
}

TEST(BufferSearch, CountsTheLinesItWouldPrint) {
  // Lines that hold the text counted beside filler, and among them lines the engine must see:
  // ones with bytes that are not UTF-8 (to be noted) or not ASCII, CR LF, and runs before the
  // text that a small step budget cannot search to its end.
  std::mt19937 rng(20261211);
  static const char* const kLines[] = {"the",
                                       "x the y",
                                       "the \xFF",
                                       "the caf\xC3\xA9",
                                       "a The\r",
                                       "then the",
                                       "zz z",
                                       "th e he",
                                       "THE",
                                       "",
                                       "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa the"};
  std::string file;
  while (file.size() < 3 * kBlock) {
    file += rng() % 3 == 0 ? kLines[rng() % std::size(kLines)] : Filler(1).substr(0, 15);
    file += "\n";
  }
  const ScratchDir dir;
  const std::string input = dir.Write("input", file);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"the"}, {"-i", "the"}, {"-e", "the", "-e", "zz z"}, {"--max-steps", "60", "the"}}) {
    std::vector<std::string> counting = {"-c"};
    counting.insert(counting.end(), args.begin(), args.end());
    counting.push_back(input);
    std::vector<std::string> printing = args;
    printing.push_back(input);
    const RunResult count = RunQuarn(counting), lines = RunQuarn(printing);
    const auto printed = std::count(lines.out.begin(), lines.out.end(), '\n');
    EXPECT_GT(printed, 1000);
    EXPECT_EQ(count.out, std::to_string(printed) + "\n") << args.back();
    EXPECT_EQ(count.err, lines.err) << args.back();
    EXPECT_EQ(count.status, lines.status) << args.back();
  }
}

TEST(PiecesSearch, ALargeFileInPiecesPrintsWhatOneSearchPrints) {
  // Pieces of 8 MiB: lines of words and CR LF over three pieces and more; past the first
  // piece (so that what is said of the first of them counts the lines before), lines that are
  // not UTF-8, long lines, and runs of x that a small step budget cannot search.
  std::mt19937 rng(20261210);
  static const char* const kWords[] = {"alpha", "beta", "gamma", "delta", "x1", "Gamma", "42"};
  std::string file;
  while (file.size() < 26u << 20) {
    std::string line;
    for (size_t n = rng() % 9; n > 0; --n)
      line += std::string(kWords[rng() % std::size(kWords)]) + " ";
    if (file.size() > (10u << 20)) {
      if (rng() % 5000 == 0) line += "\xFF";
      if (rng() % 20000 == 0) line += std::string(60'000, 'y');
      if (rng() % 3000 == 0) line += std::string(40, 'x');
    }
    file += line + (rng() % 7 == 0 ? "\r\n" : "\n");
  }
  const ScratchDir dir;
  const std::string path = dir.Write("large.txt", file);
  const std::vector<std::vector<std::string>> searches = {
      {"gamma"},         {"-n", "-i", "gamma|42"},  {"-c", "delta beta"},
      {"-l", "gamma"},   {"-L", "gamma"},           {"-L", "epsilon"},
      {"-n", "-v", "a"}, {"-o", "-b", "gam[a-z]*"}, {"-c", "--max-steps", "400", "(x|xx)*[yz]"},
  };
  for (const std::vector<std::string>& search : searches) {
    std::vector<std::string> one = search, several = search;
    one.insert(one.begin(), {"-j1", "-H"});
    several.insert(several.begin(), {"-j3", "-H"});
    one.push_back(path);
    several.push_back(path);
    const RunResult whole = RunQuarn(one, "", dir.path());
    const RunResult pieces = RunQuarn(several, "", dir.path());
    EXPECT_EQ(pieces.status, whole.status) << search.back();
    EXPECT_TRUE(pieces.out == whole.out) << search.back();
    EXPECT_EQ(pieces.err, whole.err) << search.back();
  }
}

}  // namespace
}  // namespace quarn::cli_test
