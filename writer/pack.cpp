#include "writer/pack.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "compression/crc32.h"
#include "compression/deflate.h"
#include "container/format.h"
#include "platform/platform.h"
#include "util/bytes.h"
#include "util/hex_dump.h"

namespace repcopy {

namespace {

// A name in the style of the runtime's temporary names ("/tmp/" and a unique part), different
// on every call: random bits and a process-wide counter. Only the name is used.
std::string temporary_name() {
  static std::atomic<uint32_t> counter{0};
  uint8_t random[6] = {};
  platform::random_bytes(random, sizeof random);
  char buf[64];
  std::snprintf(buf, sizeof buf, "/tmp/rc%02x%02x%02x%02x%02x%02x.%u", random[0], random[1],
                random[2], random[3], random[4], random[5], counter.fetch_add(1) + 1);
  return buf;
}

// Keeps the input of a failed compression as "bad-<temporary name>" in the current directory.
void save_bad_source(message_sink& messages, std::span<const uint8_t> source) {
  std::string tmp_str = temporary_name();
  messages.out(message_kind::notice) << "tmp_ptr = " << tmp_str;
  messages.out(message_kind::notice) << "tmp_str = " << tmp_str;
  size_t found = tmp_str.find_last_of("/\\");
  messages.out(message_kind::notice) << "found = " << uint64_t(found);
  std::string path_str =
      "bad-" + (found == std::string::npos ? tmp_str : tmp_str.substr(found + 1));
  messages.out(message_kind::notice) << "path_str = " << path_str;
  std::ofstream out(path_str, std::ios::binary | std::ios::trunc);
  if (!out) {
    messages.out(message_kind::notice) << "Can't open file " << path_str;
    return;
  }
  out.write(reinterpret_cast<const char*>(source.data()), std::streamsize(source.size()));
}

}  // namespace

uint32_t pack_bound(uint32_t length) {
  uint32_t bound = length <= 512 ? 2 * length : length;
  if (bound == 0) bound = 512;
  if (length > 1048576) bound += length / 1000;
  return bound;
}

uint8_t packed_item_system(int32_t platform_id) {
  return platform_id == int32_t(kPlatformWindows) ? kItemSystemWindows : kItemSystemOther;
}

int32_t pack_internal_file(message_sink& messages, const write_options& options,
                           std::span<const uint8_t> source,
                           std::span<uint8_t> destination, size_t& compressed) {
  int err = compression::kBufferError;
  // Items count their lengths in 32 bits.
  if (source.size() <= UINT32_MAX && destination.size() <= UINT32_MAX) {
    err = compression::deflate_raw(options.engine, source, destination, options.level, compressed);
  }
  if (err == compression::kOk) return 0;
  messages.out(message_kind::notice) << "pack_internal_file: error = " << err << " Can't compress";
  messages.out(message_kind::notice) << "source_len = " << source.size();
  hex_dump(messages, source, std::min<size_t>(source.size(), 256));
  save_bad_source(messages, source);
  return -1;
}

uint32_t pack_item(message_sink& messages, const write_options& options, segment& writer,
                   std::span<const uint8_t> data) {
  const size_t name_length = std::strlen(writer.item_name);
  const size_t header_length = name_length + kItemNamePos + 1;
  const uint32_t length = uint32_t(data.size());
  // The classic bound is kept as the minimum, but the area is never smaller than what the engine
  // itself says one compression may need, so a full area cannot fail it.
  const size_t area =
      std::max<size_t>(size_t(pack_bound(length)) + 12,
                       compression::deflate_bound(options.engine, data.size(), options.level));
  // writer.packed may arrive with capacity from an earlier file; only its size is set here.
  byte_buffer& packed = writer.packed;
  const size_t full_length = header_length + area + kItemTrailerSize;
  if (full_length > packed.capacity()) packed.reserve(grown_capacity(full_length));
  packed.assign(header_length, 0);
  packed.resize(full_length);  // the area is left as it was
  std::copy(kItemSignature.begin(), kItemSignature.end(), packed.begin());
  packed[4] = kItemMethodDeflate;
  packed[5] = kItemFlagName;
  packed[kItemSystemPos] = packed_item_system(writer.platform_id);
  std::memcpy(packed.data() + kItemNamePos, writer.item_name, name_length);

  size_t compressed = 0;
  std::span<uint8_t> out(packed.data() + header_length, area);
  if (pack_internal_file(messages, options, data, out, compressed) != 0) {
    messages.out(message_kind::notice) << writer.item_name;
    writer.packed.clear();
    writer.header_length = 0;
    writer.packed_length = 0;
    return 0;
  }
  uint8_t* trailer = packed.data() + header_length + compressed;
  store_le32(trailer, crc32_of(data.data(), data.size()));
  store_le32(trailer + 4, length);
  packed.resize(header_length + compressed + kItemTrailerSize);
  writer.header_length = uint32_t(header_length);
  writer.packed_length = compressed + kItemTrailerSize;
  return writer.header_length;
}

}  // namespace repcopy
