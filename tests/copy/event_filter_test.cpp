#include "copy/event_filter.h"

#include <gtest/gtest.h>

namespace repcopy {
namespace {

filter_config id_list(uint32_t kind, std::vector<uint32_t> ids) {
  filter_config f;
  f.id_on = true;
  f.id_kind = kind;
  f.ids = std::move(ids);
  return f;
}

TEST(EventFilter, EventIdTest) {
  const struct {
    filter_config filter;
    uint32_t id;
    bool passes;
  } cases[] = {
      {filter_config{}, 4624, true},                 // no list
      {id_list(2, {4624, 4625}), 4625, true},        // white list: listed
      {id_list(2, {4624, 4625}), 4634, false},       // white list: not listed
      {id_list(1, {4624, 4625}), 4625, false},       // black list: listed
      {id_list(1, {4624, 4625}), 4634, true},        // black list: not listed
      {id_list(1, {7, 7}), 7, false},                // listed twice
      {id_list(2, {0}), 0, true},                    // empty white list text gives 0
      {id_list(2, {0xFFFFFFFF}), 0xFFFFFFFF, true},  // -1 as a 32-bit pattern
      {id_list(1, {}), 5, true},                     // empty list, black
      {id_list(2, {}), 5, false},                    // empty list, white
      {id_list(0, {5}), 5, false},                   // unknown kind keeps nothing
      {id_list(0, {5}), 6, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(passes_event_id(c.filter, c.id), c.passes)
        << "kind " << c.filter.id_kind << " id " << c.id;
}

TEST(EventFilter, TimeWindowBoundsAreInclusive) {
  filter_config f;
  EXPECT_TRUE(passes_time(f, 0));
  f.time_from = 100;
  f.time_to = 200;
  EXPECT_TRUE(passes_time(f, 50));  // window off
  f.time_on = true;
  EXPECT_FALSE(passes_time(f, 99));
  EXPECT_TRUE(passes_time(f, 100));
  EXPECT_TRUE(passes_time(f, 200));
  EXPECT_FALSE(passes_time(f, 201));
}

}  // namespace
}  // namespace repcopy
