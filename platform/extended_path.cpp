#include "platform/extended_path.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/utf.h"

namespace repcopy::platform {

namespace {

// The relative-path steps shared by both forms; sep is the separator of the form.
// "..": every occurrence of ".." in the path (searched left to right, each search after the
// previous one) drops one trailing component of the current directory; then the text after the
// last ".." is appended. A single leading ".": the text after the dot, with a separator put
// before it when it has none. Anything else: the current directory, a separator, the path.
// Empty when the path has more ".." than the current directory has components.
std::optional<std::string> join_relative(const std::string& path, std::string cwd, char sep) {
  if (path.rfind("..", 0) == 0) {
    size_t last = 0;
    for (size_t at = path.find(".."); at != std::string::npos; at = path.find("..", at + 2)) {
      const size_t cut = cwd.rfind(sep);
      if (cut == std::string::npos) return std::nullopt;
      cwd.erase(cut);
      last = at;
    }
    return cwd + path.substr(last + 2);
  }
  if (!path.empty() && path[0] == '.') {
    std::string rest = path.substr(1);
    if (!rest.empty() && rest[0] != sep) rest.insert(rest.begin(), sep);
    return cwd + rest;
  }
  return cwd + sep + path;
}

// Behind the "\\?\" prefix the system takes "." and ".." as names, so a typed path is made
// normal first, as the system would make it without the prefix: after the root (the first
// root_length characters) "." steps and empty steps go, and ".." drops the step before it
// (none at the root). A trailing separator stays.
std::string without_dot_steps(const std::string& path, size_t root_length) {
  std::vector<std::string> steps;
  size_t start = root_length;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const std::string step = path.substr(start, end - start);
    if (step == "..") {
      if (!steps.empty()) steps.pop_back();
    } else if (!step.empty() && step != ".") {
      steps.push_back(step);
    }
    start = end + 1;
  }
  std::string out = path.substr(0, root_length);
  for (size_t i = 0; i < steps.size(); ++i) out += (i == 0 ? "" : "\\") + steps[i];
  if (!steps.empty() && path.size() > root_length && path.back() == '\\') out += '\\';
  return out;
}

// Appends the taken text, converted, within the unit limit.
int append_converted(const std::string& taken, std::u16string& out) {
  std::u16string wide;
  if (!from_utf8(taken, wide)) {
    set_last_error(kErrorBadText);
  } else if (out.size() + wide.size() + 1 > kMaxPathUnits) {
    set_last_error(kErrorNameTooLong);
  } else {
    out += wide;
    return 0;
  }
  return kPathNotConverted;
}

}  // namespace

int windows_extended_path(const std::string& typed, const std::string& cwd, std::u16string& out) {
  out = u"\\\\?\\";
  // Behind the "\\?\" prefix the system no longer turns "/" into "\": a path typed with "/"
  // would name nothing, so its separators are made "\" first.
  std::string path = typed;
  std::replace(path.begin(), path.end(), '/', '\\');
  std::string taken;
  if (path.rfind("\\\\?\\", 0) == 0) {
    out.clear();  // already an extended-length path (it would otherwise pass for a network path)
    taken = path;
  } else if (path.size() >= 2 && path[1] == ':') {
    taken = path;  // drive paths, also drive-relative ones such as D:x
  } else if (path.rfind("\\\\", 0) == 0) {
    out = u"\\\\?\\UNC";
    taken = path.substr(1);
  } else if (!path.empty() && path[0] == '\\') {
    taken = cwd.substr(0, 2) + path;  // the current drive
  } else {
    const std::optional<std::string> joined = join_relative(path, cwd, '\\');
    if (!joined) return kPathAboveRoot;
    taken = *joined;
  }
  if (out == u"\\\\?\\UNC") {
    // "\server\share\" is the root of a network path.
    const size_t server_end = taken.find('\\', 1);
    const size_t share_end =
        server_end == std::string::npos ? std::string::npos : taken.find('\\', server_end + 1);
    if (share_end != std::string::npos) taken = without_dot_steps(taken, share_end + 1);
  } else if (!out.empty() && taken.size() >= 3 && taken[1] == ':' && taken[2] == '\\') {
    taken = without_dot_steps(taken, 3);  // "C:\" is the root of a drive path
  }
  return append_converted(taken, out);
}

int posix_absolute_path(const std::string& path, const std::string& cwd, std::u16string& out) {
  out.clear();
  std::string taken;
  if (!path.empty() && path[0] == '/') {
    taken = path;
  } else {
    // The root directory joins without doubling its separator.
    const std::optional<std::string> joined =
        join_relative(path, cwd == "/" ? std::string() : cwd, '/');
    if (!joined) return kPathAboveRoot;
    taken = joined->empty() ? "/" : *joined;  // ".." resolved up to the root
  }
  if (append_converted(taken, out) != 0) {
    out.assign(1, u'\0');
    return kPathNotConverted;
  }
  return 0;
}

}  // namespace repcopy::platform
