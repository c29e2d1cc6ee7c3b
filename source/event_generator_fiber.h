#pragma once
// event_generator's stack on Windows; included by source/event_generator.cpp only.

#include <exception>
#include <utility>

#include "platform/fiber.h"
#include "source/event_generator.h"

namespace repcopy {

// The producer on a native fiber. The producer hands out a pointer to its event and switches back;
// the caller swaps the event with its own before it resumes the producer.
class event_generator::stack {
 public:
  // Runs the producer at once, up to its first event or its end.
  explicit stack(const producer& body) : body_(body), fiber_(kStackSize, &stack::run, this) {
    resume();
  }

  // An unfinished producer is unwound: resumed with an exception thrown at its suspension point,
  // so the destructors on its stack run before the stack goes.
  ~stack() {
    if (!finished_) {
      cancelled_ = true;
      fiber_.enter();
    }
  }

  // Runs the producer up to its next event or its end; its exception comes back here.
  void resume() {
    event_ = nullptr;
    fiber_.enter();
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  }

  bool has_event() const { return event_ != nullptr; }
  full_event& event() const { return *event_; }

 private:
  struct unwind {};  // thrown at a suspension point when the generator goes away

  static void run(void* self) { static_cast<stack*>(self)->body(); }

  void body() {
    try {
      const event_sink sink = [this](full_event& e) {
        if (cancelled_) throw unwind{};  // a producer that swallowed the unwind is not resumed
        event_ = &e;
        fiber_.leave();
        if (cancelled_) throw unwind{};
      };
      body_(sink);
    } catch (const unwind&) {
    } catch (...) {
      if (!cancelled_) error_ = std::current_exception();
    }
    finished_ = true;
    event_ = nullptr;
    for (;;) fiber_.leave();  // a fiber never returns from its entry
  }

  const producer& body_;
  platform::fiber fiber_;
  full_event* event_ = nullptr;
  std::exception_ptr error_;
  bool finished_ = false;
  bool cancelled_ = false;
};

}  // namespace repcopy
