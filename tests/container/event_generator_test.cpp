#include "container/event_generator.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace repcopy {
namespace {

struct destruction_flag {
  bool* flag;
  ~destruction_flag() { *flag = true; }
};

// An exception raised by a producer reaching the caller is shown by the file source tests.
TEST(EventGenerator, DestroyingAnUnfinishedGeneratorUnwindsTheProducer) {
  // A producer that catches every exception of its own work, the way the file reader guards its
  // event building, must still let the unwinding of a destroyed generator through.
  bool unwound = false, ran_past_yield = false, never_started_ran = false;
  {
    event_generator gen([&](const event_sink& sink) {
      destruction_flag guard{&unwound};
      for (int i = 0; i < 2; ++i) {
        try {
          sink(full_event{});
        } catch (const std::exception&) {
          return;
        }
      }
      ran_past_yield = true;
    });
    event_generator never_started([&](const event_sink&) { never_started_ran = true; });
    full_event out;
    ASSERT_EQ(gen.next(out), 0);
    EXPECT_FALSE(unwound);
  }
  EXPECT_TRUE(unwound);
  EXPECT_FALSE(ran_past_yield);
  EXPECT_FALSE(never_started_ran);
}

}  // namespace
}  // namespace repcopy
