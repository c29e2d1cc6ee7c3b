#pragma once
// The repository files a checking command reads: every "*.rep" file below each directory
// given (all levels, in name order), and each file given by name.

#include <string>
#include <vector>

namespace repcopy {

struct rep_file_list {
  std::vector<std::u16string> files;
  std::vector<std::u16string> missing;  // arguments that are neither a directory nor a file
};

rep_file_list list_rep_files(const std::vector<std::u16string>& paths);

}  // namespace repcopy
