#include "container/event_generator.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace repcopy {
namespace {

full_event event_with_key(uint32_t key) {
  full_event e;
  e.record_key = key;
  e.description = u"event " + std::u16string(1, char16_t(u'a' + key % 26));
  return e;
}

// Pushes count events with keys 0..count-1; throws before event throw_at when it is below count.
event_generator::producer counting_producer(uint32_t count, uint32_t throw_at = UINT32_MAX) {
  return [=](const event_sink& sink) {
    for (uint32_t i = 0; i < count; ++i) {
      if (i == throw_at) throw std::runtime_error("producer failed");
      sink(event_with_key(i));
    }
  };
}

TEST(EventGenerator, PullsThousandsOfEventsOneAtATimeInOrder) {
  event_generator gen(counting_producer(5000));
  EXPECT_FALSE(gen.started());
  full_event out;
  for (uint32_t i = 0; i < 5000; ++i) {
    ASSERT_EQ(gen.next(out), 0) << i;
    ASSERT_EQ(out, event_with_key(i));
  }
  EXPECT_EQ(gen.next(out), -1);
  EXPECT_TRUE(gen.ended());
  EXPECT_EQ(gen.next(out), -1);  // stays ended
}

TEST(EventGenerator, ProducerWithoutEventsEndsOnFirstCall) {
  event_generator gen(counting_producer(0));
  full_event out;
  EXPECT_EQ(gen.next(out), -1);
  EXPECT_TRUE(gen.started());
  EXPECT_TRUE(gen.ended());
}

TEST(EventGenerator, ExceptionInTheMiddleReachesTheCallerAndEndsTheGenerator) {
  event_generator gen(counting_producer(5000, 2500));
  full_event out;
  for (uint32_t i = 0; i < 2500; ++i) ASSERT_EQ(gen.next(out), 0);
  EXPECT_EQ(out.record_key, 2499u);
  EXPECT_THROW(gen.next(out), std::runtime_error);
  EXPECT_TRUE(gen.ended());
  EXPECT_EQ(gen.next(out), -1);
}

TEST(EventGenerator, ExceptionBeforeTheFirstEventReachesTheCaller) {
  event_generator gen(counting_producer(10, 0));
  full_event out;
  EXPECT_THROW(gen.next(out), std::runtime_error);
  EXPECT_EQ(gen.next(out), -1);
}

struct destruction_flag {
  bool* flag;
  ~destruction_flag() { *flag = true; }
};

TEST(EventGenerator, DestroyingAnUnfinishedGeneratorUnwindsTheProducer) {
  bool unwound = false;
  bool ran_past_yield = false;
  {
    event_generator gen([&](const event_sink& sink) {
      destruction_flag guard{&unwound};
      sink(event_with_key(1));
      sink(event_with_key(2));
      ran_past_yield = true;
    });
    full_event out;
    ASSERT_EQ(gen.next(out), 0);
    EXPECT_FALSE(unwound);
  }
  EXPECT_TRUE(unwound);
  EXPECT_FALSE(ran_past_yield);
}

TEST(EventGenerator, NeverStartedGeneratorDoesNotRunTheProducer) {
  bool ran = false;
  {
    event_generator gen([&](const event_sink&) { ran = true; });
  }
  EXPECT_FALSE(ran);
}

TEST(EventGenerator, ProducerCatchAllDoesNotSwallowTheUnwind) {
  // A producer that catches every exception of its own work, the way the file reader guards its
  // event building, must still let the unwinding of a destroyed generator through.
  bool unwound = false;
  {
    event_generator gen([&](const event_sink& sink) {
      destruction_flag guard{&unwound};
      for (uint32_t i = 0; i < 3; ++i) {
        full_event e;
        try {
          e = event_with_key(i);
        } catch (...) {
          return;
        }
        sink(e);
      }
    });
    full_event out;
    ASSERT_EQ(gen.next(out), 0);
  }
  EXPECT_TRUE(unwound);
}

}  // namespace
}  // namespace repcopy
