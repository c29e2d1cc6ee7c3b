// Under AddressSanitizer the first coroutine stack switch of a process prints a one-time notice
// on standard error. Switch once at start-up, so that the notice never lands in the output that
// a test captures and compares.
#if defined(__SANITIZE_ADDRESS__)

#include "source/event_generator.h"

namespace repcopy {
namespace {

const bool kStackSwitchNoticePrinted = [] {
  event_generator generator([](const event_sink& sink) {
    full_event e;
    sink(e);
  });
  full_event e;
  generator.next(e);
  return true;
}();

}  // namespace
}  // namespace repcopy

#endif
