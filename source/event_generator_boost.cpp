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
