// Differential fuzzing of damage: the input is a list of byte changes applied to a sound
// repository file, and every event the changed file yields must equal, in order, an event of the
// sound file. A damaged file may give fewer events, never a different one.
//
// The property block is left alone: its values (computer, domain, counts) become fields of the
// events and no check in the format covers them. Everything else of the file is fair game: the
// header, the items (CRC-checked) and the part table (the items' own names and bounds).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "source/rep_file_source.h"
#include "tests/container/rep_file_bytes.h"
#include "util/message_sink.h"

namespace {

using repcopy::full_event;
using repcopy::test::bytes;

struct sound_file {
  bytes image;
  size_t properties_begin = 0;  // the property block: [begin, image end)
  std::vector<full_event> events;
};

std::vector<full_event> events_of(const bytes& image) {
  std::vector<full_event> out;
  repcopy::RepFileSource source(
      repcopy::discard_messages(), nullptr,
      repcopy::RepFileImage("fuzz.rep", std::vector<uint8_t>(image.begin(), image.end())));
  source.ProcessFile([&](const full_event& e) { out.push_back(e); });
  return out;
}

// Two parts with every cache and named fields; part 0 packed by zlib, part 1 as stored deflate
// blocks, so that changes land both in compressed streams and in plain record bytes.
sound_file make_sound_file() {
  using namespace repcopy::test;
  test_part first = sample_part();
  first.nf_names = {u"Name", u"Other"};
  first.nf_values = {u"value", u"more"};
  first.nfields = std::vector<field_list>{{{0, 0}, {1, 1}}, {}, {{1, 0}}};
  test_part second = sample_part();
  second.index = 1;
  second.keys = {21, 22, 23};
  second.users = {{u"NT AUTHORITY", u"SYSTEM", {4}}};
  rep_file_builder b;
  b.windows(u"srv01", u"CORP");
  b.part(first);
  for (const auto& [name, data] : second.items()) b.packed(name, stored_item(name, data), data.size());
  b.add_events_count(second.events.size());
  sound_file s;
  s.image = b.build();
  // The last footer: its table length, then the property length and block end the file.
  uint64_t footer = 0, tbl_len = 0;
  for (int i = 7; i >= 0; --i) footer = (footer << 8) | s.image[32 + size_t(i)];
  for (int i = 7; i >= 0; --i) tbl_len = (tbl_len << 8) | s.image[size_t(footer) + 12 + size_t(i)];
  s.properties_begin = size_t(footer + 20 + tbl_len + 8);
  s.events = events_of(s.image);
  if (s.events.size() != 6) std::abort();
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const sound_file sound = [] { return make_sound_file(); }();
  // Changes of five bytes each: a u32 position (modulo the part before the properties) and a
  // byte to exclusive-or there; at most 64 of them.
  bytes image = sound.image;
  for (size_t at = 0; at + 5 <= size && at < 5 * 64; at += 5) {
    uint32_t pos = 0;
    for (int i = 3; i >= 0; --i) pos = (pos << 8) | data[at + size_t(i)];
    image[pos % sound.properties_begin] ^= data[at + 4];
  }
  size_t from = 0;
  for (const full_event& e : events_of(image)) {
    size_t i = from;
    while (i < sound.events.size() && !(sound.events[i] == e)) ++i;
    if (i == sound.events.size()) {
      std::fprintf(stderr, "altered event: record key %u, computer record %u\n", e.record_key,
                   e.comp_index);
      std::abort();
    }
    from = i + 1;
  }
  return 0;
}
