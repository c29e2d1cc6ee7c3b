#include "util/paths.h"

#include <algorithm>

#include "platform/extended_path.h"
#include "platform/platform.h"
#include "util/error_text.h"
#include "util/fatal.h"
#include "util/text.h"

namespace repcopy {

int absolute_path(message_sink& messages, bool windows, const std::string& path,
                  const std::string& cwd, std::u16string& out) {
  const int result = windows ? platform::windows_extended_path(path, cwd, out)
                             : platform::posix_absolute_path(path, cwd, out);
  if (result == platform::kPathAboveRoot) {
    // The path as the Windows form took it, its separators made "\\".
    std::string shown = path;
    if (windows) std::replace(shown.begin(), shown.end(), '/', '\\');
    fatal_stop("Can't add path " + shown + "\n to\n " + cwd + "\n");
  }
  if (result == 0) return 0;
  const std::string error = error_text();
  messages.out(message_kind::notice) << "MultiByteToWideChar: " << error;
  return -1;
}

int to_extended_path(message_sink& messages, const std::string& path, std::u16string& out) {
  std::string cwd;
  if (platform::kWindows || path.empty() || path[0] != '/') {
    std::u16string wide_cwd;
    if (!platform::current_directory(wide_cwd)) {
      const std::string error = error_text();
      messages.out(message_kind::notice) << "WideCharToMultiByte: " << error;
      out.assign(1, u'\0');
      return -1;
    }
    cwd = to_utf8(wide_cwd);
  }
  if (absolute_path(messages, platform::kWindows, path, cwd, out) == 0) return 0;
  out.assign(1, u'\0');
  return -1;
}

}  // namespace repcopy
