#include "writer/rep_target.h"

#include <algorithm>
#include <set>
#include <vector>

#include "container/format.h"
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

bool has_unpaired_surrogate(std::u16string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (is_high_surrogate(s[i]) && i + 1 < s.size() && is_low_surrogate(s[i + 1])) {
      ++i;
    } else if (is_high_surrogate(s[i]) || is_low_surrogate(s[i])) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<std::u16string> directory_component(std::u16string_view name) {
  if (has_unpaired_surrogate(name)) return std::nullopt;
  std::u16string out(name);
  for (char16_t& c : out) {
    if (c == u'/' || c == u'\\' || c == u'\0') c = u'~';
  }
  // The walk never enters a directory whose name begins with ".", so such a level would hide its
  // files from every later reading of the target.
  if (!out.empty() && out[0] == u'.') out[0] = u'~';
  // Every level ends in "$", so no level can be "." or "..".
  out += u'$';
  if (to_utf8(out).size() > kMaxComponentBytes) return std::nullopt;
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

RepTarget::RepTarget(message_sink& messages, std::u16string root, write_options options,
                     segment_factory factory, copy_outcome* outcome)
    : messages_(messages),
      root_(std::move(root)),
      options_(options),
      factory_(std::move(factory)),
      outcome_(outcome) {
  while (root_.size() > 1 && root_.back() == platform::kSeparator) root_.pop_back();
}

std::optional<std::u16string> RepTarget::item_directory(const storage_item& item,
                                                        const std::u16string& ds_type) const {
  if (root_.empty()) {
    // Never fall back to the file-system root or the current directory.
    messages_.out(message_kind::notice) << "error: >target root< empty";
    return std::nullopt;
  }
  const bool windows = item.platform_id == kPlatformWindows;
  std::u16string path = root_;
  auto add = [&path](std::u16string_view level) {
    path += platform::kSeparator;
    path += level;
  };
  auto add_name = [&](std::u16string_view name) {
    std::optional<std::u16string> level = directory_component(name);
    if (!level) {
      messages_.out(message_kind::notice)
          << "error: >directory name< " << to_utf8(name) << " cannot be used as a directory name";
      return false;
    }
    add(*level);
    return true;
  };
  add(u"Environment$");
  add(std::u16string(windows ? kEnvironmentWindows : kEnvironmentOther) + u"$");
  if (windows) {
    add(u"Domain$");
    if (!add_name(item.domain_name)) return std::nullopt;
    add(u"Computer$");
  } else {
    add(u"Host$");
  }
  if (!add_name(computer_prefix(item.computer_name)) || !add_name(item.computer_name)) {
    return std::nullopt;
  }
  add(u"DataSource$");
  if (!add_name(ds_type)) return std::nullopt;
  add(u"UnderDataSource$");
  if (!add_name(item.ds_name)) return std::nullopt;
  // Room for the separator, the file name, the partial-file suffix and the terminator.
  const size_t suffix = std::char_traits<char16_t>::length(kPartialSuffix);
  if (path.size() + 1 + kRepositoryFileNameLength + suffix + 1 > kMaxPathUnits) {
    messages_.out(message_kind::notice) << "error: >directory path too long< " << to_utf8(path);
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
  const std::u16string* ds_type = ds_types_.lookup(messages_, item.ds_name);
  if (ds_type == nullptr) {
    messages_.out(message_kind::notice)
        << "Datasource name not found: >" << to_utf8(item.ds_name) << "<";
    return -2;
  }
  props.DataSource = *ds_type;
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
  props.Environment = windows ? kEnvironmentWindows : kEnvironmentOther;
  props.Version = version_number(item.os_major, item.os_minor);

  std::optional<std::u16string> directory = item_directory(item, *ds_type);
  if (!directory) {
    report_unusable_name(item);
    return -1;
  }
  int error = 0;
  std::u16string refused;
  if (!options_.dry_run &&
      !create_directory_MT(messages_, directory_lock_, *directory, &error, &refused)) {
    messages_.out(message_kind::notice) << "error: >CreateDirectory_MT< " << to_utf8(*directory);
    if (target_result(error, 0) != 0) note_stop(target_result(error, 0), {error, refused});
    return -1;
  }
  if (!options_.dry_run) remove_stale_partials(*directory);

  std::sort(item.events.begin(), item.events.end(),
            [](const stored_event& a, const stored_event& b) { return a.event_time < b.event_time; });
  const stored_event& first = item.events.front();
  const stored_event& last = item.events.back();
  props.EventLogVersion = version_number(first.os_major, first.os_minor);
  props.DataFromTime = first.event_time;
  props.CollectionTime = last.event_time;
  props.DataToTime = last.event_time;
  props.SessionGmt = last.event_time;
  props.SessionLocalTime = last.stored_time;

  if (file_hook_ && !options_.dry_run) {
    file_hook_(item, *directory + platform::kSeparator + widen_ascii(repository_file_name(props)));
  }
  uint64_t bytes = 0;
  target_failure failure;
  const int32_t result = create_repository_file(messages_, item.events, props, *directory,
                                                factory_, options_, &bytes, &failure);
  if (result == kTargetFull || result == kTargetRefused) note_stop(result, std::move(failure));
  if (result != 0) {
    messages_.out(message_kind::notice) << "error: >create_repository_file< "
                                        << to_utf8(item.ds_name) << " -- " << to_utf8(*directory);
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
  return "Copy stopped: the target refuses writing: " + to_utf8(stop_failure_.path) + ": " +
         platform::system_error_message(stop_failure_.code) +
         "; reading stopped, batches not yet written were dropped";
}

// The batch is lost because of a name its events carry; the names alone do not tell the user
// where to look, so the source files that held them are named and counted.
void RepTarget::report_unusable_name(const storage_item& item) {
  std::set<std::string> files;
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
      << " (domain \"" << to_utf8(item.domain_name) << "\", computer \""
      << to_utf8(item.computer_name) << "\", data source \"" << to_utf8(item.ds_name)
      << "\"); read from: " << (list.empty() ? std::string("(unknown)") : list);
}

// Partial files ("*.rep.tmp") left by a run that was killed are removed the first time this run
// writes into their directory. Done under the directory lock, before any writer of this run can
// have started a partial file there, so only files of earlier runs are removed.
void RepTarget::remove_stale_partials(const std::u16string& directory) {
  directory_lock_guard guard(directory_lock_);
  if (!cleaned_directories_.insert(directory).second) return;
  std::vector<platform::dir_entry> entries;
  const std::string native = platform::native_path(directory);
  if (!platform::list_directory(native, entries)) return;
  static constexpr std::string_view kStale = ".rep.tmp";
  for (const platform::dir_entry& e : entries) {
    if (!e.is_regular || e.name.size() <= kStale.size() ||
        e.name.compare(e.name.size() - kStale.size(), kStale.size(), kStale) != 0) {
      continue;
    }
    std::u16string name;
    if (from_utf8(e.name, name)) platform::remove_path(directory + platform::kSeparator + name);
  }
}

}  // namespace repcopy
