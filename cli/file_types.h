// The common file types that --type and --type-not name, each a list of globs of file names,
// under the names ripgrep gives them.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace quarn::cli {

struct FileType {
  std::string_view name;
  std::string_view globs;  // ", " between them
};

// Every type, in name order.
std::span<const FileType> FileTypes();
// The type of that name, or nullptr.
const FileType* FindFileType(std::string_view name);
// "name: glob, glob" a line, as --type-list prints them.
std::string FileTypeList();

}  // namespace quarn::cli
