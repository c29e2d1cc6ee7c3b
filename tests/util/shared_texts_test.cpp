// The hex dump and the GUID, time and error texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/test_console.h"
#include "util/error_text.h"
#include "util/guid.h"
#include "util/hex_dump.h"
#include "util/time_text.h"

namespace repcopy {
namespace {

// The hex dump on standard output, from start to end.
std::string dump(const std::vector<uint8_t>& data, size_t end, size_t start = 0) {
  testing::internal::CaptureStdout();
  hex_dump(test_console(), data, end, start);
  return testing::internal::GetCapturedStdout();
}

TEST(HexDump, LinesOfSixteenWithTheTextAtColumnSixtyOne) {
  std::vector<uint8_t> data(32);
  for (size_t i = 0; i < 32; ++i) data[i] = uint8_t(0x61 + i);  // "abc..." up to 0x80
  std::vector<uint8_t> twenty(data.begin(), data.begin() + 16);
  for (uint8_t b : {0x00, 0x1F, 0x41, 0xFF}) twenty.push_back(b);
  const std::string line0 =
      "00000000:  61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70   abcdefghijklmnop\n";
  // A line that shows only its offset: 17 empty columns before the (empty) text.
  auto offset_only = [](const char* offset) {
    return offset + (": " + std::string(51, ' ')) + "\n";
  };
  const std::tuple<std::vector<uint8_t>, size_t, size_t, std::string> cases[] = {
      {twenty, 20, 0, line0 + "00000010:  00 1F 41 FF" + std::string(39, ' ') + "..A\xFF\n"},
      {data, 16, 5,
       "00000000: " + std::string(15, ' ') + " 66 67 68 69 6A 6B 6C 6D 6E 6F 70" +
           std::string(8, ' ') + "fghijklmnop\n" + offset_only("00000010")},
      {data, 32, 0,
       line0 +
           "00000010:  71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F 80   qrstuvwxyz{|}~\x7F\x80\n" +
           offset_only("00000020")},
      {{}, 0, 0, offset_only("00000000")},
      {std::vector<uint8_t>(data.begin(), data.begin() + 4), 1000, 0,
       "00000000:  61 62 63 64" + std::string(39, ' ') + "abcd\n"}};  // end clamped to the data
  auto rule = [](char c) {
    return std::string(34, c) + " " + std::string(25, c) + " " + std::string(16, c) + "\n";
  };
  for (const auto& [bytes, end, start, lines] : cases)
    EXPECT_EQ(dump(bytes, end, start), rule('-') + lines + rule('=')) << end << " " << start;
  EXPECT_EQ(dump(data, 2, 3), dump(data, 2, 2));  // start past end: nothing shown
}

// A long range shows its first and last 256 bytes, what was left out and its length: a damaged
// file of hundreds of megabytes must not flood the console.
TEST(HexDump, LongRangeShowsOnlyItsEdges) {
  std::vector<uint8_t> data(2000, 0x41);
  const std::string out = dump(data, 2000);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 37);  // 2 rules, 16 + 17 rows, 2 notes
  EXPECT_NE(out.find("\n000000F0: "), std::string::npos);
  EXPECT_EQ(out.find("\n00000100: "), std::string::npos);
  EXPECT_NE(out.find("\n... 1488 bytes not shown ...\n000006D0: "), std::string::npos);
  EXPECT_EQ(out.find("\n000006C0: "), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 25), "total length: 2000 bytes\n");
  EXPECT_EQ(dump(data, 1512, 1000).find("not shown"), std::string::npos);  // 512: all of it
  EXPECT_NE(dump(data, 1513, 1000).find("\n... 1 bytes not shown ...\n"), std::string::npos);
}

TEST(GuidText, UpperCaseFieldsInFileOrder) {
  EXPECT_EQ(guid_text(guid{}), "00000000-0000-0000-0000-000000000000");
  const uint8_t bytes[16] = {0x7B, 0x19, 0x35, 0x19, 0xB9, 0xAB, 0xA5, 0x4D,
                             0xA7, 0x09, 0xEA, 0x27, 0x19, 0xE4, 0xF3, 0x64};
  const guid g = guid_from_bytes(bytes);
  EXPECT_EQ(guid_text(g), "1935197B-ABB9-4DA5-A709-EA2719E4F364");
  EXPECT_EQ(guid_compact_text(g), "1935197BABB94DA5A709EA2719E4F364");
  EXPECT_EQ(std::memcmp(guid_bytes(g).data(), bytes, 16), 0);
  guid a, b;  // fresh GUIDs: random, version 4
  ASSERT_TRUE(make_guid(a) && make_guid(b));
  EXPECT_EQ(guid_text(a)[14], '4');
  EXPECT_NE(guid_text(a), guid_text(b));
}

TEST(TimeText, ClassicFourteenDigitSpacedAndIsoFormsInUtc) {
  const std::tuple<uint32_t, const char*, const char*, const char*, const char*> cases[] = {
      {0, "Thu Jan 01 00:00:00 1970", "19700101000000", "1970-01-01 00:00:00 UTC",
       "1970-01-01T00:00:00Z"},
      {951782400, "Tue Feb 29 00:00:00 2000", "20000229000000", "2000-02-29 00:00:00 UTC",
       "2000-02-29T00:00:00Z"},
      {0xFFFFFFFF, "Sun Feb 07 06:28:15 2106", "21060207062815", "2106-02-07 06:28:15 UTC",
       "2106-02-07T06:28:15Z"}};
  for (const auto& [seconds, text, digits, spaced, iso] : cases) {
    EXPECT_EQ(time_text(seconds), text);
    EXPECT_EQ(time14_text(seconds), digits);
    EXPECT_EQ(utc_text(seconds), spaced);
    EXPECT_EQ(utc_text(seconds, utc_form::iso), iso);
  }
  EXPECT_EQ(filetime_to_seconds(116444736000000000ULL + 12345678), 1u);  // truncated
  EXPECT_EQ(seconds_to_filetime(1551807730), 116444736000000000ULL + 15518077300000000ULL);
}

// Damaged position files can hold any 64-bit time; a fuzzer once found an overflow here.
TEST(TimeText, BeforeTheEpochAndAtTheExtremesOfSixtyFourBits) {
  EXPECT_EQ(time_text(-1), "Wed Dec 31 23:59:59 1969");
  EXPECT_EQ(time_text(-86400), "Wed Dec 31 00:00:00 1969");
  EXPECT_EQ(time_text(-86401), "Tue Dec 30 23:59:59 1969");
  // Only that they are formatted without undefined behaviour (checked under the sanitizers).
  EXPECT_FALSE(time_text(std::numeric_limits<int64_t>::min()).empty());
  EXPECT_FALSE(time_text(std::numeric_limits<int64_t>::max()).empty());
}

TEST(ErrorText, KnownAndUnknownErrors) {
  // Code 2 is "file not found" on both systems; the sentence is the system's own.
  ASSERT_NE(platform::system_error_message(2), "");
  EXPECT_EQ(error_text(2), platform::system_error_message(2) + " 2 (0x2)");
  const int unknown = platform::kWindows ? 99999 : 1234;
  EXPECT_EQ(platform::system_error_message(unknown), "");
  EXPECT_EQ(error_text(unknown), " code = " + std::to_string(unknown) + " (0x" +
                                     (platform::kWindows ? "1869f" : "4d2") + ")");
  platform::set_last_error(13);
  EXPECT_EQ(error_text(), platform::system_error_message(13) + " 13 (0xd)");
}

}  // namespace
}  // namespace repcopy
