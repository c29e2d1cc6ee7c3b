// time_text over the whole signed 64-bit range: damaged position files can hold any value.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "util/time_text.h"

namespace repcopy {
namespace {

TEST(TimeTextExtremes, AroundTheEpoch) {
  EXPECT_EQ(time_text(0), "Thu Jan 01 00:00:00 1970");
  EXPECT_EQ(time_text(-1), "Wed Dec 31 23:59:59 1969");
  EXPECT_EQ(time_text(-86400), "Wed Dec 31 00:00:00 1969");
  EXPECT_EQ(time_text(-86401), "Tue Dec 30 23:59:59 1969");
}

TEST(TimeTextExtremes, LargestMagnitudesDoNotOverflow) {
  // Only that they are formatted without undefined behaviour (checked under the sanitizers).
  EXPECT_FALSE(time_text(std::numeric_limits<int64_t>::min()).empty());
  EXPECT_FALSE(time_text(std::numeric_limits<int64_t>::max()).empty());
  EXPECT_EQ(time_text(4294967295), "Sun Feb 07 06:28:15 2106");
}

}  // namespace
}  // namespace repcopy
