// GUID, time and error texts, and the leading-number reader.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "util/error_text.h"
#include "util/guid.h"
#include "util/leading_int.h"
#include "util/time_text.h"

namespace repcopy {
namespace {

TEST(GuidText, AllZero) { EXPECT_EQ(guid_text(guid{}), "00000000-0000-0000-0000-000000000000"); }

TEST(GuidText, FromTheFileMagicBytes) {
  const uint8_t bytes[16] = {0x7B, 0x19, 0x35, 0x19, 0xB9, 0xAB, 0xA5, 0x4D,
                             0xA7, 0x09, 0xEA, 0x27, 0x19, 0xE4, 0xF3, 0x64};
  const guid g = guid_from_bytes(bytes);
  EXPECT_EQ(guid_text(g), "1935197B-ABB9-4DA5-A709-EA2719E4F364");
  EXPECT_EQ(guid_compact_text(g), "1935197BABB94DA5A709EA2719E4F364");
  const std::array<uint8_t, 16> back = guid_bytes(g);
  EXPECT_EQ(std::memcmp(back.data(), bytes, 16), 0);
}

TEST(GuidText, FreshGuidsAreVersionFour) {
  guid a, b;
  ASSERT_TRUE(make_guid(a));
  ASSERT_TRUE(make_guid(b));
  const std::string text = guid_text(a);
  EXPECT_EQ(text.size(), 36u);
  EXPECT_EQ(text[14], '4');
  EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos);
  EXPECT_NE(text, guid_text(b));
}

TEST(TimeText, ClassicFormInUtc) {
  EXPECT_EQ(time_text(0), "Thu Jan 01 00:00:00 1970");
  EXPECT_EQ(time_text(1551807730), "Tue Mar 05 17:42:10 2019");
  EXPECT_EQ(time_text(951782400), "Tue Feb 29 00:00:00 2000");
  EXPECT_EQ(time_text(0xFFFFFFFF), "Sun Feb 07 06:28:15 2106");
}

TEST(TimeText, FourteenDigits) {
  EXPECT_EQ(time14_text(0), "19700101000000");
  EXPECT_EQ(time14_text(1551807730), "20190305174210");
  EXPECT_EQ(time14_text(951782400), "20000229000000");
  EXPECT_EQ(time14_text(0xFFFFFFFF), "21060207062815");
}

TEST(TimeText, FiletimeConversions) {
  EXPECT_EQ(filetime_to_seconds(116444736000000000ULL), 0u);
  EXPECT_EQ(filetime_to_seconds(116444736000000000ULL + 12345678), 1u);  // truncated
  EXPECT_EQ(seconds_to_filetime(1551807730), 116444736000000000ULL + 15518077300000000ULL);
  EXPECT_EQ(filetime_to_seconds(seconds_to_filetime(0xFFFFFFFF)), 0xFFFFFFFFu);
}

TEST(ErrorText, KnownAndUnknownErrors) {
  EXPECT_EQ(error_text(ENOENT), std::string(std::strerror(ENOENT)) + " 2 (0x2)");
  EXPECT_EQ(error_text(1234), " code = 1234 (0x4d2)");
  errno = EACCES;
  EXPECT_EQ(error_text(), std::string(std::strerror(EACCES)) + " 13 (0xd)");
}

TEST(LeadingInt, StrtolLikeWithClamping) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {{"", 0},
               {"12", 12},
               {"  \t-7", -7},
               {"+5", 5},
               {"7x9", 7},
               {"x7", 0},
               {"-", 0},
               {"- 1", 0},
               {"2147483647", 2147483647},
               {"2147483648", 2147483647},
               {"-2147483648", INT32_MIN},
               {"-2147483649", INT32_MIN},
               {"000000000000000000042", 42},
               {"99999999999999999999999", INT32_MAX}};
  for (const Case& c : cases) EXPECT_EQ(leading_int32(c.text), c.value) << '"' << c.text << '"';
  EXPECT_EQ(leading_int32(std::u16string_view(u" 0305")), 305);
  EXPECT_EQ(leading_int32(nullptr), 0);
}

}  // namespace
}  // namespace repcopy
