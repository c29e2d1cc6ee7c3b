#include "container/event_generator.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace repcopy {
namespace {

// Pushes events with keys 0..count-1; throws before event throw_at.
event_generator::producer counting_producer(uint32_t count, uint32_t throw_at) {
  return [=](const event_sink& sink) {
    for (uint32_t i = 0; i < count; ++i) {
      if (i == throw_at) throw std::runtime_error("producer failed");
      full_event e;
      e.record_key = i;
      sink(e);
    }
  };
}

TEST(EventGenerator, ExceptionReachesTheCallerAndEndsTheGenerator) {
  for (uint32_t throw_at : {0u, 2500u}) {
    event_generator gen(counting_producer(5000, throw_at));
    full_event out;
    for (uint32_t i = 0; i < throw_at; ++i) {
      ASSERT_EQ(gen.next(out), 0);
      ASSERT_EQ(out.record_key, i);
    }
    EXPECT_THROW(gen.next(out), std::runtime_error);
    EXPECT_TRUE(gen.ended());
    EXPECT_EQ(gen.next(out), -1);
  }
}

struct destruction_flag {
  bool* flag;
  ~destruction_flag() { *flag = true; }
};

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
