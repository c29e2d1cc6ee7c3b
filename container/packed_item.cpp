#include "container/packed_item.h"

#include <algorithm>
#include <climits>
#include <new>

#include "compression/crc32.h"
#include "compression/deflate.h"
#include "container/format.h"
#include "util/hex_dump.h"

namespace repcopy {

namespace {

// Deflate cannot expand better than 1032:1 (a 258-byte match in two bits).
constexpr uint64_t kMaxDeflateRatio = 1032;

// Reports an inflate failure; the result holds no data and status -1.
unpack_result inflate_failed(message_sink& messages, int code) {
  messages.out(message_kind::notice) << "error: Can't uncompress : " << code;
  messages.out(message_kind::notice) << "uncompress error";
  return unpack_result{};
}

}  // namespace

item_layout locate_item(byte_span file, uint64_t item_offset, uint64_t packed_len) {
  item_layout it;
  it.item_offset = item_offset;
  it.packed_len = packed_len;
  it.file_len = file.size();
  if (item_offset > file.size() || packed_len > file.size() - item_offset) {
    it.fault = item_fault::out_of_range;
    return it;
  }
  it.item = file.subspan(size_t(item_offset), size_t(packed_len));
  if (packed_len < kItemMinSize) {
    it.fault = item_fault::too_short;
    return it;
  }
  byte_reader r(it.item);
  uint16_t signature = 0;
  r.u16(signature);
  if (signature != kItemSignatureShort) {
    it.fault = item_fault::bad_signature;
    return it;
  }
  // The name ends with a NUL before the trailer.
  const size_t trailer = it.item.size() - kItemTrailerSize;
  byte_span name_area = it.item.subspan(kItemNamePos, trailer - kItemNamePos);
  auto nul = std::find(name_area.begin(), name_area.end(), uint8_t(0));
  if (nul == name_area.end()) {
    it.fault = item_fault::unterminated_name;
    return it;
  }
  it.name.assign(name_area.begin(), nul);
  it.stream = it.item.subspan(kItemNamePos + it.name.size() + 1);
  r.seek(trailer);
  r.u32(it.crc32);
  r.u32(it.unpacked_len);
  return it;
}

void report_item_fault(message_sink& messages, const item_layout& it) {
  switch (it.fault) {
    case item_fault::none:
      break;
    case item_fault::out_of_range:
      messages.out(message_kind::notice)
          << "Truncated item: item_offset " << it.item_offset << " + packed_len " << it.packed_len
          << " passes the end of the file (" << it.file_len << " bytes)";
      break;
    case item_fault::too_short:
      messages.out(message_kind::notice)
          << "Item at offset " << it.item_offset << " too short: packed_len " << it.packed_len
          << " < " << kItemMinSize;
      break;
    case item_fault::bad_signature:
      messages.out(message_kind::notice) << "Wrong signature!";
      break;
    case item_fault::unterminated_name:
      messages.out(message_kind::notice)
          << "Item at offset " << it.item_offset << ": name not terminated inside the item";
      break;
  }
}

uint32_t initial_capacity(uint32_t stored_unpacked_len, uint64_t packed_len) {
  if (stored_unpacked_len > packed_len) {
    uint64_t most = packed_len > kMaxUnpackedLen / kMaxDeflateRatio ? kMaxUnpackedLen
                                                                    : packed_len * kMaxDeflateRatio;
    return uint32_t(std::min<uint64_t>(stored_unpacked_len, most));
  }
  uint32_t capacity = uint32_t(6u * uint32_t(packed_len));
  return capacity == 0 ? 8 : capacity;
}

uint32_t doubled_capacity(uint32_t capacity) {
  if (capacity == kMaxUnpackedLen) return 0;
  return capacity > kMaxUnpackedLen / 2 ? kMaxUnpackedLen : capacity * 2;
}

unpack_result inflate_item(message_sink& messages, const item_layout& it) {
  unpack_result r;
  if (it.stream.size() > UINT_MAX) return inflate_failed(messages, compression::kDataError);
  uint32_t capacity = initial_capacity(it.unpacked_len, it.packed_len);
  try {
    for (;;) {
      r.data.resize(capacity);
      size_t written = 0;
      int rc = compression::inflate_raw(it.stream, r.data, written);
      if (rc == compression::kOk) {
        r.real_len = written;
        break;
      }
      if (rc == compression::kBufferError) {
        capacity = doubled_capacity(capacity);
        if (capacity == 0) return inflate_failed(messages, compression::kBufferError);
        continue;
      }
      return inflate_failed(messages, rc);
    }
  } catch (const std::bad_alloc&) {
    return inflate_failed(messages, compression::kMemoryError);
  }
  // Keep at least four bytes so that a signature test at the start stays inside the buffer.
  r.data.resize(std::max<uint64_t>(r.real_len, 4));
  std::fill(r.data.begin() + ptrdiff_t(r.real_len), r.data.end(), uint8_t(0));
  r.crc32_real = crc32_of(r.data.data(), size_t(r.real_len));
  if (r.crc32_real != it.crc32) {
    messages.out(message_kind::notice) << "BAD CRC: " << r.crc32_real << " != " << it.crc32;
    hex_dump(messages, r.data, size_t(std::min<uint64_t>(64, r.real_len)));
    r.status = -5;
    return r;
  }
  r.status = 0;
  return r;
}

unpack_result unpack_item(message_sink& messages, byte_span file, uint64_t item_offset,
                          uint64_t packed_len) {
  item_layout it = locate_item(file, item_offset, packed_len);
  if (it.fault != item_fault::none) {
    report_item_fault(messages, it);
    return unpack_result{};
  }
  return inflate_item(messages, it);
}

}  // namespace repcopy
