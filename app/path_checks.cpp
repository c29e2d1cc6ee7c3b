#include "app/path_checks.h"

#include <cstdint>
#include <utility>

#include "platform/platform.h"
#include "util/paths.h"
#include "util/text.h"

namespace repcopy {

namespace {

using identity = std::pair<uint64_t, uint64_t>;

std::optional<identity> identity_of(const std::u16string& path) {
  identity id;
  if (!platform::file_identity(platform::native_path(path), id.first, id.second)) {
    return std::nullopt;
  }
  return id;
}

// True when the directory with identity `outer` is path itself or one of its existing ancestors.
bool lies_within(const std::u16string& path, const identity& outer) {
  std::u16string p = path;
  while (!p.empty()) {
    if (identity_of(p) == outer) return true;
    const size_t cut = p.find_last_of(platform::kSeparator);
    if (cut == std::u16string::npos) break;
    p.resize(cut == 0 ? (p.size() > 1 ? 1 : 0) : cut);
  }
  return false;
}

// The path as the copy will use it (absolute, "." and ".." taken away), then with its links
// resolved; empty when it cannot be made.
std::u16string resolved(message_sink& messages, const std::string& typed) {
  std::u16string absolute, out;
  if (to_extended_path(messages, typed, absolute) != 0) return {};
  if (!platform::resolved_path(absolute, out)) return absolute;
  return out;
}

}  // namespace

std::optional<std::string> path_refusal(message_sink& messages, const std::string& source,
                                        const std::string& target) {
  const std::u16string source_path = resolved(messages, source);
  const std::u16string target_path = resolved(messages, target);
  if (source_path.empty() || !platform::path_exists(source_path)) {
    return "Source repository not found: " + source;
  }
  if (!platform::is_directory(source_path)) {
    return "Source repository is not a directory: " + source;
  }
  // A directory with neither part of a repository is a wrong path, not an empty copy.
  const std::u16string sep(1, platform::kSeparator);
  if (!platform::is_directory(source_path + sep + u"Environment$") &&
      !platform::is_directory(source_path + sep + u"Hot$" + sep + u"Environment$")) {
    return "Source is not a repository (no Environment$ or Hot$/Environment$ in it): " + source;
  }
  if (target_path.empty()) return "Target repository path cannot be used: " + target;
  const bool target_exists = platform::path_exists(target_path);
  if (target_exists && !platform::is_directory(target_path)) {
    return "Target repository is not a directory: " + target;
  }
  const std::optional<identity> source_id = identity_of(source_path);
  if (source_id && lies_within(target_path, *source_id)) {
    if (target_exists && identity_of(target_path) == source_id) {
      return "Source and target are the same directory: " + source + " and " + target;
    }
    return "Target repository " + target + " lies inside the source repository " + source;
  }
  if (target_exists) {
    const std::optional<identity> target_id = identity_of(target_path);
    if (target_id && lies_within(source_path, *target_id)) {
      return "Source repository " + source + " lies inside the target repository " + target;
    }
  }
  return target_write_refusal(target_path);
}

std::optional<std::string> target_write_refusal(const std::u16string& target) {
  // The target, or the nearest of its ancestors that exists: the copy creates everything below.
  std::u16string p = target;
  while (!p.empty() && !platform::path_exists(p)) {
    const size_t cut = p.find_last_of(platform::kSeparator);
    if (cut == std::u16string::npos) break;
    p.resize(cut == 0 ? (p.size() > 1 ? 1 : 0) : cut);
  }
  if (p.empty()) p.assign(1, u'.');
  // A file made and removed at once tells what no permission bits can: a read-only mount, an
  // access list, a regular file where a directory must be ("Not a directory").
  uint8_t guid[16] = {};
  platform::new_guid(guid);
  std::u16string probe = p;
  if (probe.back() != platform::kSeparator) probe += platform::kSeparator;
  probe += u".repcopy-probe-";
  for (uint8_t b : guid) {
    probe += u"0123456789abcdef"[b >> 4];
    probe += u"0123456789abcdef"[b & 15];
  }
  platform::output_file file;
  if (!file.create(probe)) {
    return "Target repository cannot be written: " +
           platform::display_name(platform::native_path(p)) + ": " +
           platform::system_error_message(platform::last_error());
  }
  file.close();
  platform::remove_path(probe);
  return std::nullopt;
}

}  // namespace repcopy
