// Every prefix and every single-byte change of a valid file either loads or fails cleanly: no
// read outside the image (checked under AddressSanitizer), no exception, no crash.

#include <gtest/gtest.h>

#include "container/rep_data_buffer.h"
#include "container/rep_file_buffer.h"
#include "tests/container/rep_file_bytes.h"
#include "tests/test_console.h"

namespace repcopy {
namespace {

using test::bytes;

bytes sample_file() {
  const bytes inner = test::rep_file_builder().windows(u"in").part(test::sample_part()).build();
  return test::rep_file_builder()
      .property(u"EventsCount", u"2")
      .part(test::sample_part())
      .next_footer()
      .windows(u"out")
      .item("n.rep", inner)
      .build();
}

// Loads image like a reader of nested files would, and returns the status of the outer load.
int32_t load_all(byte_span image) {
  RepFileBuffer file(test_console(), image, kAllLoadFlags);
  int32_t rc = file.Load();
  for (;;) {
    const buffer_entry& e = file.NextBufferEntry();
    if (!e.has_data()) break;
    RepDataBuffer item(test_console(), e);
    buffer_entry unpacked = item.UnpackAsEntry();
    if (!unpacked.has_data()) continue;
    RepFileBuffer nested(test_console(), std::move(unpacked), kAllLoadFlags);
    nested.Load();
  }
  file.DestroyParts();
  return rc;
}

TEST(DamageSweep, EveryPrefixFailsAndEverySingleByteChangeIsHandled) {
  const bytes file = sample_file();
  ASSERT_EQ(load_all(file), 0);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  int loaded = 0;
  for (size_t n = 0; n < file.size(); ++n) {
    bytes prefix(file.begin(), file.begin() + ptrdiff_t(n));
    loaded += load_all(prefix) == 0;
    for (uint8_t mask : {0x01, 0x80, 0xFF}) {
      bytes damaged = file;
      damaged[n] ^= mask;
      load_all(damaged);
    }
  }
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(loaded, 0);
}

}  // namespace
}  // namespace repcopy
