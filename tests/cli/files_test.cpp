// The walk in process, over trees made for each case: ignore files inside and above the
// operand, in a git repository and outside one, the .git folder, --no-ignore, --max-depth,
// --glob and --type, operands named on the command line, an empty operand and a loop.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "files.h"
#include "run_quarn.h"

namespace quarn::cli {
namespace {

namespace fs = std::filesystem;

// A tree of files (a name ending in "/" is a directory) under a scratch directory.
class Tree {
 public:
  explicit Tree(const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [name, text] : files) {
      const fs::path path = fs::path(dir_.path()) / name;
      if (name.ends_with('/')) {
        fs::create_directories(path);
        continue;
      }
      fs::create_directories(path.parent_path());
      dir_.Write(name, text);
    }
  }
  std::string Path(const std::string& name = "") const {
    return name.empty() ? dir_.path() : dir_.path() + "/" + name;
  }

 private:
  cli_test::ScratchDir dir_;
};

struct Walked {
  std::vector<std::string> files;  // relative to the tree
  std::vector<std::string> failed;
  std::vector<std::string> warned;
};

// Walks the operands from the tree's directory, as a shell there would name them.
Walked Walk(const Tree& tree, const WalkOptions& options,
            const std::vector<std::string>& operands) {
  Walked walked;
  FileWalker walker(
      options,
      [&](const std::string& name, bool) {
        walked.files.push_back(name);
        return true;
      },
      [&](const std::string& name, int error) {
        walked.failed.push_back(name + ": " + std::to_string(error));
      },
      [&](const std::string& name, const std::string& warning) {
        walked.warned.push_back(name + ": " + warning);
      });
  const fs::path before = fs::current_path();
  fs::current_path(tree.Path());
  for (const std::string& operand : operands)
    walker.Walk(operand);
  fs::current_path(before);
  return walked;
}

WalkOptions Recursive() {
  WalkOptions options;
  options.recursive = true;
  return options;
}

using Files = std::vector<std::string>;

TEST(FileWalker, IgnoreFilesOfARepositoryLeaveFilesOut) {
  const Tree tree({{"repo/.git/config", "x"},
                   {"repo/.git/info/exclude", "*.tmp\n"},
                   {"repo/.gitignore", "*.log\n!keep.log\nbuild/\n/top.txt\n"},
                   {"repo/.ignore", "secret*\n"},
                   {"repo/a.log", ""},
                   {"repo/keep.log", ""},
                   {"repo/top.txt", ""},
                   {"repo/x.tmp", ""},
                   {"repo/main.c", ""},
                   {"repo/secret.c", ""},
                   {"repo/build/out.c", ""},
                   {"repo/sub/.gitignore", "!a.log\n*.c\n"},
                   {"repo/sub/a.log", ""},
                   {"repo/sub/top.txt", ""},
                   {"repo/sub/b.c", ""},
                   {"repo/sub/build/c.txt", ""}});
  EXPECT_EQ(Walk(tree, Recursive(), {"repo"}).files,
            (Files{"repo/.gitignore", "repo/.ignore", "repo/keep.log", "repo/main.c",
                   "repo/sub/.gitignore", "repo/sub/a.log", "repo/sub/top.txt"}));
  // Walked from below, the ignore files above still hold, anchored where they stand.
  EXPECT_EQ(Walk(tree, Recursive(), {"repo/sub"}).files,
            (Files{"repo/sub/.gitignore", "repo/sub/a.log", "repo/sub/top.txt"}));
  // --no-ignore: everything, .git included.
  WalkOptions all = Recursive();
  all.ignoreFiles = false;
  EXPECT_EQ(Walk(tree, all, {"repo"}).files.size(), 16u);
  // A file named as an operand is searched whatever they say.
  EXPECT_EQ(Walk(tree, Recursive(), {"repo/a.log", "repo/sub/b.c"}).files,
            (Files{"repo/a.log", "repo/sub/b.c"}));
}

TEST(FileWalker, OutsideARepositoryOnlyIgnoreFilesCount) {
  const Tree tree({{"plain/.gitignore", "*.log\n"},
                   {"plain/.ignore", "*.tmp\n"},
                   {"plain/a.log", ""},
                   {"plain/b.tmp", ""}});
  EXPECT_EQ(Walk(tree, Recursive(), {"plain"}).files,
            (Files{"plain/.gitignore", "plain/.ignore", "plain/a.log"}));
}

TEST(FileWalker, MaxDepthCountsLevelsBelowTheOperand) {
  const Tree tree({{"t/a.txt", ""}, {"t/d/b.txt", ""}, {"t/d/e/c.txt", ""}});
  const std::vector<std::pair<int64_t, Files>> cases = {
      {0, {}},
      {1, {"t/a.txt"}},
      {2, {"t/a.txt", "t/d/b.txt"}},
      {9, {"t/a.txt", "t/d/b.txt", "t/d/e/c.txt"}},
  };
  for (const auto& [depth, files] : cases) {
    WalkOptions options = Recursive();
    options.maxDepth = depth;
    EXPECT_EQ(Walk(tree, options, {"t"}).files, files) << depth;
  }
}

TEST(FileWalker, GlobsAndTypesChooseFiles) {
  const Tree tree({{"t/a.c", ""},
                   {"t/a.h", ""},
                   {"t/doc.md", ""},
                   {"t/CMakeLists.txt", ""},
                   {"t/gen/b.c", ""},
                   {"t/gen/b.md", ""}});
  const auto globs = [](const std::vector<std::string>& lines) {
    GlobList list;
    for (const std::string& line : lines)
      list.Add(*Glob::Parse(line));
    return list;
  };
  const struct {
    std::vector<std::string> globs;
    std::vector<std::string> types;
    Files files;
  } cases[] = {
      {{"*.c"}, {}, {"t/a.c", "t/gen/b.c"}},
      {{"!*.md"}, {}, {"t/CMakeLists.txt", "t/a.c", "t/a.h", "t/gen/b.c"}},
      {{"*.c", "!gen"}, {}, {"t/a.c"}},
      {{"*.md", "!t/gen/*"}, {}, {"t/doc.md"}},  // matched on the path as printed
      {{"!*.c", "*.c"}, {}, {"t/a.c", "t/gen/b.c"}},
      {{}, {"*.c", "*.h"}, {"t/a.c", "t/a.h", "t/gen/b.c"}},
      {{}, {"!*.md"}, {"t/CMakeLists.txt", "t/a.c", "t/a.h", "t/gen/b.c"}},
      {{"!gen"}, {"CMakeLists.txt", "*.md"}, {"t/CMakeLists.txt", "t/doc.md"}},
  };
  for (const auto& c : cases) {
    WalkOptions options = Recursive();
    options.globs = globs(c.globs);
    options.types = globs(c.types);
    EXPECT_EQ(Walk(tree, options, {"t"}).files, c.files)
        << ::testing::PrintToString(c.globs) << ::testing::PrintToString(c.types);
  }
}

TEST(FileWalker, AnEmptyOperandIsNoFile) {
  const Tree tree({{"a.txt", ""}, {"d/", ""}});
  const Walked walked = Walk(tree, Recursive(), {""});
  EXPECT_EQ(walked.files, Files{});
  EXPECT_EQ(walked.failed, Files{": " + std::to_string(ENOENT)});
}

TEST(FileWalker, ALoopOfLinksIsWalkedOnceWithAWarning) {
  const Tree tree({{"t/d/a.txt", ""}, {"t/e/", ""}});
  fs::create_directory_symlink("..", tree.Path("t/d/up"));
  WalkOptions options = Recursive();
  options.followLinks = true;
  const Walked walked = Walk(tree, options, {"t"});
  EXPECT_EQ(walked.files, Files{"t/d/a.txt"});
  EXPECT_EQ(walked.warned, Files{"t/d/up: recursive directory loop"});
  // Without -R, a link met in a directory is not followed at all.
  EXPECT_EQ(Walk(tree, Recursive(), {"t"}).warned, Files{});
}

}  // namespace
}  // namespace quarn::cli
