#pragma once
// repository_walk: the files of one part of a source repository, one path at a time, in the
// order the copy reads them. It walks one part of the repository tree (mode 1:
// "Hot$/Environment$", mode 2: "Environment$" under the root) and gives the repository files
// ("*.rep") whose names overlap the time window. The copy, the survey before it and the diff all
// list a repository's files through it.
//
// Walk rules: a directory that holds at least one "*.rep" file has only its files read (in name
// order); its subdirectories are not visited. A directory without such files has its
// subdirectories walked, except those whose names begin with '.'. Only regular files are given.
//
// Links: the walks of one run share a visit_set, so a directory or file reached a second time
// through a link (or a hard link) is not given again, in either part; the walk root of each part
// is left to that part's own walk.
//
// Names stay as the file system's bytes (which need not be UTF-8) from listing to opening; they
// are converted only for messages and for the file-name time test.
//
// The walk keeps its place between two calls in an explicit stack of directory levels, so a deep
// tree costs heap, not stack.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/copy_outcome.h"
#include "model/filter_config.h"
#include "platform/platform.h"
#include "util/message_sink.h"

namespace repcopy {

// Identities (device, node) of the directories and files read so far in one run.
class visit_set {
 public:
  using identity = std::pair<uint64_t, uint64_t>;
  // The directory at native is the walk root of owner: other walkers do not enter it.
  void reserve_root(const std::string& native, const void* owner);
  // True the first time owner may read the directory or file at native; false when it was read
  // before or is another walker's root. A path whose identity cannot be queried counts as new.
  bool first_visit(const std::string& native, const void* owner);

 private:
  std::set<identity> visited_;
  std::map<identity, const void*> roots_;
};

class repository_walk {
 public:
  static constexpr uint32_t kModeHot = 1;
  static constexpr uint32_t kModeMain = 2;
  // Longest path the walk builds, in bytes (the system's path limit less its terminator).
  // Longer directory or file paths are skipped with a message and counted.
  static constexpr size_t kMaxPath = platform::kMaxNativePath;

  // root: the source repository as an absolute path. filter (its time window: the file-name
  // test), outcome (unreadable and skipped entries) and visits may be null; they must outlive
  // the walk. The walks of one run share visits (without it the walk keeps its own).
  repository_walk(std::u16string root, uint32_t mode, const filter_config* filter,
                  copy_outcome* outcome, visit_set* visits);
  repository_walk(const repository_walk&) = delete;
  repository_walk& operator=(const repository_walk&) = delete;

  // True with the native path of the next file in out; false when there are no more (always
  // once the walk root is missing). What the walk says about the tree on its way to that file
  // (unreadable entries, paths too long) goes to messages.
  bool next_path(message_sink& messages, std::string& out);

  // The walk root exists and is a directory of a valid mode.
  bool valid() const { return valid_; }

 private:
  struct walk_frame {
    size_t dir_len;                            // length of "D/" in path_
    std::vector<platform::dir_entry> subdirs;  // subdirectories still to walk
    size_t next = 0;
  };

  void enter_directory();
  bool append_to_path(std::string_view name);
  void report_unreadable_entry(const platform::dir_entry& e);

  std::string walk_root_;
  bool valid_ = false;
  const filter_config* filter_;
  copy_outcome* outcome_;
  visit_set own_visits_;
  visit_set* visits_;
  message_sink* messages_ = nullptr;  // next_path's, while it runs

  bool started_ = false;
  std::string path_;  // the directory or file being looked at (native); capacity reserved once
  std::vector<walk_frame> pending_;  // depth first: the levels still to walk, deepest last
  std::vector<platform::dir_entry> files_;  // the "*.rep" files of the directory being read
  size_t next_file_ = 0;
  size_t files_dir_len_ = 0;  // length of that directory's "D/" in path_
};

}  // namespace repcopy
