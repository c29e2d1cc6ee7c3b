// Sanitizer builds only: AddressSanitizer cannot follow the assembler stack switches of the
// default coroutine back end, so those builds switch stacks with ucontext and tell the sanitizer
// about each switch (BOOST_USE_UCONTEXT, BOOST_USE_ASAN; see CMakeLists.txt). The system's
// Boost.Context library is built for the default back end and lacks the one definition the
// ucontext back end needs: the per-thread pointer to the running activation record, which starts
// at a record standing for the thread's own stack.
#if defined(BOOST_USE_UCONTEXT)

#include <boost/context/fiber_ucontext.hpp>
#include <memory>

namespace boost::context::detail {

namespace {

struct thread_records {
  std::unique_ptr<fiber_activation_record> thread_stack =
      std::make_unique<fiber_activation_record>();
  fiber_activation_record* running = thread_stack.get();
};

}  // namespace

fiber_activation_record*& fiber_activation_record::current() noexcept {
  thread_local thread_records records;
  return records.running;
}

}  // namespace boost::context::detail

#endif
