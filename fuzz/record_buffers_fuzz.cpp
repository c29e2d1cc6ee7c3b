// Builds every record buffer (Buffer IDs 0 to 14) over arbitrary bytes, loads it, and when the
// load succeeds reads every record through every accessor. Readers must never read outside the
// item, whatever its bytes claim.

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <vector>

#include "records/cache_readers.h"
#include "records/events_reader.h"
#include "records/named_field_readers.h"
#include "records/position_readers.h"
#include "records/record_factory.h"
#include "records/string_words.h"
#include "util/message_sink.h"

namespace {

using namespace repcopy;

void read_all(RepPartBuffer& buffer) {
  const uint32_t n = buffer.ulCount();
  for (uint32_t i = 0; i <= n; ++i) {  // one past the end must be safe as well
    (void)buffer.string_at(i);
    if (auto* cat = dynamic_cast<RepCatBuffer*>(&buffer)) {
      (void)cat->name(i);
      (void)cat->category(i);
      (void)cat->category_marker(i);
      (void)cat->event_id(i);
    } else if (auto* comp = dynamic_cast<RepCompBuffer*>(&buffer)) {
      (void)comp->name(i);
      (void)comp->time_offset(i);
    } else if (auto* user = dynamic_cast<RepUserBuffer*>(&buffer)) {
      (void)user->string1(i);
      (void)user->string2(i);
      (void)user->binary(i);
    } else if (auto* events = dynamic_cast<RepEventsBuffer*>(&buffer)) {
      const events_layout r = events->record(i);
      std::vector<uint32_t> words;
      events->words(r, words);
      auto slots = decode_string_words(words, r.string_slots);
      if (slots.size() > words.size()) __builtin_trap();
      if (r.data.bytes.size() != (i < n ? r.data_length : 0)) __builtin_trap();
    } else if (auto* keys = dynamic_cast<RepRecordBuffer*>(&buffer)) {
      (void)keys->record_key(i);
      (void)keys->event_time(i);
    }
  }
  if (auto* table = dynamic_cast<RepNfieldsDatBuffer*>(&buffer)) {
    uint64_t offset = 0;
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
    uint32_t records = 0;
    while (table->read_fields(offset, pairs)) ++records;
    if (records != n || offset != buffer.buffer_len()) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] { return true; }();
  (void)quiet;
  const byte_buffer bytes(data, data + size);
  // The item as inflated, and the same vector with a shorter real length (padded buffers).
  for (uint64_t real_len : {uint64_t(size), uint64_t(size - size / 3)}) {
    for (int32_t id = 0; id <= 14; ++id) {
      auto buffer = make_record_buffer(id, bytes, real_len);
      if (buffer->Load() == 0) read_all(*buffer);
      // The position readers print their own time lines; the others share the hex dump.
      if (id == 4 || id == 6) buffer->Dump(repcopy::discard_messages());
    }
  }
  return 0;
}
