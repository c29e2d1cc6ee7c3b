#pragma once
// Helpers of the record-file tests: a driver that runs one writer the way a repository file is
// made (estimate, an area of that size that is not cleared, serialize), and strings forced to a
// chosen CRC-32. Expected bytes are written with test::le.

#include <gtest/gtest.h>

#include "compression/crc32.h"
#include "model/full_event.h"
#include "records/record_format.h"
#include "records/segment.h"
#include "tests/container/rep_file_bytes.h"

namespace repcopy::test {

// A byte the area holds before the writer runs: the area of a writer thread holds what the
// items of its last file left there, so a byte the writer skips would show as this.
inline constexpr uint8_t kStaleAreaByte = 0xA5;

// Runs the writer of this Buffer ID; checks that the length stays within the estimate and that
// nothing is written past it.
inline bytes write_item(int32_t buffer_id, event_batch& events) {
  auto writer = create_segment(buffer_id);
  const uint32_t estimate = writer->estimate_size(events);
  bytes area(estimate, kStaleAreaByte);
  const uint32_t written = writer->serialize(area, events);
  EXPECT_LE(written, estimate);
  for (size_t i = written; i < area.size(); ++i) EXPECT_EQ(area[i], kStaleAreaByte) << "byte " << i;
  area.resize(std::min<size_t>(written, area.size()));
  return area;
}

// Appends two code units to prefix so that the CRC-32 of the result is target. The CRC of a
// fixed-length message is affine in its bits over GF(2): crc(x) = crc(0) ^ M x; the columns of
// M come from the 32 unit vectors, and elimination solves M x = target ^ crc(0).
inline std::u16string force_crc(const std::u16string& prefix, uint32_t target) {
  auto with = [&](uint32_t x) { return prefix + char16_t(x & 0xFFFF) + char16_t(x >> 16); };
  const uint32_t base = crc32_of_text(with(0));
  uint32_t basis[32] = {}, combo[32] = {};  // reduced column with leading bit b, its inputs
  for (int i = 0; i < 32; ++i) {
    uint32_t v = crc32_of_text(with(1u << i)) ^ base, c = 1u << i;
    for (int b = 31; b >= 0 && v; --b) {
      if (!((v >> b) & 1)) continue;
      if (!basis[b]) {
        basis[b] = v;
        combo[b] = c;
        break;
      }
      v ^= basis[b];
      c ^= combo[b];
    }
  }
  uint32_t want = target ^ base, x = 0;
  for (int b = 31; b >= 0; --b) {
    if ((want >> b) & 1) {
      want ^= basis[b];
      x ^= combo[b];
    }
  }
  return with(x);
}

}  // namespace repcopy::test
