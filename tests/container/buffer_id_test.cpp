#include "container/buffer_id.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "container/number_text.h"

namespace repcopy {
namespace {

TEST(ClassifyByName, KeysBeforeTheFirstDot) {
  const std::pair<const char16_t*, int32_t> cases[] = {
      {u"0_cat.cache", 0},
      {u"0_comp.cache", 1},
      {u"0_desc.cache", 2},
      {u"0_events.dat", 3},
      {u"0_first.pos", 4},
      {u"0_ins.cache", 5},
      {u"0_last.pos", 6},
      {u"0_record.keys", 7},
      {u"0_src.cache", 8},
      {u"0_user.cache", 9},
      {u"0_nfields.dat", 10},
      {u"0_nf_names.cache", 11},
      {u"0_nf_values.cache", 12},
      {u"filter.dat", 13},
      {u"filters.stat", 14},
      {u"12_events.dat", 3},
      {u"ents.dat.lter.x", 3},
      {u"cord.", 7},
      // No id: no ".", "." below position 4 (the first four units are compared), case matters.
      {u"0_events", -9},
      {u"filters", -9},
      {u"abc.lter", -9},
      {u"_ca.t", -9},
      {u"a.b", -9},
      {u"", -9},
      {u"0_EVENTS.dat", -9},
      {u"0_event.dat", -9},
  };
  for (const auto& [name, id] : cases) {
    EXPECT_EQ(classify_by_name(name).value_or(-9), id) << std::u16string(name).size();
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

TEST(ParseUlong, DecimalHexadecimalAndTheConversionErrors) {
  const struct {
    const char16_t* text;
    int base;
    uint32_t value;
  } cases[] = {{u"00012abc", 10, 12},           {u"0000001A", 16, 26}, {u"  5", 10, 5},
               {u"4294967295", 10, 0xFFFFFFFF}, {u"0x1A", 16, 26},     {u"-1", 10, 0xFFFFFFFF}};
  for (const auto& c : cases) EXPECT_EQ(parse_ulong(c.text, c.base), c.value);
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
