#include "source/event_generator.h"

#include <utility>

// The stack switching of this system: a native fiber on Windows, Boost.Coroutine2 elsewhere.
// Both define event_generator::stack with the same members.
#if defined(_WIN32)
#include "source/event_generator_fiber.h"
#else
#include "source/event_generator_boost.h"
#endif

namespace repcopy {

event_generator::event_generator(producer body) : body_(std::move(body)) {}

event_generator::~event_generator() = default;

int32_t event_generator::next(full_event& out) {
  if (ended_) return -1;
  try {
    if (!started_) {
      started_ = true;
      stack_ = std::make_unique<stack>(body_);
    } else {
      stack_->resume();
    }
  } catch (...) {
    ended_ = true;
    stack_.reset();
    throw;
  }
  if (!stack_->has_event()) {
    ended_ = true;
    stack_.reset();
    return -1;
  }
  using std::swap;
  swap(out, stack_->event());
  return 0;
}

}  // namespace repcopy
