#pragma once
// RepSource2: the source that reads a whole source repository. It walks one part of the
// repository tree (mode 1: "Hot$/Environment$", mode 2: "Environment$" under the root), picks the
// repository files ("*.rep") whose names overlap the time window, reads each one and delivers its
// events one at a time through next_event. The walk runs in an event_generator, so it keeps its
// place in the tree between two calls.
//
// Walk rules: a directory that holds at least one "*.rep" file has only its files read (in name
// order); its subdirectories are not visited. A directory without such files has its
// subdirectories walked, except those whose names begin with '.'. Only regular files are read.
//
// Links: the sources of one run share a visit_set, so a directory or file reached a second time
// through a link (or a hard link) is not read again, in either part; the walk root of each part
// is left to that part's own source.
//
// Names stay as the file system's bytes (which need not be UTF-8) from listing to opening; they
// are converted only for messages and for the file-name time test.
//
// With more than one read thread the walk only lists the files, in the same order, and a
// read_ahead reads and joins them on helper threads; the events and the messages come out in
// the order a single thread gives them.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/copy_outcome.h"
#include "model/source_and_target.h"
#include "platform/platform.h"
#include "source/event_generator.h"
#include "source/read_ahead.h"

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

class RepSource2 : public CommonSource {
 public:
  static constexpr uint32_t kModeHot = 1;
  static constexpr uint32_t kModeMain = 2;
  // Longest path the walk builds, in bytes (the system's path limit less its terminator).
  // Longer directory or file paths are skipped with a message and counted.
  static constexpr size_t kMaxPath = platform::kMaxNativePath;

  // Reads one repository file (native path) and pushes its events into the sink, its lines
  // into messages; -1 when the file could not be read or holds no event data, else 0.
  using file_processor = std::function<int32_t(message_sink& messages, const std::string& path,
                                               const event_sink& sink)>;

  // root: the source repository as an absolute path. messages gets the walk's lines and those of
  // the files read (in walk order, also with read threads); it must outlive the source, as must
  // filter, outcome and visits, which may be null; the filter can also be set later with
  // set_filter. The sources of one run share visits (without it the source keeps its own).
  // Without a processor every file goes through RepFileSource with the source's filter and
  // outcome.
  RepSource2(message_sink& messages, std::u16string root, uint32_t mode,
             const filter_config* filter = nullptr, copy_outcome* outcome = nullptr,
             file_processor process = {}, visit_set* visits = nullptr);
  ~RepSource2() override;

  // 0 with the next event in out, -1 when there are no more (always -1 once the walk root is
  // missing or the walk has ended). An exception raised while reading reaches the caller.
  int32_t next_event(full_event& out) override;
  // With read threads the events come packed from the helper threads.
  int32_t next_stored(stored_event& out) override;

  // Threads that read and join files: 1 (the default) reads on the caller's thread, each file
  // as the walk reaches it; more read files ahead on that many helper threads. Set before the
  // first next_event.
  void set_read_threads(unsigned threads) { read_threads_ = threads < 1 ? 1 : threads; }

  bool valid() const { return valid_; }
  const std::string& walk_root() const { return walk_root_; }

 private:
  struct walk_frame {
    size_t dir_len;                            // length of "D/" in path_
    std::vector<platform::dir_entry> subdirs;  // subdirectories still to walk
    size_t next = 0;
  };

  int32_t next_stored_read_ahead(stored_event& out);
  bool next_path(message_sink& messages, std::string& out);
  int32_t visit_file(const std::string& path, const event_sink& sink);
  int32_t walk(const event_sink& sink);
  int32_t enter_directory(std::vector<walk_frame>& pending, const event_sink& sink);
  int32_t read_files(const std::vector<platform::dir_entry>& files, const event_sink& sink);
  bool append_to_path(std::string_view name);
  void report_unreadable_entry(const platform::dir_entry& e);
  int32_t process_default(message_sink& messages, const std::string& path, const event_sink& sink);

  message_sink& messages_;
  message_sink* walk_messages_;  // the walk's lines: messages_, or the read-ahead's hold
  std::string walk_root_;
  std::string path_;  // the directory or file being read (native); capacity reserved once
  uint32_t mode_;
  bool valid_ = false;
  copy_outcome* outcome_;
  file_processor process_;
  visit_set own_visits_;
  visit_set* visits_;
  std::unique_ptr<event_generator> generator_;
  unsigned read_threads_ = 1;
  // With read threads: the walk runs here and stops at each file instead of reading it.
  std::unique_ptr<event_generator> walk_paths_;
  bool listing_paths_ = false;
  std::string listed_path_;
  stored_event read_ahead_event_;           // next_event's event with read threads
  std::unique_ptr<read_ahead> read_ahead_;  // destroyed first: its helpers use process_
};

}  // namespace repcopy
