#pragma once
// GUIDs: a u32, two u16 and eight bytes; stored on disk in the Windows byte order (the three
// numbers little-endian, the eight bytes as they are).

#include <array>
#include <cstdint>
#include <string>

namespace repcopy {

struct guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};
};

// "%8.8X-%4.4X-%4.4X-%2.2X%2.2X-%2.2X..." : 36 upper-case characters, no braces.
std::string guid_text(const guid& g);
// 32 upper-case hexadecimal digits without dashes, as in repository file names.
std::string guid_compact_text(const guid& g);
std::array<uint8_t, 16> guid_bytes(const guid& g);
guid guid_from_bytes(const uint8_t* p);
// A fresh random (version 4) GUID; false when the platform could not supply random bytes.
bool make_guid(guid& out);

}  // namespace repcopy
