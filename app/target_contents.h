#pragma once
// The target repository as the duplicate check sees it: the files of a computer and data source
// in the layout the target writes, read with the source's file reader, and a hold per computer
// and data source made of a lock file in the target's ".repcopy-holds" directory (the walk never
// enters directories whose name begins with ".", so no reader of the target meets them).

#include <string>

#include "model/target_contents.h"
#include "util/message_sink.h"

namespace repcopy {

class rep_target_contents : public TargetContents {
 public:
  // root: the target repository as an absolute path.
  // messages gets the lines of the reads and of the holds (a wait for another copy).
  rep_target_contents(message_sink& messages, std::u16string root);

  void list_files(const storage_item& item, std::vector<target_file>& out) override;
  bool read_events(const target_file& file,
                   const std::function<void(const full_event&)>& each) override;
  std::unique_ptr<group_hold> hold_group(const storage_item& item) override;

  // The lock file that holds item's group.
  std::u16string hold_path(const storage_item& item) const;

 private:
  message_sink& messages_;
  std::u16string root_;
};

}  // namespace repcopy
