#pragma once
// What the copy's duplicate check needs to know of the target: which files may hold the events
// of a computer and data source, the events of such a file, and a hold on the group against other
// runs writing into the same target. The target's reader implements it; the copy sees only this.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/full_event.h"
#include "model/storage_item.h"

namespace repcopy {

struct target_file {
  std::string path;     // the whole path in the system's form, as the reader opens it
  std::u16string name;  // the file name alone (it carries the times of its first and last event)
};

class TargetContents {
 public:
  TargetContents() = default;
  virtual ~TargetContents() = default;
  TargetContents(const TargetContents&) = delete;
  TargetContents& operator=(const TargetContents&) = delete;

  // Every repository file the target holds of item's computer and data source, under every
  // domain (a former run may have filed the computer under another one) and as a host.
  virtual void list_files(const storage_item& item, std::vector<target_file>& out) = 0;

  // Hands every event of the file to each, in file order. False when the file could not be read
  // or is damaged; each may have been called for some of its events then.
  virtual bool read_events(const target_file& file,
                           const std::function<void(const full_event&)>& each) = 0;

  // A hold on item's group (its computer and data source) against other runs into the same
  // target; it ends when the object is destroyed, or with the process however it ends.
  class group_hold {
   public:
    virtual ~group_hold() = default;
  };
  // Waits while another run holds the group. Null when no hold could be made (after a message):
  // the copy goes on without it.
  virtual std::unique_ptr<group_hold> hold_group(const storage_item& item) = 0;
};

}  // namespace repcopy
