#pragma once
// event_generator's stack on POSIX systems; included by source/event_generator.cpp only.

#include <boost/coroutine2/coroutine.hpp>
#include <boost/coroutine2/protected_fixedsize_stack.hpp>
#include <utility>

#include "source/event_generator.h"

namespace repcopy {

// A Boost.Coroutine2 pull coroutine; it unwinds an unfinished producer when it is destroyed.
class event_generator::stack {
 public:
  // The producer hands out a pointer to its event; the consumer swaps it with its own before it
  // resumes the producer.
  using coroutine = boost::coroutines2::coroutine<full_event*>;

  // Runs the producer at once, up to its first event or its end.
  explicit stack(const producer& body)
      : pull_(boost::coroutines2::protected_fixedsize_stack(kStackSize),
              [&body](coroutine::push_type& yield) {
                event_sink sink = [&yield](full_event& e) { yield(&e); };
                body(sink);
              }) {}

  void resume() { pull_(); }
  bool has_event() const { return bool(pull_); }
  full_event& event() { return *pull_.get(); }

 private:
  coroutine::pull_type pull_;
};

}  // namespace repcopy
