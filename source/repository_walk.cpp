#include "source/repository_walk.h"

#include <algorithm>

#include "filters/time_window.h"

namespace repcopy {

namespace {

std::string ascii_upper_bytes(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  }
  return out;
}

bool has_rep_extension(const std::string& name) {
  static constexpr std::string_view kExt = ".REP";
  if (name.size() < kExt.size()) return false;
  return ascii_upper_bytes(std::string_view(name).substr(name.size() - kExt.size())) == kExt;
}

// Names in the order of a case-insensitive directory index; ties keep a fixed order too.
bool name_order(const platform::dir_entry& a, const platform::dir_entry& b) {
  std::string ua = ascii_upper_bytes(a.name), ub = ascii_upper_bytes(b.name);
  return ua != ub ? ua < ub : a.name < b.name;
}

}  // namespace

void visit_set::reserve_root(const std::string& native, const void* owner) {
  identity id;
  if (platform::file_identity(native, id.first, id.second)) roots_.emplace(id, owner);
}

bool visit_set::first_visit(const std::string& native, const void* owner) {
  identity id;
  if (!platform::file_identity(native, id.first, id.second)) return true;
  auto root = roots_.find(id);
  if (root != roots_.end() && root->second != owner) return false;
  return visited_.insert(id).second;
}

repository_walk::repository_walk(std::u16string root, uint32_t mode, const filter_config* filter,
                                 copy_outcome* outcome, visit_set* visits)
    : filter_(filter), outcome_(outcome), visits_(visits != nullptr ? visits : &own_visits_) {
  while (root.size() > 1 && root.back() == platform::kSeparator) root.pop_back();
  walk_root_ = platform::native_path(root);
  if (mode == kModeHot) (walk_root_ += platform::kNativeSeparator) += "Hot$";
  (walk_root_ += platform::kNativeSeparator) += "Environment$";
  valid_ = (mode == kModeHot || mode == kModeMain) && walk_root_.size() <= kMaxPath &&
           platform::is_directory(walk_root_);
  if (valid_) visits_->reserve_root(walk_root_, this);
}

// Depth first, as a recursion over the tree would go: the files of the directory being read
// first, then the next subdirectory of the deepest level with any left.
bool repository_walk::next_path(message_sink& messages, std::string& out) {
  messages_ = &messages;
  for (;;) {
    while (next_file_ < files_.size()) {
      const platform::dir_entry& file = files_[next_file_++];
      // A skip only: a file whose name puts all its events outside the window is not opened.
      // The events of a file that is read are tested one by one by its reader.
      if (filter_ != nullptr && filter_->time_on &&
          !file_overlaps_window(*filter_, platform::text_name(file.name))) {
        continue;
      }
      path_.resize(files_dir_len_);
      if (!append_to_path(file.name)) continue;
      if (!visits_->first_visit(path_, this)) continue;  // read before, through another name
      out = path_;
      return true;
    }
    files_.clear();
    next_file_ = 0;
    if (!started_) {
      started_ = true;
      if (!valid_) return false;
      path_.reserve(kMaxPath + 1);
      path_ = walk_root_;
      enter_directory();
      continue;
    }
    if (pending_.empty()) return false;
    walk_frame& level = pending_.back();
    if (level.next == level.subdirs.size()) {
      pending_.pop_back();
      continue;
    }
    const platform::dir_entry& sub = level.subdirs[level.next++];
    path_.resize(level.dir_len);
    if (!append_to_path(sub.name)) continue;
    enter_directory();  // may grow pending_; `level` is not used after this
  }
}

// Lists the directory held in path_: its "*.rep" files become the files to give when it has
// any, else its subdirectories become a new level of pending_.
void repository_walk::enter_directory() {
  if (!visits_->first_visit(path_, this)) return;
  if (!append_to_path(std::string_view(&platform::kNativeSeparator, 1))) return;
  std::vector<platform::dir_entry> entries;
  if (!platform::list_directory(path_, entries)) {
    const std::string reason = platform::system_error_message(platform::last_error());
    messages_->err(message_kind::warning)
        << "Unreadable directory skipped: " << platform::display_name(path_) << ": " << reason;
    if (outcome_ != nullptr) outcome_->add_unreadable_directory();
    return;
  }
  std::sort(entries.begin(), entries.end(), name_order);
  for (platform::dir_entry& e : entries) {
    if (!has_rep_extension(e.name) || e.is_directory) continue;
    if (e.is_regular) {
      files_.push_back(std::move(e));
    } else {
      report_unreadable_entry(e);
    }
  }
  if (!files_.empty()) {
    files_dir_len_ = path_.size();
    return;
  }
  std::erase_if(entries, [](const platform::dir_entry& e) {
    return !e.is_directory || e.name.empty() || e.name[0] == u'.';
  });
  if (!entries.empty()) pending_.push_back(walk_frame{path_.size(), std::move(entries)});
}

// A "*.rep" entry that cannot be read as a file (a link to nothing or to what may not be
// reached, a pipe, a device) is reported and counted like a file the system would not read.
void repository_walk::report_unreadable_entry(const platform::dir_entry& e) {
  messages_->err(message_kind::warning)
      << "Unreadable source file skipped: " << platform::display_name(path_)
      << platform::display_name(e.name) << ": "
      << (e.error != 0 ? platform::system_error_message(e.error)
                       : std::string("not a regular file"));
  if (outcome_ != nullptr) outcome_->add_unreadable();
}

// Appends name to path_ unless the result would pass the path limit; then prints the path that
// was skipped, counts it and leaves path_ unchanged.
bool repository_walk::append_to_path(std::string_view name) {
  if (path_.size() + name.size() > kMaxPath) {
    messages_->err(message_kind::warning)
        << "Path too long, skipped: " << platform::display_name(path_)
        << platform::display_name(name);
    if (outcome_ != nullptr) outcome_->add_skipped();
    return false;
  }
  path_ += name;
  return true;
}

}  // namespace repcopy
