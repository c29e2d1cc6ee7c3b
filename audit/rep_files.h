#pragma once
// The repository files a checking command reads: every "*.rep" file below each directory
// given (all levels, in name order), and each file given by name. Paths are native (the bytes
// the file system lists and opens), as the copy's walk keeps them; they are converted only for
// messages (platform::display_name).

#include <string>
#include <utility>
#include <vector>

namespace repcopy {

struct rep_file_list {
  std::vector<std::string> files;
  std::vector<std::string> missing;  // arguments that are neither a directory nor a file
  // Directories that could not be listed and "*.rep" entries that cannot be read as files (a
  // link to nothing, a pipe), each with the reason.
  std::vector<std::pair<std::string, std::string>> unreadable;
};

rep_file_list list_rep_files(const std::vector<std::string>& native_paths);

}  // namespace repcopy
