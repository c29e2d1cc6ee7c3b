#pragma once
// event_generator: runs a producer of events on a stack of its own and hands the events out one
// at a time. The stack switching is the system's: a Boost.Coroutine2 pull coroutine on POSIX
// systems (event_generator_boost.h), a native fiber on Windows (event_generator_fiber.h). The
// producer pushes each event into a sink; the push suspends it until the consumer asks for the next
// event, so a producer that walks a whole repository keeps its place without holding its events in
// memory.
//
// An exception thrown by the producer ends it and reappears in the caller of next(). Destroying
// a generator whose producer has not finished unwinds the producer's stack (its destructors run).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "model/full_event.h"

namespace repcopy {

// Receives one event at a time. The receiver may move the event's contents out, or swap them
// with an event of its own: the producer does not look at an event again once it has handed it
// over, but it may build its next event into the same object and reuse the memory it then holds.
using event_sink = std::function<void(full_event&)>;

class event_generator {
 public:
  // Size of the producer's stack. Producers must keep large data on the heap. The stack ends in
  // a guard page, so an overflow stops the process instead of overwriting other memory.
  static constexpr size_t kStackSize = 64 * 1024;

  using producer = std::function<void(const event_sink&)>;

  explicit event_generator(producer body);
  ~event_generator();
  event_generator(const event_generator&) = delete;
  event_generator& operator=(const event_generator&) = delete;

  // The first call starts the producer, later calls resume it. 0 with the next event swapped into
  // out (the producer gets out's old contents, and their memory, back); -1 once the producer has
  // ended (also on every later call).
  int32_t next(full_event& out);

  bool started() const { return started_; }
  bool ended() const { return ended_; }

 private:
  class stack;  // the producer's stack and the switches into and out of it

  producer body_;
  std::unique_ptr<stack> stack_;
  bool started_ = false;
  bool ended_ = false;
};

}  // namespace repcopy
