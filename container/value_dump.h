#pragma once
// Value dump: a number in decimal, then " (0x", its upper-case hexadecimal zero-padded to 8
// digits (16 for 64-bit values) and ")". Callers add the line end.

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

namespace repcopy {

inline std::string value_dump(uint32_t v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%" PRIu32 " (0x%8.8" PRIX32 ")", v, v);
  return buf;
}
inline std::string value_dump(int32_t v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%" PRId32 " (0x%8.8" PRIX32 ")", v, uint32_t(v));
  return buf;
}
inline std::string value_dump(uint64_t v) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%" PRIu64 " (0x%16.16" PRIX64 ")", v, v);
  return buf;
}

}  // namespace repcopy
