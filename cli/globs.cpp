// Glob matching name by name with fnmatch, "**" by trying every number of names.
#include "globs.h"

#include <fnmatch.h>

#include <algorithm>
#include <utility>

namespace quarn::cli {

namespace {

std::vector<std::string_view> Names(std::string_view path) {
  std::vector<std::string_view> names;
  for (size_t start = 0;;) {
    const size_t slash = path.find('/', start);
    names.push_back(path.substr(start, slash - start));
    if (slash == std::string_view::npos) return names;
    start = slash + 1;
  }
}

bool NameMatches(const std::string& glob, std::string_view name) {
  return fnmatch(glob.c_str(), std::string(name).c_str(), 0) == 0;
}

// Whether segments[i..] match names[j..]; "**" takes any number of names.
bool SegmentsMatch(const std::vector<std::string>& segments, size_t i,
                   const std::vector<std::string_view>& names, size_t j) {
  for (; i < segments.size(); ++i, ++j) {
    if (segments[i] == "**") {
      for (size_t k = j; k <= names.size(); ++k) {
        if (SegmentsMatch(segments, i + 1, names, k)) return true;
      }
      return false;
    }
    if (j == names.size() || !NameMatches(segments[i], names[j])) return false;
  }
  return j == names.size();
}

// A trailing space belongs to the glob only behind a backslash.
std::string_view TrimEnd(std::string_view line) {
  while (line.ends_with(' ') && !line.ends_with("\\ "))
    line.remove_suffix(1);
  return line;
}

}  // namespace

std::optional<Glob> Glob::Parse(std::string_view line) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  line = TrimEnd(line);
  if (line.empty() || line.starts_with('#')) return std::nullopt;
  Glob glob;
  if (line.starts_with('!')) {
    glob.negated_ = true;
    line.remove_prefix(1);
  }
  if (line.ends_with('/')) {
    glob.directoryOnly_ = true;
    while (line.ends_with('/'))
      line.remove_suffix(1);
  }
  if (line.empty()) return std::nullopt;
  glob.anchored_ = line.find('/') != std::string_view::npos;
  while (line.starts_with('/'))
    line.remove_prefix(1);
  for (const std::string_view segment : Names(line)) {
    if (!segment.empty()) glob.segments_.emplace_back(segment);
  }
  // "**/a" matches "a" anywhere, as an unanchored "a" does.
  if (glob.segments_.size() == 2 && glob.segments_[0] == "**") {
    glob.anchored_ = false;
    glob.segments_.erase(glob.segments_.begin());
  }
  return glob;
}

bool Glob::Matches(std::string_view path, bool isDirectory) const {
  if (directoryOnly_ && !isDirectory) return false;
  const std::vector<std::string_view> names = Names(path);
  if (!anchored_) return segments_.size() == 1 && NameMatches(segments_[0], names.back());
  return SegmentsMatch(segments_, 0, names, 0);
}

void GlobList::AddLines(std::string_view text) {
  for (size_t start = 0; start < text.size();) {
    const size_t lf = std::min(text.find('\n', start), text.size());
    if (std::optional<Glob> glob = Glob::Parse(text.substr(start, lf - start))) {
      Add(std::move(*glob));
    }
    start = lf + 1;
  }
}

bool GlobList::HasPositive() const {
  return std::any_of(globs_.begin(), globs_.end(), [](const Glob& g) { return !g.Negated(); });
}

const Glob* GlobList::Last(std::string_view path, bool isDirectory) const {
  for (auto glob = globs_.rbegin(); glob != globs_.rend(); ++glob) {
    if (glob->Matches(path, isDirectory)) return &*glob;
  }
  return nullptr;
}

}  // namespace quarn::cli
