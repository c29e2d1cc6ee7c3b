#include "container/properties.h"

#include <gtest/gtest.h>

#include "container/number_text.h"
#include "tests/container/rep_file_bytes.h"

namespace repcopy {
namespace {

using test::bytes;

// An image of 20 filler bytes, then property_len and the pairs; the footer spans the image.
class PropertyBlock : public testing::Test {
 protected:
  uint64_t Parse(const bytes& pairs, uint64_t claimed_len) {
    image_ = test::le().zeros(20).u64(claimed_len).raw(pairs);
    footer_ = footer_record{};
    footer_.footer_len = image_.size();
    footer_.property_offset = 20;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    uint64_t r = parse_property_block(footer_, image_);
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return r;
  }
  uint64_t Parse(const bytes& pairs) { return Parse(pairs, pairs.size()); }

  bytes image_;
  footer_record footer_;
  std::string out_, err_;
};

TEST_F(PropertyBlock, FirstOfTwoNamesWinsAndNumbersReadByTheConversionRules) {
  test::le pairs;
  pairs.counted(u"EventsCount").counted(u"00012abc");
  pairs.counted(u"ComputerType").counted(u"0000001A");
  pairs.counted(u"EventsCount").counted(u"later");
  EXPECT_EQ(Parse(pairs), pairs.b.size());
  EXPECT_EQ(footer_.properties.size(), 2u);
  EXPECT_EQ(parse_ulong(*get_property(footer_, u"EventsCount"), 10), 12u);
  EXPECT_EQ(parse_ulong(*get_property(footer_, u"ComputerType"), 16), 26u);
  EXPECT_EQ(get_property(footer_, u"eventscount"), nullptr);
  EXPECT_EQ(out_ + err_, "");
}

TEST_F(PropertyBlock, BadLengthsAreRejected) {
  const bytes one = test::le().counted(u"EventsCount").counted(u"5");
  const struct {
    bytes pairs;
    uint64_t claimed;
    const char* err;
    const char* out_start;
  } cases[] = {// A block ending one byte early, and a length that wraps.
               {one, one.size() - 1, "Wrong property len!!!\n",
                "Wrong property len!!!\nproperty_offset = 20"},
               {one, ~uint64_t(0) - 10, "Wrong property len!!!\n", "Wrong property len!!!\n"},
               // A name of 3 units with 2 bytes left, and a name length field cut short.
               {test::le().raw(one).u32(3).u16('x'), 0, "Wrong property name!!!\n",
                "Wrong property name!!!\n"},
               {test::le().raw(one).u16(1), 0, "Wrong property name!!!\n", ""},
               // A value whose 2 x length does not fit (nor wraps into fitting), and one cut short.
               {test::le().counted(u"Host").u32(0x80000000), 0, "Wrong property value!!!\n",
                "Wrong property value!!! for Host\n"},
               {test::le().counted(u"Host").u8(0), 0, "Wrong property value!!!\n", ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(Parse(c.pairs, c.claimed ? c.claimed : c.pairs.size()), 0u);
    EXPECT_EQ(err_, c.err);
    EXPECT_EQ(out_.rfind(c.out_start, 0), 0u) << out_;
  }
}

}  // namespace
}  // namespace repcopy
