#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "container/buffer_id.h"
#include "container/number_text.h"
#include "container/properties.h"
#include "tests/container/rep_file_bytes.h"
#include "tests/test_console.h"

namespace repcopy {
namespace {

using test::bytes;

TEST(ClassifyByName, KeysBeforeTheFirstDot) {
  const char16_t* by_id[] = {u"0_cat.cache",       u"0_comp.cache",  u"0_desc.cache",
                             u"0_events.dat",      u"0_first.pos",   u"0_ins.cache",
                             u"0_last.pos",        u"0_record.keys", u"0_src.cache",
                             u"0_user.cache",      u"0_nfields.dat", u"0_nf_names.cache",
                             u"0_nf_values.cache", u"filter.dat",    u"filters.stat"};
  for (int32_t id = 0; id < 15; ++id) EXPECT_EQ(classify_by_name(by_id[id]).value_or(-9), id);
  EXPECT_EQ(classify_by_name(u"12_events.dat").value_or(-9), 3);
  EXPECT_EQ(classify_by_name(u"ents.dat.lter.x").value_or(-9), 3);  // only the first "." counts
  EXPECT_EQ(classify_by_name(u"cord.").value_or(-9), 7);
  // No ".", "." below position 4 (the first four units are compared), keys are case-sensitive.
  for (const char16_t* name : {u"0_events", u"filters", u"abc.lter", u"_ca.t", u"a.b", u"",
                               u"0_EVENTS.dat", u"0_event.dat"}) {
    EXPECT_FALSE(classify_by_name(name).has_value()) << std::u16string(name).size();
  }
}

TEST(ClassifyByContent, MagicSignatureAndOther) {
  const uint8_t raw_file[] = {0x7B, 0x19, 0x35, 0x19, 0xB9};
  const uint8_t nested[] = {'E', 'D', 'R', 'P'};
  const uint8_t only_ed[] = {'E', 'D', 'R', 'X'};
  const uint8_t short_magic[] = {0x7B, 0x19, 0x35};
  EXPECT_EQ(classify_by_content(raw_file), -2);
  EXPECT_EQ(classify_by_content(nested), -1);
  EXPECT_EQ(classify_by_content(only_ed), -3);
  EXPECT_EQ(classify_by_content(short_magic), -3);
  EXPECT_EQ(classify_by_content({}), -3);
}

template <class Error>
void expect_error(auto call, const char* text) {
  try {
    call();
    ADD_FAILURE() << "no exception, expected " << text;
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), text);
  }
}

TEST(PartIndex, DigitsBeforeTheFirstUnderscoreAndTheConversionErrors) {
  const std::pair<const char16_t*, int32_t> cases[] = {
      {u"12_events.dat", 12},       {u"  +7_x", 7},
      {u"-3_cat.cache", -3},        {u"7abc_x", 7},
      {u"2147483647_x", INT32_MAX}, {u"-2147483648_x", INT32_MIN}};
  for (const auto& [name, index] : cases) EXPECT_EQ(part_index_of(name), index);
  for (const char16_t* name : {u"x_events.dat", u"_events.dat", u"", u"- 1_a", u"\u0661_a"}) {
    expect_error<std::invalid_argument>([&] { part_index_of(name); }, "invalid stoi argument");
  }
  for (const char16_t* name : {u"2147483648_x", u"-2147483649_x"}) {
    expect_error<std::out_of_range>([&] { part_index_of(name); }, "stoi argument out of range");
  }
}

TEST(ParseUlong, ConversionErrors) {
  for (const char16_t* text : {u"", u"abc", u"-"}) {
    expect_error<std::invalid_argument>([&] { parse_ulong(text, 10); }, "invalid stoul argument");
  }
  for (const char16_t* text : {u"4294967296", u"-4294967296"}) {
    expect_error<std::out_of_range>([&] { parse_ulong(text, 10); }, "stoul argument out of range");
  }
  expect_error<std::out_of_range>([] { parse_ulong(u"100000000", 16); },
                                  "stoul argument out of range");
}

struct parsed {
  uint64_t rc;
  footer_record footer;
  std::string out, err;
};
// An image of 20 filler bytes, then property_len and the pairs; the footer spans the image.
parsed parse(const bytes& pairs, uint64_t claimed_len = 0) {
  const bytes image = test::le().zeros(20).u64(claimed_len ? claimed_len : pairs.size()).raw(pairs);
  parsed p{0, {}, "", ""};
  p.footer.footer_len = image.size();
  p.footer.property_offset = 20;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  p.rc = parse_property_block(test_console(), p.footer, image);
  p.out = testing::internal::GetCapturedStdout();
  p.err = testing::internal::GetCapturedStderr();
  return p;
}

TEST(PropertyBlock, FirstOfTwoNamesWinsAndNumbersReadByTheConversionRules) {
  test::le pairs;
  pairs.counted(u"EventsCount").counted(u"00012abc");
  pairs.counted(u"ComputerType").counted(u"0000001A");
  pairs.counted(u"EventsCount").counted(u"later");
  const parsed p = parse(pairs);
  EXPECT_EQ(p.rc, pairs.b.size());
  EXPECT_EQ(p.footer.properties.size(), 2u);
  EXPECT_EQ(parse_ulong(*get_property(p.footer, u"EventsCount"), 10), 12u);
  EXPECT_EQ(parse_ulong(*get_property(p.footer, u"ComputerType"), 16), 26u);
  EXPECT_EQ(get_property(p.footer, u"eventscount"), nullptr);
  EXPECT_EQ(p.out + p.err, "");
}

TEST(PropertyBlock, BadLengthsAreRejected) {
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
    const parsed p = parse(c.pairs, c.claimed);
    EXPECT_EQ(p.rc, 0u);
    EXPECT_EQ(p.err, c.err);
    EXPECT_EQ(p.out.rfind(c.out_start, 0), 0u) << p.out;
  }
}

}  // namespace
}  // namespace repcopy
