// The walk over the operands and, with -r/-R, the directories below them.
#include "files.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <utility>

namespace quarn::cli {

namespace {

// Whether glob matches name itself or, for an operand, a suffix of it after a "/".
bool GlobMatches(const std::string& glob, const std::string& name, bool operand) {
  if (fnmatch(glob.c_str(), name.c_str(), 0) == 0) return true;
  if (!operand) return false;
  for (size_t slash = name.find('/'); slash != std::string::npos;
       slash = name.find('/', slash + 1)) {
    if (slash + 1 < name.size() && name[slash + 1] != '/' &&
        fnmatch(glob.c_str(), name.c_str() + slash + 1, 0) == 0) {
      return true;
    }
  }
  return false;
}

std::string Child(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  return directory.ends_with('/') ? directory + name : directory + '/' + name;
}

// The text of a small file (an ignore file), or nullopt when there is none to read.
std::optional<std::string> ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

}  // namespace

FileWalker::FileWalker(const WalkOptions& options, Visit visit, Fail fail, Warn warn)
    : options_(options), visit_(std::move(visit)), fail_(std::move(fail)), warn_(std::move(warn)) {}

bool FileWalker::Excluded(const std::string& name, bool operand) const {
  std::optional<bool> included;
  for (const FileGlob& glob : options_.files) {
    if (GlobMatches(glob.glob, name, operand)) included = glob.include;
  }
  if (included) return !*included;
  return !options_.files.empty() && options_.files.front().include;
}

bool FileWalker::ExcludedDir(const std::string& name, bool operand) const {
  return std::any_of(options_.excludeDirs.begin(), options_.excludeDirs.end(),
                     [&](const std::string& glob) { return GlobMatches(glob, name, operand); });
}

bool FileWalker::Ignored(const std::string& name, bool isDirectory) const {
  for (auto level = ignores_.rbegin(); level != ignores_.rend(); ++level) {
    std::string path;
    for (size_t i = level->base; i < names_.size(); ++i)
      path.append(names_[i]).append("/");
    path += name;
    if (const Glob* glob = level->globs.Last(path, isDirectory)) return !glob->Negated();
  }
  return false;
}

bool FileWalker::Filtered(const std::string& path, const std::string& name,
                          bool isDirectory) const {
  if (options_.ignoreFiles && isDirectory && name == ".git") return true;
  if (options_.ignoreFiles && Ignored(name, isDirectory)) return true;
  const std::string printed = path.starts_with("./") ? path.substr(2) : path;
  if (const Glob* glob = options_.globs.Last(printed, isDirectory)) return glob->Negated();
  if (isDirectory) return false;
  if (options_.globs.HasPositive()) return true;
  if (const Glob* type = options_.types.Last(name, false)) return type->Negated();
  return options_.types.HasPositive();
}

void FileWalker::LoadIgnoreFiles(const std::string& prefix, bool inRepository) {
  IgnoreLevel level;
  level.base = names_.size();
  // Later files win: what .ignore says over .gitignore, and both over info/exclude.
  if (inRepository && Exists(prefix + ".git")) {
    if (auto text = ReadSmallFile(prefix + ".git/info/exclude")) level.globs.AddLines(*text);
  }
  if (inRepository) {
    if (auto text = ReadSmallFile(prefix + ".gitignore")) level.globs.AddLines(*text);
  }
  if (auto text = ReadSmallFile(prefix + ".ignore")) level.globs.AddLines(*text);
  ignores_.push_back(std::move(level));
}

void FileWalker::Begin(const std::string& directory) {
  names_.clear();
  ignores_.clear();
  inRepository_.clear();
  ancestors_.clear();
  if (!options_.ignoreFiles) return;
  char* real = realpath(directory.empty() ? "." : directory.c_str(), nullptr);
  if (!real) return;
  const std::string path = real;
  std::free(real);
  std::vector<std::string> names;
  for (size_t start = 1; start < path.size();) {
    const size_t slash = std::min(path.find('/', start), path.size());
    names.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  // The directories above the operand, from the root down: their ignore files apply too,
  // .gitignore only from the top of the repository that holds the operand.
  std::optional<size_t> repository;
  std::string above = "";
  for (size_t depth = 0; depth <= names.size(); ++depth) {
    if (Exists(above + "/.git")) repository = depth;
    if (depth < names.size()) above += "/" + names[depth];
  }
  above = "";
  for (size_t depth = 0; depth < names.size(); ++depth) {
    names_.assign(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(depth));
    LoadIgnoreFiles(above + "/", repository && depth >= *repository);
    if (ignores_.back().globs.Empty()) ignores_.pop_back();
    above += "/" + names[depth];
  }
  names_ = std::move(names);
  inRepository_.push_back(repository.has_value());
}

bool FileWalker::Walk(const std::string& operand) {
  if (operand == "-") return visit_(operand, false);
  if (operand.empty()) {  // a name that an unset variable left empty is no file
    fail_(operand, ENOENT);
    return true;
  }
  struct stat status;
  if (stat(operand.c_str(), &status) != 0) {
    fail_(operand, errno);
    return true;
  }
  if (S_ISDIR(status.st_mode)) {
    if (!options_.recursive) {
      fail_(operand, EISDIR);
      return true;
    }
    if (ExcludedDir(operand, true)) return true;
    Begin(operand);
    return Directory(operand, 0);
  }
  return Excluded(operand, true) || visit_(operand, false);
}

bool FileWalker::WalkWorkingDirectory() {
  Begin("");
  return Directory("", 0);
}

bool FileWalker::Directory(const std::string& path, int64_t depth) {
  const char* opened = path.empty() ? "." : path.c_str();
  struct stat status;
  if (stat(opened, &status) != 0) {
    fail_(path, errno);
    return true;
  }
  const std::pair<dev_t, ino_t> id(status.st_dev, status.st_ino);
  if (std::find(ancestors_.begin(), ancestors_.end(), id) != ancestors_.end()) {
    warn_(path, "recursive directory loop");
    return true;
  }
  if (options_.maxDepth && depth >= *options_.maxDepth) return true;
  DIR* directory = opendir(opened);
  if (!directory) {
    fail_(path, errno);
    return true;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(directory)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(directory);
  std::sort(names.begin(), names.end());

  const size_t levels = ignores_.size();
  if (options_.ignoreFiles) {
    const bool inRepository = (!inRepository_.empty() && inRepository_.back()) ||
                              std::binary_search(names.begin(), names.end(), std::string(".git"));
    inRepository_.push_back(inRepository);
    LoadIgnoreFiles(Child(path, ""), inRepository);
  }
  ancestors_.push_back(id);
  bool going = true;
  for (const std::string& name : names) {
    const std::string child = Child(path, name);
    const int found =
        options_.followLinks ? stat(child.c_str(), &status) : lstat(child.c_str(), &status);
    if (found != 0) {
      fail_(child, errno);
      continue;
    }
    // Like grep, devices, pipes and sockets met inside a directory are not read.
    if (S_ISDIR(status.st_mode)) {
      if (!ExcludedDir(name, false) && !Filtered(child, name, true)) {
        names_.push_back(name);
        going = Directory(child, depth + 1);
        names_.pop_back();
      }
    } else if (S_ISREG(status.st_mode) && !Excluded(name, false) && !Filtered(child, name, false)) {
      going = visit_(child, true);
    }
    if (!going) break;
  }
  ancestors_.pop_back();
  if (options_.ignoreFiles) {
    ignores_.resize(levels);
    inRepository_.pop_back();
  }
  return going;
}

}  // namespace quarn::cli
