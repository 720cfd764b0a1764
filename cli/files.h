// Which files the operands stand for: an operand itself, or with -r/-R every file below a
// directory, filtered by --include, --exclude and --exclude-dir as grep filters them, by
// --glob, --type and --max-depth as ripgrep does, and by the .gitignore and .ignore files of
// the directories walked and of those above them (the .git folder itself is never walked).
// An operand named on the command line is searched whatever the globs, types and ignore
// files say.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "globs.h"

namespace quarn::cli {

struct FileGlob {
  std::string glob;
  bool include = false;  // --include rather than --exclude
};

struct WalkOptions {
  bool recursive = false;
  bool followLinks = false;     // -R: also follow symbolic links met inside directories
  std::vector<FileGlob> files;  // --include and --exclude, in the order given
  std::vector<std::string> excludeDirs;
  std::optional<int64_t> maxDepth;  // levels below an operand; 0: the operand alone
  GlobList globs;                   // --glob, on the path as printed
  GlobList types;                   // --type and --type-not, on the file's name
  bool ignoreFiles = true;          // .gitignore, .ignore and .git (--no-ignore: false)
};

class FileWalker {
 public:
  // visit gets each file to search ("-" for standard input), and whether it was found in a
  // directory, and returns false to end the walk; fail gets a name that cannot be searched
  // with its errno; warn gets a name and a warning about it.
  using Visit = std::function<bool(const std::string& name, bool inDirectory)>;
  using Fail = std::function<void(const std::string& name, int error)>;
  using Warn = std::function<void(const std::string& name, const std::string& warning)>;

  FileWalker(const WalkOptions& options, Visit visit, Fail fail, Warn warn);

  // Walks one operand; an empty name is no file (ENOENT), as in grep. Entries of a directory
  // come in byte order of their names. Returns false when a visit ended the walk.
  bool Walk(const std::string& operand);
  // Walks the working directory (-r without an operand), naming its files without "./".
  bool WalkWorkingDirectory();

 private:
  // The globs of one directory's ignore files, which apply below it.
  struct IgnoreLevel {
    size_t base = 0;  // the names of the directory's path, in names_
    GlobList globs;
  };

  const WalkOptions& options_;
  Visit visit_;
  Fail fail_;
  Warn warn_;
  std::vector<std::pair<dev_t, ino_t>> ancestors_;  // the directories being walked
  std::vector<std::string> names_;  // the names of the path of the directory being walked
  std::vector<IgnoreLevel> ignores_;
  std::vector<bool> inRepository_;  // for each directory being walked: below a .git

  // Whether a file is left out by --include and --exclude: the last glob that matches
  // decides, and a file that none matches is searched unless the first glob is --include.
  // An operand matches by any suffix of its name that follows a "/", a file found in a
  // directory by its base name.
  bool Excluded(const std::string& name, bool operand) const;
  bool ExcludedDir(const std::string& name, bool operand) const;
  // Whether an entry found in a directory is left out by --glob, --type or an ignore file.
  bool Filtered(const std::string& path, const std::string& name, bool isDirectory) const;
  bool Ignored(const std::string& name, bool isDirectory) const;
  // Starts the walk of an operand directory: the ignore files of the directories above it.
  void Begin(const std::string& directory);
  // Reads the ignore files of the directory whose entries are prefix + name.
  void LoadIgnoreFiles(const std::string& prefix, bool inRepository);
  bool Directory(const std::string& path, int64_t depth);
};

}  // namespace quarn::cli
