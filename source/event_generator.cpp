#include "source/event_generator.h"

#include <boost/coroutine2/protected_fixedsize_stack.hpp>
#include <utility>

namespace repcopy {

event_generator::event_generator(producer body) : body_(std::move(body)) {}

// The pull coroutine unwinds an unfinished producer when it is destroyed.
event_generator::~event_generator() = default;

int32_t event_generator::next(full_event& out) {
  if (ended_) return -1;
  try {
    if (!started_) {
      started_ = true;
      // Runs the producer at once, up to its first event or its end.
      pull_.emplace(boost::coroutines2::protected_fixedsize_stack(kStackSize),
                    [this](coroutine::push_type& yield) {
                      event_sink sink = [&yield](const full_event& e) { yield(e); };
                      body_(sink);
                    });
    } else {
      (*pull_)();
    }
  } catch (...) {
    ended_ = true;
    pull_.reset();
    throw;
  }
  if (!*pull_) {
    ended_ = true;
    pull_.reset();
    return -1;
  }
  out = pull_->get();  // moves the event out of the coroutine
  return 0;
}

}  // namespace repcopy
