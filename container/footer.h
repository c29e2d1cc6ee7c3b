#pragma once
// In-memory records of a loaded repository file: one footer_record per footer, with its part
// table, properties, parts (the record buffers of IDs 0..12 grouped by Part index), the filter
// buffers (IDs 13, 14) and the buffer entries of nested files. Layout in container/format.h.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "container/format.h"
#include "records/rep_buffer.h"
#include "util/byte_buffer.h"
#include "util/bytes.h"

namespace repcopy {

// Per Buffer ID 0..12: build that record buffer (non-zero) or drop the item (0).
using load_flags = std::array<uint32_t, kPartBufferCount>;
inline constexpr load_flags kAllLoadFlags = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

struct part_table_entry {
  uint64_t name_len = 0;
  std::u16string name;
  uint64_t unpacked_len_tbl = 0;
  uint64_t item_offset = 0;
  uint64_t packed_len = 0;
  int32_t buffer_id = kBufferIdUnknown;
};

// One item to be read as a repository file of its own. data is the byte range the item lies
// in: the outer file image (owner empty; the image must outlive the entry) or the entry's own
// unpacked bytes held in owner. Move-only: moving keeps data pointing into owner.
struct buffer_entry {
  byte_buffer owner;
  byte_span data;
  uint64_t item_offset = 0;
  uint64_t packed_len = 0;
  int32_t buffer_id = kBufferIdUnknown;  // -3: still to be detected

  buffer_entry() = default;
  buffer_entry(buffer_entry&&) = default;
  buffer_entry& operator=(buffer_entry&&) = default;
  buffer_entry(const buffer_entry&) = delete;
  buffer_entry& operator=(const buffer_entry&) = delete;

  // false for the end marker handed out after the last entry.
  bool has_data() const { return data.data() != nullptr; }
  // [item_offset, item_offset + packed_len) of data; empty when that range passes its end.
  byte_span item_bytes() const {
    if (item_offset > data.size() || packed_len > data.size() - item_offset) return {};
    return data.subspan(size_t(item_offset), size_t(packed_len));
  }
};

// The record buffers of one part; slots[id] is null when the item is absent or was not loaded.
struct part_record {
  int32_t index = 0;
  std::array<std::unique_ptr<RepPartBuffer>, kPartBufferCount> slots;
  // Items of this part whose unpack failed (bounds, signature, inflate, CRC): the buffers built
  // over them cannot be trusted, so the part yields no events.
  uint32_t damaged_items = 0;
};

struct footer_record {
  uint64_t tbl_offset = 0;  // footer_offset + 12
  uint64_t tbl_len = 0;
  std::vector<part_table_entry> part_table;  // table order
  uint64_t property_offset = 0;
  uint64_t property_len = 0;
  uint64_t footer_offset = 0;
  uint64_t footer_len = 0;
  // Ordered by UTF-16 code units; the first of two equal names wins.
  std::map<std::u16string, std::u16string> properties;
  std::unique_ptr<RepPartBuffer> filter_data;  // ID 13
  std::unique_ptr<RepPartBuffer> filter_stat;  // ID 14
  std::vector<buffer_entry> buffers;           // nested files, table order
  std::vector<part_record> parts;              // order of first appearance in the table
  // Per Buffer ID 0..14; IDs 13 and 14 are never built by a file load.
  std::array<uint32_t, kBufferIdCount> load_flags = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0};

  uint64_t footer_end() const { return footer_offset + footer_len; }
};

// Destroys the record buffers of every part of footer, with their unpacked data.
void DestroyParts(footer_record& footer);

}  // namespace repcopy
