#include "util/error_text.h"

#include <cstdio>

#include "platform/platform.h"

namespace repcopy {

std::string error_text() { return error_text(platform::last_error()); }

std::string error_text(int code) {
  std::string message = platform::system_error_message(code);
  char buf[1100];
  if (!message.empty() && message.size() + 14 <= 1024) {
    std::snprintf(buf, sizeof buf, "%s %d (0x%x)", message.c_str(), code, unsigned(code));
  } else {
    std::snprintf(buf, sizeof buf, " code = %d (0x%x)", code, unsigned(code));
  }
  return buf;
}

}  // namespace repcopy
