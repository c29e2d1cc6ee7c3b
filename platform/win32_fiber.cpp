#include <windows.h>

#include <system_error>

#include "platform/fiber.h"

namespace repcopy::platform {

fiber::fiber(size_t stack_size, void (*entry)(void*), void* arg) {
  // Switching needs the calling thread to be a fiber itself; it stays one.
  if (!IsThreadAFiber() && ConvertThreadToFiber(nullptr) == nullptr) {
    throw std::system_error(int(GetLastError()), std::system_category(), "ConvertThreadToFiber");
  }
  // Commit 0: the system's default first page; the rest of the reservation is committed on
  // demand below a guard page, up to stack_size.
  self_ = CreateFiberEx(0, stack_size, FIBER_FLAG_FLOAT_SWITCH,
                        reinterpret_cast<LPFIBER_START_ROUTINE>(entry), arg);
  if (self_ == nullptr) {
    throw std::system_error(int(GetLastError()), std::system_category(), "CreateFiberEx");
  }
}

fiber::~fiber() {
  if (self_ != nullptr) DeleteFiber(self_);
}

void fiber::enter() {
  caller_ = GetCurrentFiber();
  SwitchToFiber(self_);
}

void fiber::leave() { SwitchToFiber(caller_); }

}  // namespace repcopy::platform
