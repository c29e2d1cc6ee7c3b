#pragma once
// A function run on a stack of its own, entered and left by explicit switches on one thread: a
// native fiber (Windows only; other systems switch stacks through Boost.Context).

#include <cstddef>

namespace repcopy::platform {

class fiber {
 public:
  // entry(arg) runs on the new stack from the first enter() on and must never return: at its
  // end it calls leave() for good. The stack reserves stack_size bytes; touching memory past
  // them hits the guard region and ends the process (stack overflow) instead of overwriting
  // other memory. Throws std::system_error when the system cannot make the fiber.
  fiber(size_t stack_size, void (*entry)(void*), void* arg);
  ~fiber();
  fiber(const fiber&) = delete;
  fiber& operator=(const fiber&) = delete;

  // Runs the fiber until it calls leave(); returns to the caller then.
  void enter();
  // From inside the fiber: back to the one that called enter().
  void leave();

 private:
  void* self_ = nullptr;
  void* caller_ = nullptr;
};

}  // namespace repcopy::platform
