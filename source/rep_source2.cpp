#include "source/rep_source2.h"

#include <algorithm>
#include <iostream>

#include "filters/time_window.h"
#include "source/rep_file_source.h"
#include "util/text.h"

namespace repcopy {

namespace {

bool has_rep_extension(const std::u16string& name) {
  static constexpr std::u16string_view kExt = u".REP";
  if (name.size() < kExt.size()) return false;
  return ascii_upper(name.substr(name.size() - kExt.size())) == kExt;
}

// Names in the order of a case-insensitive directory index; ties keep a fixed order too.
bool name_order(const platform::dir_entry& a, const platform::dir_entry& b) {
  std::u16string ua = ascii_upper(a.name), ub = ascii_upper(b.name);
  return ua != ub ? ua < ub : a.name < b.name;
}

}  // namespace

RepSource2::RepSource2(std::u16string root, uint32_t mode, const filter_config* filter,
                       copy_outcome* outcome, file_processor process)
    : CommonSource(filter), mode_(mode), outcome_(outcome), process_(std::move(process)) {
  while (root.size() > 1 && root.back() == platform::kSeparator) root.pop_back();
  walk_root_ = std::move(root);
  if (mode_ == kModeHot) (walk_root_ += platform::kSeparator) += u"Hot$";
  (walk_root_ += platform::kSeparator) += u"Environment$";
  valid_ = (mode_ == kModeHot || mode_ == kModeMain) && walk_root_.size() <= kMaxPath &&
           platform::is_directory(walk_root_);
  if (!process_) {
    process_ = [this](const std::u16string& path, const event_sink& sink) {
      return process_default(path, sink);
    };
  }
}

RepSource2::~RepSource2() = default;

int32_t RepSource2::next_event(full_event& out) {
  if (!valid_) return -1;
  if (!generator_) {
    generator_ = std::make_unique<event_generator>([this](const event_sink& sink) {
      if (walk(sink) == -1) valid_ = false;
    });
  }
  int32_t r;
  try {
    r = generator_->next(out);
  } catch (...) {
    valid_ = false;
    throw;
  }
  if (r != 0) {
    valid_ = false;
    return -1;
  }
  return valid_ ? 0 : -1;
}

int32_t RepSource2::process_default(const std::u16string& path, const event_sink& sink) {
  return process_repository_file(path, filter_, outcome_, sink);
}

// Depth first, as a recursion over the tree would go, but with the pending subdirectories of
// each level on the heap: the walk runs on the generator's small stack, and a deep tree must not
// overflow it.
int32_t RepSource2::walk(const event_sink& sink) {
  path_.reserve(kMaxPath + 1);
  path_ = walk_root_;
  visited_.clear();
  std::vector<walk_frame> pending;
  const int32_t result = enter_directory(pending, sink);
  while (!pending.empty()) {
    walk_frame& level = pending.back();
    if (level.next == level.subdirs.size()) {
      pending.pop_back();
      continue;
    }
    const platform::dir_entry& sub = level.subdirs[level.next++];
    path_.resize(level.dir_len);
    if (!append_to_path(sub.name)) continue;
    enter_directory(pending, sink);  // may grow pending; `level` is not used after this
  }
  return result;
}

// Reads the directory held in path_: its "*.rep" files when it has any, else queues its
// subdirectories as a new level of pending. 0 when the last file read gave events, else -1.
int32_t RepSource2::enter_directory(std::vector<walk_frame>& pending, const event_sink& sink) {
  if (!valid_) return -1;
  if (already_visited()) return -1;
  if (!append_to_path(std::u16string_view(&platform::kSeparator, 1))) return -1;
  std::vector<platform::dir_entry> entries;
  if (!platform::list_directory(path_, entries)) {
    std::cerr << "Can't read directory " << to_utf8(path_) << " : "
              << platform::system_error_message(platform::last_error()) << std::endl;
    if (outcome_ != nullptr) outcome_->add_damaged_file();
    return -1;
  }
  std::sort(entries.begin(), entries.end(), name_order);
  std::vector<platform::dir_entry> files;
  for (platform::dir_entry& e : entries) {
    if (!e.is_directory && has_rep_extension(e.name)) files.push_back(std::move(e));
  }
  if (!files.empty()) return read_files(files, sink);

  std::erase_if(entries, [](const platform::dir_entry& e) {
    return !e.is_directory || e.name.empty() || e.name[0] == u'.';
  });
  if (!entries.empty()) pending.push_back(walk_frame{path_.size(), std::move(entries)});
  return -1;
}

int32_t RepSource2::read_files(const std::vector<platform::dir_entry>& files,
                               const event_sink& sink) {
  const size_t dir_len = path_.size();
  int32_t result = -1;
  for (const platform::dir_entry& file : files) {
    if (filter_ != nullptr && filter_->time_on && !file_overlaps_window(*filter_, file.name)) {
      continue;
    }
    path_.resize(dir_len);
    if (!append_to_path(file.name)) continue;
    result = process_(path_, sink) == -1 ? -1 : 0;
  }
  path_.resize(dir_len);
  return result;
}

// Appends name to path_ unless the result would pass the path limit; then prints the path that
// was skipped and leaves path_ unchanged.
bool RepSource2::append_to_path(std::u16string_view name) {
  if (path_.size() + name.size() > kMaxPath) {
    std::cerr << "Path too long, skipped: " << to_utf8(path_) << to_utf8(name) << std::endl;
    return false;
  }
  path_ += name;
  return true;
}

bool RepSource2::already_visited() {
  uint64_t device = 0, node = 0;
  if (!platform::file_identity(path_, device, node)) return false;
  return !visited_.insert({device, node}).second;
}

}  // namespace repcopy
