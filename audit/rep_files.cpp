#include "audit/rep_files.h"

#include <algorithm>
#include <set>
#include <utility>

#include "platform/platform.h"

namespace repcopy {

namespace {

bool is_rep_name(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  }
  return ext == ".REP";
}

// Depth first with the pending directories on the heap; a directory reached twice through
// links is read once.
void walk(const std::string& root, rep_file_list& list) {
  std::set<std::pair<uint64_t, uint64_t>> visited;
  std::vector<std::string> pending{root};
  while (!pending.empty()) {
    std::string dir = std::move(pending.back());
    pending.pop_back();
    uint64_t device = 0, node = 0;
    if (platform::file_identity(dir, device, node) && !visited.insert({device, node}).second) {
      continue;
    }
    std::vector<platform::dir_entry> entries;
    if (!platform::list_directory(dir, entries)) {
      list.unreadable.emplace_back(dir,
                                   platform::system_error_message(platform::last_error()));
      continue;
    }
    std::sort(
        entries.begin(), entries.end(),
        [](const platform::dir_entry& a, const platform::dir_entry& b) { return a.name < b.name; });
    std::vector<std::string> subdirs;
    for (const platform::dir_entry& e : entries) {
      std::string path = dir + platform::kNativeSeparator + e.name;
      if (e.is_directory) {
        subdirs.push_back(std::move(path));
      } else if (!is_rep_name(e.name)) {
        continue;
      } else if (e.is_regular) {
        list.files.push_back(std::move(path));
      } else {
        list.unreadable.emplace_back(std::move(path),
                                     e.error != 0 ? platform::system_error_message(e.error)
                                                  : std::string("not a regular file"));
      }
    }
    // Reversed onto the stack so that the first subdirectory is read first.
    pending.insert(pending.end(), subdirs.rbegin(), subdirs.rend());
  }
}

}  // namespace

rep_file_list list_rep_files(const std::vector<std::string>& native_paths) {
  rep_file_list list;
  for (std::string path : native_paths) {
    while (path.size() > 1 && path.back() == platform::kNativeSeparator) path.pop_back();
    if (platform::is_directory(path)) {
      walk(path, list);
    } else if (uint64_t device = 0, node = 0; platform::file_identity(path, device, node)) {
      list.files.push_back(path);
    } else {
      list.missing.push_back(path);
    }
  }
  return list;
}

}  // namespace repcopy
