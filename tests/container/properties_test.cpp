#include "container/properties.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/container/container_bytes.h"
#include "util/hex_dump.h"

namespace repcopy {
namespace {

using test::bytes;

// An image of 20 filler bytes, then property_len and the pairs; the footer spans the image.
class PropertyBlock : public testing::Test {
 protected:
  static constexpr uint64_t kAt = 20;

  void Build(const bytes& pairs, uint64_t claimed_len) {
    image_ = bytes(kAt, 0xAA);
    test::put_u64(image_, claimed_len);
    image_ = test::append(image_, pairs);
    footer_ = footer_record{};
    footer_.footer_offset = 0;
    footer_.footer_len = image_.size();
    footer_.property_offset = kAt;
  }
  void Build(const bytes& pairs) { Build(pairs, pairs.size()); }

  uint64_t Parse() {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    uint64_t r = parse_property_block(footer_, image_);
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return r;
  }

  std::string Dump(size_t end, size_t start = 0) {
    std::ostringstream os;
    hex_dump_to(os, image_, end, start);
    return os.str();
  }

  static bytes Pairs(std::initializer_list<std::pair<std::u16string, std::u16string>> props) {
    bytes b;
    for (const auto& [n, v] : props) {
      test::put_counted(b, n);
      test::put_counted(b, v);
    }
    return b;
  }

  bytes image_;
  footer_record footer_;
  std::string out_, err_;
};

TEST_F(PropertyBlock, PairsFillTheMapAndTheFirstOfTwoNamesWins) {
  bytes pairs = Pairs({{u"b", u"1"}, {u"a", u"2"}, {u"B", u"3"}, {u"b", u"later"}, {u"", u""}});
  Build(pairs);
  EXPECT_EQ(Parse(), pairs.size());
  EXPECT_EQ(footer_.property_len, pairs.size());
  ASSERT_EQ(footer_.properties.size(), 4u);
  auto it = footer_.properties.begin();  // ordered by code units
  EXPECT_EQ(it->first, u"");
  EXPECT_EQ((++it)->first, u"B");
  EXPECT_EQ((++it)->first, u"a");
  EXPECT_EQ(*get_property(footer_, u"b"), u"1");
  EXPECT_TRUE(has_property(footer_, u"a"));
  EXPECT_FALSE(has_property(footer_, u"A"));
  EXPECT_EQ(get_property(footer_, u"c"), nullptr);
  EXPECT_EQ(out_ + err_, "");
}

TEST_F(PropertyBlock, BlockEndingOneByteEarlyIsAWrongLength) {
  bytes pairs = Pairs({{u"EventsCount", u"5"}});
  Build(pairs, pairs.size() - 1);
  EXPECT_EQ(Parse(), 0u);
  EXPECT_EQ(err_, "Wrong property len!!!\n");
  EXPECT_EQ(out_,
            "Wrong property len!!!\nproperty_offset = 20\nproperty_len = " +
                std::to_string(pairs.size() - 1) +
                "\nproperty_offset + property_len = " + std::to_string(20 + pairs.size() - 1) +
                "\nfooter size = " + std::to_string(image_.size()) + "\n" + Dump(image_.size()));
}

TEST_F(PropertyBlock, LengthThatWrapsIsAWrongLength) {
  Build(Pairs({{u"a", u"b"}}), ~uint64_t(0) - 10);
  EXPECT_EQ(Parse(), 0u);
  EXPECT_EQ(err_, "Wrong property len!!!\n");
}

TEST_F(PropertyBlock, NameRunningPastTheEndIsAWrongName) {
  bytes pairs = Pairs({{u"a", u"b"}});
  test::put_u32(pairs, 3);  // a name of 3 units with 2 bytes left
  pairs.push_back('x');
  pairs.push_back(0);
  Build(pairs);
  EXPECT_EQ(Parse(), 0u);
  EXPECT_EQ(err_, "Wrong property name!!!\n");
  EXPECT_EQ(out_, "Wrong property name!!!\n" + Dump(image_.size(), 20));
}

TEST_F(PropertyBlock, NameLengthFieldCutShortIsAWrongName) {
  bytes pairs = Pairs({{u"a", u"b"}});
  pairs.push_back(1);
  pairs.push_back(0);
  Build(pairs);
  EXPECT_EQ(Parse(), 0u);
  EXPECT_EQ(err_, "Wrong property name!!!\n");
}

TEST_F(PropertyBlock, ValueRunningPastTheEndIsAWrongValueNamingTheProperty) {
  bytes pairs;
  test::put_counted(pairs, u"Host");
  test::put_u32(pairs, 0x80000000);  // 2 x length does not fit, nor wraps into fitting
  Build(pairs);
  EXPECT_EQ(Parse(), 0u);
  EXPECT_EQ(err_, "Wrong property value!!!\n");
  EXPECT_EQ(out_,
            "Wrong property value!!! for Host\n" + Dump(image_.size(), 20) + Dump(image_.size()));
}

TEST_F(PropertyBlock, ValueLengthFieldCutShortIsAWrongValue) {
  bytes pairs;
  test::put_counted(pairs, u"Host");
  pairs.push_back(0);
  Build(pairs);
  EXPECT_EQ(Parse(), 0u);
  EXPECT_EQ(err_, "Wrong property value!!!\n");
}

TEST_F(PropertyBlock, EmptyBlockCountsAsFailedWithoutMessage) {
  Build({});
  EXPECT_EQ(Parse(), 0u);
  EXPECT_EQ(out_ + err_, "");
}

TEST_F(PropertyBlock, NumericValuesReadWithTheConversionRules) {
  Build(Pairs({{u"EventsCount", u"00012abc"}, {u"ComputerType", u"0000001A"}}));
  ASSERT_NE(Parse(), 0u);
  EXPECT_EQ(parse_ulong(*get_property(footer_, u"EventsCount"), 10), 12u);
  EXPECT_EQ(parse_ulong(*get_property(footer_, u"ComputerType"), 16), 26u);
}

TEST_F(PropertyBlock, DumpListsNameEqualsValueInMapOrder) {
  Build(Pairs({{u"b", u"2"}, {u"a", u"\u00e9"}}));
  ASSERT_NE(Parse(), 0u);
  testing::internal::CaptureStdout();
  dump_properties(footer_);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "a = \xC3\xA9\nb = 2\n");
}

}  // namespace
}  // namespace repcopy
