#pragma once
// RepTarget: the target repository of a copy. Every batch becomes a new repository file in the
// directory of its environment, domain or host, computer and data source:
//
//   root/Environment$/<environment>$/Domain$/<domain>$/Computer$/<first two>$/<computer>$/
//        DataSource$/<type GUID>$/UnderDataSource$/<data source>$        (PlatformID 500)
//   root/Environment$/<environment>$/Host$/<first two>$/<computer>$/
//        DataSource$/<type GUID>$/UnderDataSource$/<data source>$        (other platforms)
//
// Names taken from file content are made safe as directory levels: every "/", "\" and NUL
// becomes "~", so a name can never climb out of its level or reach outside the root. Each name is
// converted to the system's form once, when its batch is written (batch_names); the directory
// and file paths are built and used in that form.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "model/copy_outcome.h"
#include "model/source_and_target.h"
#include "util/text.h"
#include "writer/ds_types.h"
#include "writer/repository_file.h"
#include "writer/write_options.h"

namespace repcopy {

// One directory level for a name from file content: the name with "/", "\" and NUL replaced by
// "~", followed by "$". Empty when the name cannot be a file-system name (it did not convert
// whole, or it is longer than a directory name may be).
std::optional<std::string> directory_component(const native_name& name);

// The computer's second-level directory name: its first two code units (the whole name when it
// is shorter), not splitting a surrogate pair.
std::u16string computer_prefix(std::u16string_view computer);

// The names of a batch that become directory levels, each converted to the system's form once.
struct batch_names {
  explicit batch_names(const storage_item& item);
  native_name domain, computer_prefix, computer, ds;
};

class RepTarget : public CommonTarget {
 public:
  // root: the target repository as an absolute path. options: how every file is written (a dry
  // run builds and packs every file but creates no directory and no file). factory makes the
  // writer of each Buffer ID. outcome (may be null, must outlive the target) counts the files
  // written and the source files whose names the target cannot take. messages gets the target's
  // lines (from the writer threads too) and must outlive the target.
  RepTarget(message_sink& messages, std::u16string root, write_options options = {},
            segment_factory factory = create_segment, copy_outcome* outcome = nullptr);
  ~RepTarget() override = default;

  // Writes item's batch as one repository file. 0, or -1 (a GUID, the directory or the file could
  // not be made) or -2 (the data-source type table is malformed), each after its message.
  // An unexpected exception is a fatal stop (fatal_error "=flush_items=\n").
  int32_t flush_items(storage_item item) override;

  // The directory (native) of a batch with these names, of platform platform_id, with the
  // data-source type ds_type; empty after a message when a name cannot be a directory level or
  // the path would be too long.
  std::optional<std::string> item_directory(const batch_names& names, uint32_t platform_id,
                                            const native_name& ds_type) const;

  // Told the path of every file before it is written (not in a dry run), on the writer thread.
  using file_hook = std::function<void(const storage_item& item, const std::string& path)>;
  void set_file_hook(file_hook hook) { file_hook_ = std::move(hook); }

  // Files and bytes written so far (or that a dry run would have written).
  uint64_t files_written() const { return files_written_.load(); }
  uint64_t bytes_written() const { return bytes_written_.load(); }
  // Set by the first file that failed for want of space (or quota) in the target, or because
  // the target refuses writing (read-only, no permission).
  bool full() const override { return full_.load(); }
  // After a refusal stopped the copy, the one line that says so, with the path refused and the
  // system's reason; empty otherwise (no stop, or a full target).
  std::string stop_line() const;

  ds_type_map& ds_types() { return ds_types_; }

 private:
  int32_t write_item(storage_item& item);
  void report_unusable_name(const storage_item& item, const batch_names& names);
  void remove_stale_partials(const std::string& directory);
  void note_stop(int32_t result, target_failure failure);

  message_sink& messages_;
  std::atomic<uint32_t> directory_lock_{0};
  ds_type_map ds_types_;
  std::string root_;  // native
  const write_options options_;
  segment_factory factory_;
  copy_outcome* outcome_;
  std::set<std::string> cleaned_directories_;  // under directory_lock_
  file_hook file_hook_;
  std::atomic<uint64_t> files_written_{0};
  std::atomic<uint64_t> bytes_written_{0};
  std::atomic<bool> full_{false};
  mutable std::mutex stop_lock_;
  int32_t stop_result_ = 0;
  target_failure stop_failure_;
};

}  // namespace repcopy
