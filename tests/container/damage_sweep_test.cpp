// Every prefix and every single-byte change of a valid file either loads or fails cleanly: no
// read outside the image (checked under AddressSanitizer), no exception, no crash.

#include <gtest/gtest.h>

#include "container/rep_data_buffer.h"
#include "container/rep_file_buffer.h"
#include "tests/container/container_bytes.h"

namespace repcopy {
namespace {

using test::bytes;

bytes sample_file() {
  const bytes inner =
      test::build_file({{{test::part_item("0_events.dat", test::valid_records(3, {u"in"}))},
                         {{u"EventsCount", u"1"}}}});
  const bytes cat = test::valid_records(0, {u"cat"});
  return test::build_file(
      {{{test::part_item("0_events.dat", test::valid_records(3, {u"a", u"bc"})),
         test::table_item{u"0_cat.cache", test::deflated_item("0_cat.cache", cat), cat.size()}},
        {{u"EventsCount", u"2"}}},
       {{test::part_item("1_comp.cache", test::valid_records(1, {u"x"})),
         test::table_item{u"n.rep", test::deflated_item("n.rep", inner), inner.size()}},
        {{u"EventsCount", u"3"}, {u"Host", u"h"}}}});
}

// Loads image like a reader of nested files would, and returns the status of the outer load.
int32_t load_all(byte_span image) {
  RepFileBuffer file(image, kAllLoadFlags);
  int32_t rc = file.Load();
  for (;;) {
    const buffer_entry& e = file.NextBufferEntry();
    if (!e.has_data()) break;
    RepDataBuffer item(e);
    buffer_entry unpacked = item.UnpackAsEntry();
    if (!unpacked.has_data()) continue;
    RepFileBuffer nested(std::move(unpacked), kAllLoadFlags);
    nested.Load();
  }
  file.DestroyParts();
  return rc;
}

TEST(DamageSweep, EveryPrefixFailsCleanlyAndOnlyTheWholeFileLoads) {
  const bytes file = sample_file();
  ASSERT_EQ(load_all(file), 0);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  int loaded = 0;
  for (size_t n = 0; n < file.size(); ++n) {
    bytes prefix(file.begin(), file.begin() + ptrdiff_t(n));
    if (load_all(prefix) == 0) ++loaded;
    // The same prefix with a header that agrees with its length reaches the footer parser.
    if (n >= 512) {
      RepFileBuffer probe(file);
      if (probe.last_footer_offset() <= n) {
        test::set_u32(prefix, 40, uint32_t(n - probe.last_footer_offset()));
        if (load_all(prefix) == 0) ++loaded;
      }
    }
  }
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(loaded, 0);
}

TEST(DamageSweep, EverySingleByteChangeIsHandled) {
  const bytes file = sample_file();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (size_t i = 0; i < file.size(); ++i) {
    for (uint8_t mask : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)}) {
      bytes damaged = file;
      damaged[i] ^= mask;
      load_all(damaged);
    }
  }
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace repcopy
