// The pull generator on each system's stack switching (Boost.Context, Windows fibers).
#include "source/event_generator.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace repcopy {
namespace {

full_event numbered(uint32_t n) {
  full_event e;
  e.record_key = n;
  return e;
}

// The sink takes its event by reference and may move it out.
void push(const event_sink& sink, uint32_t n) {
  full_event e = numbered(n);
  sink(e);
}

TEST(EventGenerator, EventsInOrderThenEndOnEveryLaterCall) {
  event_generator generator([](const event_sink& sink) {
    for (uint32_t n = 1; n <= 3; ++n) push(sink, n);
  });
  full_event e;
  for (uint32_t n = 1; n <= 3; ++n) {
    ASSERT_EQ(generator.next(e), 0);
    EXPECT_EQ(e.record_key, n);
  }
  EXPECT_EQ(generator.next(e), -1);
  EXPECT_EQ(generator.next(e), -1);
  EXPECT_TRUE(generator.ended());
}

TEST(EventGenerator, ProducerExceptionReachesTheCallerOnce) {
  event_generator generator([](const event_sink& sink) {
    push(sink, 1);
    throw std::runtime_error("walk failed");
  });
  full_event e;
  ASSERT_EQ(generator.next(e), 0);
  EXPECT_THROW(generator.next(e), std::runtime_error);
  EXPECT_EQ(generator.next(e), -1);
}

// Destroying a suspended generator runs the destructors on the producer's stack, and the
// producer goes no further.
TEST(EventGenerator, UnfinishedProducerIsUnwound) {
  struct flag_on_exit {
    bool& flag;
    ~flag_on_exit() { flag = true; }
  };
  bool unwound = false;
  int pushed = 0;
  {
    event_generator generator([&](const event_sink& sink) {
      flag_on_exit guard{unwound};
      for (uint32_t n = 1; n <= 5; ++n, ++pushed) push(sink, n);
    });
    full_event e;
    ASSERT_EQ(generator.next(e), 0);
    EXPECT_FALSE(unwound);
  }
  EXPECT_TRUE(unwound);
  EXPECT_EQ(pushed, 0);
}

// The event is built outside the recursion, so each level holds little more than its frame.
[[gnu::noinline]] void push_seven(const event_sink& sink) { push(sink, 7); }

// Recursion that uses a quarter of the stack fits (sanitizer builds make frames larger); the walk
// keeps far less on it.
[[gnu::noinline]] int recurse(int depth, const event_sink& sink) {
  volatile char frame[256] = {};
  if (depth == 0) {
    push_seven(sink);
    return frame[0];
  }
  return recurse(depth - 1, sink) + frame[depth % 256];
}

TEST(EventGenerator, AQuarterOfTheStackIsUsable) {
  event_generator generator(
      [](const event_sink& sink) { recurse(int(event_generator::kStackSize / 4 / 320), sink); });
  full_event e;
  ASSERT_EQ(generator.next(e), 0);
  EXPECT_EQ(e.record_key, 7u);
  EXPECT_EQ(generator.next(e), -1);
}

#if !defined(__SANITIZE_ADDRESS__)
// Overflowing the producer's stack hits its guard and ends the process, never memory beside it.
// (16 MiB of frames: Wine gives every stack at least 1 MiB. How the process ends differs by
// system, a signal here, an exit status of the system's choosing there; that it ends is the test.)
TEST(EventGeneratorDeathTest, StackOverflowEndsTheProcess) {
  EXPECT_EXIT(
      {
        event_generator generator([](const event_sink& sink) { recurse(1 << 16, sink); });
        full_event e;
        generator.next(e);
      },
      [](int) { return true; }, "");
}
#endif

}  // namespace
}  // namespace repcopy
