#include "source/rep_source2.h"

#include <algorithm>

#include "filters/time_window.h"
#include "source/rep_file_source.h"
#include "util/text.h"

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

RepSource2::RepSource2(message_sink& messages, std::u16string root, uint32_t mode,
                       const filter_config* filter, copy_outcome* outcome, file_processor process,
                       visit_set* visits)
    : CommonSource(filter),
      messages_(messages),
      walk_messages_(&messages),
      mode_(mode),
      outcome_(outcome),
      process_(std::move(process)),
      visits_(visits != nullptr ? visits : &own_visits_) {
  while (root.size() > 1 && root.back() == platform::kSeparator) root.pop_back();
  walk_root_ = platform::native_path(root);
  if (mode_ == kModeHot) (walk_root_ += platform::kNativeSeparator) += "Hot$";
  (walk_root_ += platform::kNativeSeparator) += "Environment$";
  valid_ = (mode_ == kModeHot || mode_ == kModeMain) && walk_root_.size() <= kMaxPath &&
           platform::is_directory(walk_root_);
  if (valid_) visits_->reserve_root(walk_root_, this);
  if (!process_) {
    process_ = [this](message_sink& messages, const std::string& path, const event_sink& sink) {
      return process_default(messages, path, sink);
    };
  }
}

RepSource2::~RepSource2() = default;

int32_t RepSource2::next_event(full_event& out) {
  if (!valid_) return -1;
  if (read_threads_ > 1) {
    const int32_t r = next_stored_read_ahead(read_ahead_event_);
    if (r == 0) out = read_ahead_event_.to_full_event();
    return r;
  }
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

int32_t RepSource2::next_stored(stored_event& out) {
  if (!valid_) return -1;
  if (read_threads_ > 1) return next_stored_read_ahead(out);
  return CommonSource::next_stored(out);
}

int32_t RepSource2::next_stored_read_ahead(stored_event& out) {
  if (!read_ahead_) {
    read_ahead_ = std::make_unique<read_ahead>(
        messages_, read_threads_,
        [this](message_sink& messages, std::string& path) { return next_path(messages, path); },
        process_);
  }
  int32_t r;
  try {
    r = read_ahead_->next(out);
  } catch (...) {
    valid_ = false;
    read_ahead_.reset();
    throw;
  }
  if (r != 0) {
    valid_ = false;
    read_ahead_.reset();  // joins the helper threads
    return -1;
  }
  return 0;
}

// The next file the walk reaches, on the walk's own stack like the reading walk: the walk runs in
// an event_generator of its own and stops at each file with an empty event, the file's path left
// in listed_path_.
bool RepSource2::next_path(message_sink& messages, std::string& out) {
  if (!walk_paths_) {
    walk_paths_ = std::make_unique<event_generator>([this](const event_sink& sink) {
      listing_paths_ = true;
      walk(sink);
      listing_paths_ = false;
    });
  }
  full_event unused;
  // The walk's lines until it stops at the next file go with that file.
  walk_messages_ = &messages;
  struct restore {
    RepSource2& self;
    ~restore() { self.walk_messages_ = &self.messages_; }
  } restore_messages{*this};
  if (walk_paths_->next(unused) != 0) return false;
  out = std::move(listed_path_);
  return true;
}

int32_t RepSource2::visit_file(const std::string& path, const event_sink& sink) {
  if (!listing_paths_) return process_(messages_, path, sink);
  listed_path_ = path;  // read on a helper thread and handed out in this order
  full_event marker;
  sink(marker);
  return 0;
}

int32_t RepSource2::process_default(message_sink& messages, const std::string& path,
                                    const event_sink& sink) {
  return process_repository_file(messages, path, filter_, outcome_, sink);
}

// Depth first, as a recursion over the tree would go, but with the pending subdirectories of
// each level on the heap: the walk runs on the generator's small stack, and a deep tree must not
// overflow it.
int32_t RepSource2::walk(const event_sink& sink) {
  path_.reserve(kMaxPath + 1);
  path_ = walk_root_;
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
  if (!visits_->first_visit(path_, this)) return -1;
  if (!append_to_path(std::string_view(&platform::kNativeSeparator, 1))) return -1;
  std::vector<platform::dir_entry> entries;
  if (!platform::list_directory(path_, entries)) {
    const std::string reason = platform::system_error_message(platform::last_error());
    walk_messages_->err(message_kind::warning)
        << "Unreadable directory skipped: " << platform::display_name(path_) << ": " << reason;
    if (outcome_ != nullptr) outcome_->add_unreadable_directory();
    return -1;
  }
  std::sort(entries.begin(), entries.end(), name_order);
  std::vector<platform::dir_entry> files;
  for (platform::dir_entry& e : entries) {
    if (!has_rep_extension(e.name) || e.is_directory) continue;
    if (e.is_regular) {
      files.push_back(std::move(e));
    } else {
      report_unreadable_entry(e);
    }
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
    // A skip only: a file whose name puts all its events outside the window is not opened. The
    // events of a file that is read are tested one by one by RepFileSource.
    if (filter_ != nullptr && filter_->time_on &&
        !file_overlaps_window(*filter_, platform::text_name(file.name))) {
      continue;
    }
    path_.resize(dir_len);
    if (!append_to_path(file.name)) continue;
    if (!visits_->first_visit(path_, this)) continue;  // read before, through another name
    result = visit_file(path_, sink) == -1 ? -1 : 0;
  }
  path_.resize(dir_len);
  return result;
}

// A "*.rep" entry that cannot be read as a file (a link to nothing or to what may not be
// reached, a pipe, a device) is reported and counted like a file the system would not read.
void RepSource2::report_unreadable_entry(const platform::dir_entry& e) {
  walk_messages_->err(message_kind::warning)
      << "Unreadable source file skipped: " << platform::display_name(path_)
      << platform::display_name(e.name) << ": "
      << (e.error != 0 ? platform::system_error_message(e.error)
                       : std::string("not a regular file"));
  if (outcome_ != nullptr) outcome_->add_unreadable();
}

// Appends name to path_ unless the result would pass the path limit; then prints the path that
// was skipped, counts it and leaves path_ unchanged.
bool RepSource2::append_to_path(std::string_view name) {
  if (path_.size() + name.size() > kMaxPath) {
    walk_messages_->err(message_kind::warning)
        << "Path too long, skipped: " << platform::display_name(path_)
        << platform::display_name(name);
    if (outcome_ != nullptr) outcome_->add_skipped();
    return false;
  }
  path_ += name;
  return true;
}

}  // namespace repcopy
