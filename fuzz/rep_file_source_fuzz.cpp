// Builds a repository file whose internal files hold arbitrary bytes and reads it through
// RepFileSource::ProcessFile, with and without filters. Whatever indexes the events records
// claim, the join must never read outside a buffer.
//
// Input: a control byte (platform and filter choice), then chunks of [u8 Buffer ID][u16 length]
// [bytes], each becoming the unpacked content of item "0_<name>" of part 0 (or part 1 when the
// ID byte has bit 7 set).

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "container/format.h"
#include "source/rep_file_source.h"
#include "util/message_sink.h"

namespace {

using bytes = std::vector<uint8_t>;

// n little-endian bytes of v; bytes past the eighth are zero.
void put(bytes& out, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) out.push_back(i < 8 ? uint8_t(v >> (8 * i)) : 0);
}
void put16(bytes& out, const std::u16string& s) {
  put(out, s.size(), 4);
  for (char16_t c : s) put(out, c, 2);
}

bytes packed(const std::string& name, const uint8_t* data, size_t n) {
  bytes item = {'E', 'D', 'R', 'P', 8, 8, 0, 0, 0, 0, 0, 11};
  item.insert(item.end(), name.begin(), name.end());
  item.push_back(0);
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  bytes stream(deflateBound(&z, uLong(n)) + 16);
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = uInt(n);
  z.next_out = stream.data();
  z.avail_out = uInt(stream.size());
  deflate(&z, Z_FINISH);
  item.insert(item.end(), stream.begin(), stream.begin() + long(z.total_out));
  deflateEnd(&z);
  put(item, crc32(0, data, uInt(n)), 4);
  put(item, n, 4);
  return item;
}

bytes build_file(const uint8_t* data, size_t size, const std::u16string& platform) {
  bytes file(repcopy::kFileMagicBytes, repcopy::kFileMagicBytes + 16);
  file.resize(repcopy::kHeaderSize, 0);
  bytes table;
  size_t pos = 1;
  while (pos + 3 <= size) {
    const uint8_t id = data[pos];
    size_t len = size_t(data[pos + 1]) | (size_t(data[pos + 2]) << 8);
    pos += 3;
    if (len > size - pos) len = size - pos;
    const std::string name = std::string(id & 0x80 ? "1" : "0") +
                             std::string(repcopy::kItemNames[(id & 0x7F) % 13]).substr(1);
    bytes item = packed(name, data + pos, len);
    put16(table, std::u16string(name.begin(), name.end()));
    put(table, len, 8);
    put(table, file.size(), 8);
    put(table, item.size(), 8);
    file.insert(file.end(), item.begin(), item.end());
    pos += len;
  }
  bytes props;
  const std::pair<std::u16string, std::u16string> pairs[] = {
      {u"ComputerType", u"1"}, {u"Computer", u"c"},       {u"EventsCount", u"1"},
      {u"Host", u"h"},         {u"PlatformID", platform}, {u"UnderDataSource", u"S"}};
  for (const auto& [n, v] : pairs) {
    put16(props, n);
    put16(props, v);
  }
  const uint64_t footer = file.size();
  put(file, 0, 12);
  put(file, table.size(), 8);
  file.insert(file.end(), table.begin(), table.end());
  put(file, props.size(), 8);
  file.insert(file.end(), props.begin(), props.end());
  bytes head;
  put(head, footer, 8);
  put(head, file.size() - footer, 4);
  std::copy(head.begin(), head.end(), file.begin() + 32);
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace repcopy;
  if (size == 0) return 0;
  const uint8_t control = data[0];
  static const char16_t* kPlatforms[] = {u"500", u"610", u"630", u"0"};
  filter_config filter;
  filter.time_on = control & 0x04;
  filter.time_from = 100;
  filter.time_to = 200000;
  filter.id_on = control & 0x08;
  filter.id_kind = control & 0x10 ? 2 : 1;
  filter.ids = {0, 1, 4624};
  RepFileSource source(repcopy::discard_messages(), &filter,
                       RepFileImage("fuzz.rep", build_file(data, size, kPlatforms[control & 3])));
  uint64_t events = 0;
  source.ProcessFile([&](const full_event& e) {
    if (e.string_count != e.strings.size() || e.named_count != e.named_fields.size()) {
      __builtin_trap();
    }
    ++events;
  });
  return 0;
}
