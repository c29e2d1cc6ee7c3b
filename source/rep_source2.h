#pragma once
// RepSource2: the source that reads a whole source repository. It walks one part of the
// repository tree (mode 1: "Hot$/Environment$", mode 2: "Environment$" under the root), picks the
// repository files ("*.rep") whose names overlap the time window, reads each one and delivers its
// events one at a time through next_event. The walk runs in an event_generator, so it keeps its
// place in the tree between two calls.
//
// Walk rules: a directory that holds at least one "*.rep" file has only its files read (in name
// order); its subdirectories are not visited. A directory without such files has its
// subdirectories walked, except those whose names begin with '.'. A directory reached a second
// time through a link is not entered again.

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/common.h"
#include "model/copy_outcome.h"
#include "platform/platform.h"
#include "source/event_generator.h"

namespace repcopy {

class RepSource2 : public CommonSource {
 public:
  static constexpr uint32_t kModeHot = 1;
  static constexpr uint32_t kModeMain = 2;
  // Longest path the walk builds, in UTF-16 units (the extended-length path limit less its
  // terminator). Longer directory or file paths are skipped with a message.
  static constexpr size_t kMaxPath = 32767;

  // Reads one repository file and pushes its events into the sink; -1 when the file could not
  // be read or holds no event data, else 0.
  using file_processor = std::function<int32_t(const std::u16string& path, const event_sink& sink)>;

  // root: the source repository as an absolute path. filter and outcome may be null and must
  // outlive the source; the filter can also be set later with set_filter. Without a processor
  // every file goes through RepFileSource with the source's filter and outcome.
  RepSource2(std::u16string root, uint32_t mode, const filter_config* filter = nullptr,
             copy_outcome* outcome = nullptr, file_processor process = {});
  ~RepSource2() override;

  // 0 with the next event in out, -1 when there are no more (always -1 once the walk root is
  // missing or the walk has ended). An exception raised while reading reaches the caller.
  int32_t next_event(full_event& out) override;

  bool valid() const { return valid_; }
  const std::u16string& walk_root() const { return walk_root_; }

 private:
  struct walk_frame {
    size_t dir_len;                            // length of "D/" in path_
    std::vector<platform::dir_entry> subdirs;  // subdirectories still to walk
    size_t next = 0;
  };

  int32_t walk(const event_sink& sink);
  int32_t enter_directory(std::vector<walk_frame>& pending, const event_sink& sink);
  int32_t read_files(const std::vector<platform::dir_entry>& files, const event_sink& sink);
  bool append_to_path(std::u16string_view name);
  bool already_visited();
  int32_t process_default(const std::u16string& path, const event_sink& sink);

  std::u16string walk_root_;
  std::u16string path_;  // the directory or file being read; capacity reserved once
  uint32_t mode_;
  bool valid_ = false;
  copy_outcome* outcome_;
  file_processor process_;
  std::set<std::pair<uint64_t, uint64_t>> visited_;
  std::unique_ptr<event_generator> generator_;
};

}  // namespace repcopy
