#include "util/guid.h"

#include <algorithm>
#include <cstdio>

#include "platform/platform.h"
#include "util/bytes.h"

namespace repcopy {

std::string guid_text(const guid& g) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%8.8X-%4.4X-%4.4X-%2.2X%2.2X-%2.2X%2.2X%2.2X%2.2X%2.2X%2.2X",
                g.data1, g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
  return buf;
}

std::string guid_compact_text(const guid& g) {
  std::string text = guid_text(g);
  text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
  return text;
}

std::array<uint8_t, 16> guid_bytes(const guid& g) {
  std::array<uint8_t, 16> b{};
  store_le32(b.data(), g.data1);
  store_le16(b.data() + 4, g.data2);
  store_le16(b.data() + 6, g.data3);
  for (int i = 0; i < 8; ++i) b[8 + i] = g.data4[i];
  return b;
}

guid guid_from_bytes(const uint8_t* p) {
  guid g;
  g.data1 = load_le32(p);
  g.data2 = load_le16(p + 4);
  g.data3 = load_le16(p + 6);
  for (int i = 0; i < 8; ++i) g.data4[i] = p[8 + i];
  return g;
}

bool make_guid(guid& out) {
  uint8_t b[16];
  if (!platform::new_guid(b)) return false;
  out = guid_from_bytes(b);
  return true;
}

}  // namespace repcopy
