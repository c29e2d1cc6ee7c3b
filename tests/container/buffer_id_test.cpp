#include "container/buffer_id.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "container/number_text.h"

namespace repcopy {
namespace {

TEST(ClassifyByName, EveryItemNameAndKeyGivesItsId) {
  const struct {
    const char16_t* name;
    int32_t id;
  } cases[] = {
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
      // The key alone, the key at the start, and only the first "." counts.
      {u"_cat.x", 0},
      {u"ents.dat.lter.x", 3},
      {u"12_events.dat", 3},
  };
  for (const auto& c : cases) {
    auto id = classify_by_name(c.name);
    ASSERT_TRUE(id.has_value()) << std::u16string(c.name).size();
    EXPECT_EQ(*id, c.id);
  }
}

TEST(ClassifyByName, NamesWithoutKeyGiveNoId) {
  const char16_t* cases[] = {
      u"0_events",      // no "."
      u"filters",       // no "."
      u"lter",          // the key itself without "."
      u"abc.lter",      // "." below position 4: the first four units "abc." are compared
      u"ent.s",         // "." at 3
      u".cat",          // "." at 0, first four units ".cat"
      u"a.b",           // shorter than four units
      u"",              //
      u"0_EVENTS.dat",  // keys are case-sensitive
      u"0_event.dat",   // "vent"
  };
  for (const char16_t* name : cases) {
    EXPECT_FALSE(classify_by_name(name).has_value()) << std::u16string(name).size();
  }
}

TEST(ClassifyByName, DotBelowPositionFourComparesTheFirstFourUnits) {
  // "_ca.t": "." at 3, the first four units "_ca." do not match "_cat".
  EXPECT_FALSE(classify_by_name(u"_ca.t").has_value());
  // "cord" before the first "." at 4.
  EXPECT_EQ(classify_by_name(u"cord.").value_or(-9), 7);
}

TEST(ClassifyByContent, MagicSignatureAndOther) {
  const uint8_t raw_file[] = {0x7B, 0x19, 0x35, 0x19, 0xB9};
  const uint8_t nested[] = {'E', 'D', 'R', 'P'};
  const uint8_t only_ed[] = {'E', 'D', 'R', 'X'};
  const uint8_t other[] = {0, 0, 0, 0};
  const uint8_t short_magic[] = {0x7B, 0x19, 0x35};
  EXPECT_EQ(classify_by_content(raw_file), -2);
  EXPECT_EQ(classify_by_content(nested), -1);
  EXPECT_EQ(classify_by_content(only_ed), -3);
  EXPECT_EQ(classify_by_content(other), -3);
  EXPECT_EQ(classify_by_content(short_magic), -3);
  EXPECT_EQ(classify_by_content({}), -3);
}

TEST(PartIndex, DigitsBeforeTheFirstUnderscore) {
  const struct {
    const char16_t* name;
    int32_t index;
  } cases[] = {
      {u"0_events.dat", 0},
      {u"12_events.dat", 12},
      {u"  +7_x", 7},
      {u"-3_cat.cache", -3},
      {u"42", 42},
      {u"7abc_x", 7},
      {u"2147483647_x", INT32_MAX},
      {u"-2147483648_x", INT32_MIN},
      {u"\t\n5_a_b", 5},
      {u"0012_x", 12},
  };
  for (const auto& c : cases) EXPECT_EQ(part_index_of(c.name), c.index);
}

TEST(PartIndex, NoDigitOrOutOfRangeThrowsTheConversionErrors) {
  for (const char16_t* name : {u"x_events.dat", u"_events.dat", u"filter.dat", u"", u"+_a",
                               u"- 1_a", u"\u0661_a" /* non-ASCII digit */}) {
    try {
      part_index_of(name);
      ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "invalid stoi argument");
    }
  }
  for (const char16_t* name : {u"2147483648_x", u"-2147483649_x", u"99999999999999999999999_x"}) {
    try {
      part_index_of(name);
      ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "stoi argument out of range");
    }
  }
}

TEST(ParseUlong, DecimalAndHexadecimalValues) {
  const struct {
    const char16_t* text;
    int base;
    uint32_t value;
  } cases[] = {
      {u"00012abc", 10, 12},
      {u"0000001A", 16, 26},
      {u"0", 10, 0},
      {u"  5", 10, 5},
      {u"+9", 10, 9},
      {u"4294967295", 10, 0xFFFFFFFF},
      {u"FFFFFFFF", 16, 0xFFFFFFFF},
      {u"ffff", 16, 0xFFFF},
      {u"0x1A", 16, 26},
      {u"0xZ", 16, 0},
      {u"1A", 10, 1},
      {u"-1", 10, 0xFFFFFFFF},
      {u"00000000000000000000042", 10, 42},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parse_ulong(std::u16string(c.text), c.base), c.value)
        << std::u16string(c.text).size();
  }
}

TEST(ParseUlong, FailuresCarryTheConversionMessages) {
  for (const char16_t* text : {u"", u"abc", u" ", u"-", u"G"}) {
    try {
      parse_ulong(text, text[0] == u'G' ? 16 : 10);
      ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "invalid stoul argument");
    }
  }
  const struct {
    const char16_t* text;
    int base;
  } too_big[] = {{u"4294967296", 10}, {u"100000000", 16}, {u"-4294967296", 10}};
  for (const auto& c : too_big) {
    try {
      parse_ulong(c.text, c.base);
      ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "stoul argument out of range");
    }
  }
}

}  // namespace
}  // namespace repcopy
