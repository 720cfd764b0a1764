// Globs as .gitignore writes them, in process: anchoring, "**", directories only, negation,
// escapes and comments, and a list in which the last glob that matches decides.
#include <gtest/gtest.h>

#include <string>

#include "globs.h"

namespace quarn::cli {
namespace {

struct GlobCase {
  const char* glob;
  const char* path;
  bool directory;
  bool matches;
};

TEST(Glob, MatchesAsGitDoes) {
  const GlobCase cases[] = {
      // Without a "/", a glob matches a name at any depth.
      {"*.c", "main.c", false, true},
      {"*.c", "src/deep/main.c", false, true},
      {"*.c", "main.cpp", false, false},
      {"build", "src/build", true, true},
      {"*", ".hidden", false, true},  // "*" takes a leading dot too
      {"?.md", "a.md", false, true},
      {"[ab].md", "c.md", false, false},
      // With one, it is anchored to its base directory.
      {"/build", "build", true, true},
      {"/build", "src/build", true, false},
      {"src/*.c", "src/main.c", false, true},
      {"src/*.c", "src/deep/main.c", false, false},
      {"src/*.c", "lib/src/main.c", false, false},
      // "**" is any number of directories.
      {"**/main.c", "main.c", false, true},
      {"**/main.c", "a/b/main.c", false, true},
      {"src/**/main.c", "src/main.c", false, true},
      {"src/**/main.c", "src/a/b/main.c", false, true},
      {"src/**", "src/a/b.c", false, true},
      {"src/**", "lib/a.c", false, false},
      {"**/deep/*", "src/deep/inner.c", false, true},
      // A trailing "/": directories only.
      {"out/", "out", true, true},
      {"out/", "out", false, false},
      {"out/", "a/out", true, true},
      // Escapes and spaces.
      {"\\#notes", "#notes", false, true},
      {"a\\ ", "a ", false, true},
      {"a  ", "a", false, true},  // trailing spaces go
      {"\\!x", "!x", false, true},
  };
  for (const GlobCase& c : cases) {
    const std::optional<Glob> glob = Glob::Parse(c.glob);
    ASSERT_TRUE(glob) << c.glob;
    EXPECT_EQ(glob->Matches(c.path, c.directory), c.matches) << c.glob << " on " << c.path;
  }
}

TEST(Glob, CommentsAndBlankLinesAreNoGlobs) {
  for (const char* line : {"", "   ", "# a comment", "\r", "!", "/"})
    EXPECT_FALSE(Glob::Parse(line)) << "'" << line << "'";
  EXPECT_TRUE(Glob::Parse("!keep.c")->Negated());
}

TEST(GlobList, TheLastGlobThatMatchesDecides) {
  GlobList list;
  list.AddLines("# build output\n*.o\n!keep.o\r\nout/\n\n/keep.o\n");
  const struct {
    const char* path;
    bool directory;
    const char* decided;  // "ignored", "kept" or "none"
  } cases[] = {
      {"a.o", false, "ignored"}, {"src/keep.o", false, "kept"}, {"keep.o", false, "ignored"},
      {"out", true, "ignored"},  {"out", false, "none"},        {"main.c", false, "none"},
  };
  for (const auto& c : cases) {
    const Glob* glob = list.Last(c.path, c.directory);
    const std::string decided = !glob ? "none" : glob->Negated() ? "kept" : "ignored";
    EXPECT_EQ(decided, c.decided) << c.path;
  }
  EXPECT_TRUE(list.HasPositive());
  GlobList negations;
  negations.AddLines("!a\n!b\n");
  EXPECT_FALSE(negations.HasPositive());
  EXPECT_TRUE(GlobList().Empty());
}

}  // namespace
}  // namespace quarn::cli
