// Globs as .gitignore writes them, for .gitignore and .ignore files, --glob and file types:
// "*", "?" and "[...]" within one name, "**" for any number of directories, a "/" at the
// start or inside anchoring the glob to its base directory (without one it matches a name at
// any depth), a "/" at the end for directories only, and "!" in front to negate it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::cli {

class Glob {
 public:
  // One line of an ignore file or one --glob; nullopt for a blank line or a comment.
  static std::optional<Glob> Parse(std::string_view line);

  // Whether it matches path ("/"-separated names relative to its base directory), an entry
  // that is a directory when isDirectory.
  bool Matches(std::string_view path, bool isDirectory) const;
  bool Negated() const { return negated_; }

 private:
  bool negated_ = false;
  bool directoryOnly_ = false;
  bool anchored_ = false;
  std::vector<std::string> segments_;  // "**" stands for any number of names
};

// Globs in the order given, of which the last that matches decides.
class GlobList {
 public:
  void Add(Glob glob) { globs_.push_back(std::move(glob)); }
  // Adds each line of an ignore file.
  void AddLines(std::string_view text);
  bool Empty() const { return globs_.empty(); }
  bool HasPositive() const;  // a glob that is not negated
  // The last glob that matches path, or nullptr.
  const Glob* Last(std::string_view path, bool isDirectory) const;

 private:
  std::vector<Glob> globs_;
};

}  // namespace quarn::cli
