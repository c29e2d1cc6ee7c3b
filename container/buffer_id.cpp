#include "container/buffer_id.h"

#include "container/format.h"
#include "container/number_text.h"

namespace repcopy {

std::optional<int32_t> classify_by_name(std::u16string_view name) {
  size_t dot = name.find(u'.');
  if (dot == std::u16string_view::npos) return std::nullopt;
  std::u16string_view key = dot < 4 ? name.substr(0, 4) : name.substr(dot - 4, 4);
  for (int32_t id = 0; id < kBufferIdCount; ++id) {
    if (key == kBufferKeys[id]) return id;
  }
  return std::nullopt;
}

int32_t classify_by_content(byte_span data) {
  if (data.size() < 4) return kBufferIdUnknown;
  if (load_le32(data.data()) == kFileMagic) return kBufferIdRawFile;
  if (std::string_view(reinterpret_cast<const char*>(data.data()), 4) == kItemSignature) {
    return kBufferIdNested;
  }
  return kBufferIdUnknown;
}

int32_t part_index_of(std::u16string_view name) {
  return parse_int(name.substr(0, name.find(u'_')));
}

}  // namespace repcopy
