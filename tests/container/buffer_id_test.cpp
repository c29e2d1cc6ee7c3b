#include "container/buffer_id.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "container/number_text.h"

namespace repcopy {
namespace {

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

}  // namespace
}  // namespace repcopy
