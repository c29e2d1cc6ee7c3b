#pragma once
// One packed item of a repository file (layout in container/format.h): checking its bounds,
// reading its header and trailer, and unpacking it with raw inflate.

#include <cstdint>
#include <string>
#include <vector>

#include "util/byte_buffer.h"
#include "util/bytes.h"
#include "util/message_sink.h"

namespace repcopy {

enum class item_fault {
  none,
  out_of_range,       // item_offset + packed_len passes the end of the file
  too_short,          // packed_len < kItemMinSize
  bad_signature,      // first two bytes are not "ED"
  unterminated_name,  // no NUL between the name position and the trailer
};

// Where the parts of one item lie. Fields after fault are set only when fault is none.
struct item_layout {
  item_fault fault = item_fault::none;
  uint64_t item_offset = 0;
  uint64_t packed_len = 0;
  uint64_t file_len = 0;
  byte_span item;    // the whole item when it lies inside the file, else empty
  std::string name;  // without its NUL
  byte_span stream;  // from 13 + n to the end of the item (the trailer included)
  uint32_t crc32 = 0;
  uint32_t unpacked_len = 0;
};

// Checks, in this order, range, minimum size, signature and name; reads nothing outside file.
item_layout locate_item(byte_span file, uint64_t item_offset, uint64_t packed_len);

// Writes the message of a fault other than none to messages, on standard output ("Wrong
// signature!" for a bad signature).
void report_item_fault(message_sink& messages, const item_layout& item);

struct unpack_result {
  // 0; -1 for a bad item or an inflate error (data empty); -5 for a CRC mismatch (data kept).
  int32_t status = -1;
  byte_buffer data;  // real_len bytes, zero-padded to at least 4
  uint64_t real_len = 0;
  uint32_t crc32_real = 0;
};

// Inflates a located item (fault none) and checks its CRC, with the messages of an unpack.
unpack_result inflate_item(message_sink& messages, const item_layout& item);

// Locates, reports a fault or inflates: the whole unpack of one item.
unpack_result unpack_item(message_sink& messages, byte_span file, uint64_t item_offset,
                          uint64_t packed_len);

// Capacity of the first inflate attempt: the stored length when it exceeds packed_len (but
// never more than a deflate stream of packed_len bytes can produce, so that a false length
// cannot make us allocate gigabytes), else 6 x packed_len in 32 bits; 0 becomes 8.
uint32_t initial_capacity(uint32_t stored_unpacked_len, uint64_t packed_len);
// Twice capacity, held at the u32 limit; 0 when capacity is already at the limit.
uint32_t doubled_capacity(uint32_t capacity);

}  // namespace repcopy
