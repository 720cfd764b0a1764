// The walk over the operands and, with -r/-R, the directories below them.
#include "files.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
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

bool FileWalker::Walk(const std::string& operand) {
  if (operand == "-") return visit_(operand, false);
  std::vector<std::pair<dev_t, ino_t>> ancestors;
  if (operand.empty()) return Directory(operand, ancestors);
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
    return ExcludedDir(operand, true) || Directory(operand, ancestors);
  }
  return Excluded(operand, true) || visit_(operand, false);
}

bool FileWalker::Directory(const std::string& path,
                           std::vector<std::pair<dev_t, ino_t>>& ancestors) {
  const char* opened = path.empty() ? "." : path.c_str();
  struct stat status;
  if (stat(opened, &status) != 0) {
    fail_(path, errno);
    return true;
  }
  const std::pair<dev_t, ino_t> id(status.st_dev, status.st_ino);
  if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) {
    warn_(path, "recursive directory loop");
    return true;
  }
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

  ancestors.push_back(id);
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
      if (!ExcludedDir(name, false)) going = Directory(child, ancestors);
    } else if (S_ISREG(status.st_mode) && !Excluded(name, false)) {
      going = visit_(child, true);
    }
    if (!going) break;
  }
  ancestors.pop_back();
  return going;
}

}  // namespace quarn::cli
