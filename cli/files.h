// Which files the operands stand for: an operand itself, or with -r/-R every file below a
// directory, filtered by --include, --exclude and --exclude-dir as grep filters them.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quarn::cli {

struct FileGlob {
  std::string glob;
  bool include = false;  // --include rather than --exclude
};

struct WalkOptions {
  bool recursive = false;
  bool followLinks = false;     // -R: also follow symbolic links met inside directories
  std::vector<FileGlob> files;  // in the order given
  std::vector<std::string> excludeDirs;
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

  // Walks one operand; an empty operand is the working directory of a recursive search with
  // no operand, whose files are named without a leading "./". Entries of a directory come
  // in byte order of their names. Returns false when a visit ended the walk.
  bool Walk(const std::string& operand);

 private:
  const WalkOptions& options_;
  Visit visit_;
  Fail fail_;
  Warn warn_;

  // Whether a file is left out by --include and --exclude: the last glob that matches
  // decides, and a file that none matches is searched unless the first glob is --include.
  // An operand matches by any suffix of its name that follows a "/", a file found in a
  // directory by its base name.
  bool Excluded(const std::string& name, bool operand) const;
  bool ExcludedDir(const std::string& name, bool operand) const;
  bool Directory(const std::string& path, std::vector<std::pair<dev_t, ino_t>>& ancestors);
};

}  // namespace quarn::cli
