#include "app/elapsed.h"

#include <cstdio>

namespace repcopy {

std::string elapsed_text(uint64_t start_filetime, uint64_t end_filetime) {
  const int64_t units = end_filetime >= start_filetime ? int64_t(end_filetime - start_filetime) : 0;
  const long long seconds = units / 10000000;
  const long long millis = units % 10000000 / 10000;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%lld.%03lld", seconds, millis);
  return buf;
}

void print_elapsed(message_sink& messages, uint64_t start_filetime, uint64_t end_filetime) {
  messages.out(message_kind::summary) << elapsed_text(start_filetime, end_filetime);
}

}  // namespace repcopy
