#include "writer/rep_target.h"

#include <algorithm>
#include <set>
#include <vector>

#include "container/format.h"
#include "platform/extended_path.h"
#include "platform/platform.h"
#include "util/fatal.h"
#include "util/guid.h"
#include "util/text.h"
#include "writer/file_io.h"

namespace repcopy {

namespace {

constexpr size_t kMaxComponentBytes = 255;  // longest directory name the file system takes

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::optional<std::string> directory_component(const native_name& name) {
  if (!name.whole) return std::nullopt;
  // The bytes of "/", "\" and NUL never occur inside a longer UTF-8 sequence.
  std::string out = name.text;
  for (char& c : out) {
    if (c == '/' || c == '\\' || c == '\0') c = '~';
  }
  // The walk never enters a directory whose name begins with ".", so such a level would hide its
  // files from every later reading of the target.
  if (!out.empty() && out[0] == '.') out[0] = '~';
  // Every level ends in "$", so no level can be "." or "..".
  out += '$';
  if (out.size() > kMaxComponentBytes) return std::nullopt;
  return out;
}

std::u16string computer_prefix(std::u16string_view computer) {
  size_t n = std::min<size_t>(computer.size(), 2);
  if (n == 2 && is_high_surrogate(computer[1]) && computer.size() > 2 &&
      is_low_surrogate(computer[2])) {
    n = 3;
  }
  return std::u16string(computer.substr(0, n));
}

batch_names::batch_names(const storage_item& item)
    : domain(item.domain_name),
      computer_prefix(repcopy::computer_prefix(item.computer_name)),
      computer(item.computer_name),
      ds(item.ds_name) {}

RepTarget::RepTarget(message_sink& messages, std::u16string root, write_options options,
                     segment_factory factory, copy_outcome* outcome)
    : messages_(messages),
      root_(platform::native_path(root)),
      options_(options),
      factory_(std::move(factory)),
      outcome_(outcome) {
  while (root_.size() > 1 && root_.back() == platform::kNativeSeparator) root_.pop_back();
}

std::optional<std::string> RepTarget::item_directory(const batch_names& names,
                                                     uint32_t platform_id,
                                                     const native_name& ds_type) const {
  if (root_.empty()) {
    // Never fall back to the file-system root or the current directory.
    messages_.out(message_kind::notice) << "error: >target root< empty";
    return std::nullopt;
  }
  const bool windows = platform_id == kPlatformWindows;
  std::string path = root_;
  auto add = [&path](std::string_view level) {
    path += platform::kNativeSeparator;
    path += level;
  };
  auto add_name = [&](const native_name& name) {
    std::optional<std::string> level = directory_component(name);
    if (!level) {
      messages_.out(message_kind::notice)
          << "error: >directory name< " << name.text << " cannot be used as a directory name";
      return false;
    }
    add(*level);
    return true;
  };
  add("Environment$");
  add(std::string(windows ? kEnvironmentWindows : kEnvironmentOther) + "$");
  if (windows) {
    add("Domain$");
    if (!add_name(names.domain)) return std::nullopt;
    add("Computer$");
  } else {
    add("Host$");
  }
  if (!add_name(names.computer_prefix) || !add_name(names.computer)) return std::nullopt;
  add("DataSource$");
  if (!add_name(ds_type)) return std::nullopt;
  add("UnderDataSource$");
  if (!add_name(names.ds)) return std::nullopt;
  // Room for the separator, the file name, the partial-file suffix and the terminator, counted
  // in UTF-16 code units as the path limit is.
  if (utf16_length(path) + 1 + kRepositoryFileNameLength + kPartialSuffix.size() + 1 >
      platform::kMaxPathUnits) {
    messages_.out(message_kind::notice) << "error: >directory path too long< " << path;
    return std::nullopt;
  }
  return path;
}

int32_t RepTarget::flush_items(storage_item item) {
  return fatal_on_exception("=flush_items=\n", [&] { return write_item(item); });
}

int32_t RepTarget::write_item(storage_item& item) {
  if (item.events.empty()) return 0;  // nothing to file
  file_props props;
  if (!make_guid(props.CollectionGUID)) {
    messages_.out(message_kind::notice) << "UuidCreate error!\n";
    return -1;
  }
  // Where the batch's names become part of a path: converted to the system's form, once.
  const batch_names names(item);
  const ds_type* type = ds_types_.lookup(messages_, item.ds_name, names.ds.text);
  if (type == nullptr) {
    messages_.out(message_kind::notice) << "Datasource name not found: >" << names.ds.text << "<";
    return -2;
  }
  props.DataSource = type->text;
  props.PlatformID = item.platform_id;
  props.EventsCount = item.batch_count;
  props.Result = u"S";
  if (!make_guid(props.SessionGUID)) {
    messages_.out(message_kind::notice) << "UuidCreate error!";
    return -1;
  }
  props.StorageType = kStorageType;
  props.CollectionName = item.ds_name;
  props.UnderDataSource = item.ds_name;
  const bool windows = item.platform_id == kPlatformWindows;
  if (windows) {
    props.Computer = item.computer_name;
    props.Domain = item.domain_name;
    props.ComputerType = item.computer_type;
  } else {
    props.Host = item.computer_name;
    props.CollectorComputer = item.computer_name;
  }
  props.Environment = widen_ascii(windows ? kEnvironmentWindows : kEnvironmentOther);
  props.Version = version_number(item.os_major, item.os_minor);

  std::optional<std::string> directory = item_directory(names, item.platform_id, type->native);
  if (!directory) {
    report_unusable_name(item, names);
    return -1;
  }
  int error = 0;
  std::string refused;
  if (!options_.dry_run &&
      !create_directory_MT(messages_, directory_lock_, *directory, &error, &refused)) {
    messages_.out(message_kind::notice) << "error: >CreateDirectory_MT< " << *directory;
    if (target_result(error, 0) != 0) note_stop(target_result(error, 0), {error, refused});
    return -1;
  }
  if (!options_.dry_run) remove_stale_partials(*directory);

  item.events.sort_by_event_time();
  const stored_event& first = item.events.front();
  const stored_event& last = item.events.back();
  props.EventLogVersion = version_number(first.os_major, first.os_minor);
  props.DataFromTime = first.event_time;
  props.CollectionTime = last.event_time;
  props.DataToTime = last.event_time;
  props.SessionGmt = last.event_time;
  props.SessionLocalTime = last.stored_time;

  if (file_hook_ && !options_.dry_run) {
    file_hook_(item, *directory + platform::kNativeSeparator + repository_file_name(props));
  }
  uint64_t bytes = 0;
  target_failure failure;
  const int32_t result = create_repository_file(messages_, item.events, props, *directory,
                                                factory_, options_, &bytes, &failure);
  if (result == kTargetFull || result == kTargetRefused) note_stop(result, std::move(failure));
  if (result != 0) {
    messages_.out(message_kind::notice)
        << "error: >create_repository_file< " << names.ds.text << " -- " << *directory;
    return -1;
  }
  files_written_.fetch_add(1, std::memory_order_relaxed);
  bytes_written_.fetch_add(bytes, std::memory_order_relaxed);
  return 0;
}

// The first file the target could take no more of decides why the copy stops.
void RepTarget::note_stop(int32_t result, target_failure failure) {
  std::lock_guard<std::mutex> hold(stop_lock_);
  if (!full_.load()) {
    stop_result_ = result;
    stop_failure_ = std::move(failure);
  }
  full_.store(true);
}

std::string RepTarget::stop_line() const {
  std::lock_guard<std::mutex> hold(stop_lock_);
  if (stop_result_ != kTargetRefused) return {};
  return "Copy stopped: the target refuses writing: " + stop_failure_.path + ": " +
         platform::system_error_message(stop_failure_.code) +
         "; reading stopped, batches not yet written were dropped";
}

// The batch is lost because of a name its events carry; the names alone do not tell the user
// where to look, so the source files that held them are named and counted.
void RepTarget::report_unusable_name(const storage_item& item, const batch_names& names) {
  std::set<std::string> files;
  for (const auto& file : item.source_files) files.insert(*file);
  for (const stored_event& e : item.events) {
    if (e.source_file.path) files.insert(*e.source_file.path);
  }
  std::string list;
  for (const std::string& f : files) {
    list += list.empty() ? "" : ", ";
    list += platform::display_name(f);
    if (outcome_ != nullptr) outcome_->add_name_failed_file(f);
  }
  messages_.err(message_kind::error)
      << "Batch of " << item.events.size()
      << " event(s) not written, a name it carries cannot be a target directory name"
      << " (domain \"" << names.domain.text << "\", computer \"" << names.computer.text
      << "\", data source \"" << names.ds.text << "\"); read from: " << (list.empty() ? std::string("(unknown)") : list);
}

// Partial files ("*.rep.tmp") left by a run that was killed are removed the first time this run
// writes into their directory. Done under the directory lock, before any writer of this run can
// have started a partial file there, so only files of earlier runs are removed.
void RepTarget::remove_stale_partials(const std::string& directory) {
  directory_lock_guard guard(directory_lock_);
  if (!cleaned_directories_.insert(directory).second) return;
  std::vector<platform::dir_entry> entries;
  if (!platform::list_directory(directory, entries)) return;
  static constexpr std::string_view kStale = ".rep.tmp";
  for (const platform::dir_entry& e : entries) {
    if (!e.is_regular || e.name.size() <= kStale.size() ||
        e.name.compare(e.name.size() - kStale.size(), kStale.size(), kStale) != 0) {
      continue;
    }
    platform::remove_path(directory + platform::kNativeSeparator + e.name);
  }
}

}  // namespace repcopy
