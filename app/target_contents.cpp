#include "app/target_contents.h"

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "source/rep_file_source.h"
#include "util/error_text.h"
#include "util/text.h"
#include "writer/rep_target.h"

namespace repcopy {

namespace {

constexpr char16_t kHoldDirectory[] = u".repcopy-holds";

bool is_rep_name(std::u16string_view name) {
  return name.size() >= 4 && ascii_upper(std::u16string(name.substr(name.size() - 4))) == u".REP";
}

// The subdirectories of dir, as full native paths.
std::vector<std::string> subdirectories(const std::string& dir) {
  std::vector<std::string> out;
  std::vector<platform::dir_entry> entries;
  if (!platform::list_directory(dir, entries)) return out;
  for (const platform::dir_entry& e : entries) {
    if (e.is_directory) out.push_back(dir + platform::kNativeSeparator + e.name);
  }
  return out;
}

class lock_file_hold : public TargetContents::group_hold {
 public:
  platform::file_hold hold;
};

}  // namespace

rep_target_contents::rep_target_contents(message_sink& messages, std::u16string root)
    : messages_(messages), root_(std::move(root)) {
  while (root_.size() > 1 && root_.back() == platform::kSeparator) root_.pop_back();
}

// The target's layout (writer/rep_target.h), with every environment (of the main and of a hot
// part), every domain and every data-source type looked at: the computer under the Domain$ level
// of each domain and under Host$.
void rep_target_contents::list_files(const storage_item& item, std::vector<target_file>& out) {
  out.clear();
  const batch_names names(item);
  const std::optional<std::string> prefix = directory_component(names.computer_prefix);
  const std::optional<std::string> computer = directory_component(names.computer);
  const std::optional<std::string> data_source = directory_component(names.ds);
  if (!prefix || !computer || !data_source) return;
  const std::string sep(1, platform::kNativeSeparator);
  const std::string root = platform::native_path(root_);
  std::vector<std::string> computer_dirs;
  std::vector<std::string> environments = subdirectories(root + sep + "Environment$");
  // A target that is some other run's source may have a hot part too.
  for (std::string& hot : subdirectories(root + sep + "Hot$" + sep + "Environment$")) {
    environments.push_back(std::move(hot));
  }
  for (const std::string& environment : environments) {
    for (const std::string& domain : subdirectories(environment + sep + "Domain$")) {
      computer_dirs.push_back(domain + sep + "Computer$" + sep + *prefix + sep + *computer);
    }
    computer_dirs.push_back(environment + sep + "Host$" + sep + *prefix + sep + *computer);
  }
  for (const std::string& dir : computer_dirs) {
    for (const std::string& type : subdirectories(dir + sep + "DataSource$")) {
      const std::string files = type + sep + "UnderDataSource$" + sep + *data_source;
      std::vector<platform::dir_entry> entries;
      if (!platform::list_directory(files, entries)) continue;
      for (const platform::dir_entry& e : entries) {
        if (e.is_directory) continue;
        std::u16string name = platform::text_name(e.name);
        if (!is_rep_name(name)) continue;
        out.push_back({files + sep + e.name, std::move(name)});
      }
    }
  }
}

bool rep_target_contents::read_events(const target_file& file,
                                      const std::function<void(const full_event&)>& each) {
  RepFileSource source(messages_, nullptr, RepFileImage(file.path));
  source.set_report(false);
  const int32_t result = source.ProcessFile([&each](full_event& e) { each(e); });
  return result == 0 && !source.damage().any();
}

std::u16string rep_target_contents::hold_path(const storage_item& item) const {
  // FNV-1a-64 of the computer and data-source names: a lock file per group with a short, safe
  // name. Two groups that share a hash only wait on each other.
  uint64_t hash = 0xCBF29CE484222325ull;
  auto add = [&hash](std::u16string_view text) {
    for (char16_t c : text) {
      for (uint8_t byte : {uint8_t(c), uint8_t(c >> 8)}) {
        hash ^= byte;
        hash *= 0x100000001B3ull;
      }
    }
  };
  add(item.computer_name);
  add(std::u16string_view(u"\0", 1));
  add(item.ds_name);
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.hold", static_cast<unsigned long long>(hash));
  return root_ + platform::kSeparator + kHoldDirectory + platform::kSeparator +
         widen_ascii(name);
}

std::unique_ptr<TargetContents::group_hold> rep_target_contents::hold_group(
    const storage_item& item) {
  platform::create_directory(root_);
  platform::create_directory(root_ + platform::kSeparator + kHoldDirectory);
  auto hold = std::make_unique<lock_file_hold>();
  const std::u16string path = hold_path(item);
  int result = hold->hold.acquire(path, false);
  if (result == platform::file_hold::kBusy) {
    messages_.err(message_kind::notice)
        << "Waiting for another copy into this target to finish with computer "
        << to_utf8(item.computer_name) << ", data source " << to_utf8(item.ds_name);
    result = hold->hold.acquire(path, true);
  }
  if (result != platform::file_hold::kHeld) {
    const std::string error = error_text();
    messages_.err(message_kind::error)
        << "Can't hold " << to_utf8(path) << " against other copies:" << error
        << "; copying without it";
    return nullptr;
  }
  return hold;
}

}  // namespace repcopy
