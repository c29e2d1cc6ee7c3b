#include "audit/rep_files.h"

#include <algorithm>
#include <set>
#include <utility>

#include "platform/platform.h"
#include "util/text.h"

namespace repcopy {

namespace {

bool is_rep_name(const std::u16string& name) {
  return name.size() >= 4 && ascii_upper(name.substr(name.size() - 4)) == u".REP";
}

// Depth first with the pending directories on the heap; a directory reached twice through
// links is read once.
void walk(const std::u16string& root, std::vector<std::u16string>& files) {
  std::set<std::pair<uint64_t, uint64_t>> visited;
  std::vector<std::u16string> pending{root};
  while (!pending.empty()) {
    std::u16string dir = std::move(pending.back());
    pending.pop_back();
    uint64_t device = 0, node = 0;
    const std::string native = platform::native_path(dir);
    if (platform::file_identity(native, device, node) && !visited.insert({device, node}).second) {
      continue;
    }
    std::vector<platform::dir_entry> entries;
    if (!platform::list_directory(native, entries)) continue;
    std::sort(
        entries.begin(), entries.end(),
        [](const platform::dir_entry& a, const platform::dir_entry& b) { return a.name < b.name; });
    std::vector<std::u16string> subdirs;
    for (const platform::dir_entry& e : entries) {
      // A name that is not UTF-8 becomes U+FFFD here, and its file is then reported unreadable.
      const std::u16string name = platform::text_name(e.name);
      std::u16string path = dir + platform::kSeparator + name;
      if (e.is_directory) {
        subdirs.push_back(std::move(path));
      } else if (is_rep_name(name)) {
        files.push_back(std::move(path));
      }
    }
    // Reversed onto the stack so that the first subdirectory is read first.
    pending.insert(pending.end(), subdirs.rbegin(), subdirs.rend());
  }
}

}  // namespace

rep_file_list list_rep_files(const std::vector<std::u16string>& paths) {
  rep_file_list list;
  for (std::u16string path : paths) {
    while (path.size() > 1 && path.back() == platform::kSeparator) path.pop_back();
    if (platform::is_directory(path)) {
      walk(path, list.files);
    } else if (platform::path_exists(path)) {
      list.files.push_back(path);
    } else {
      list.missing.push_back(path);
    }
  }
  return list;
}

}  // namespace repcopy
