#if !defined(_WIN32)
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <iostream>

#include "platform/process.h"

namespace repcopy::platform {

namespace {

std::atomic<bool> stop_flag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void note_stop_signal(int) { stop_flag.store(true, std::memory_order_relaxed); }

bool write_all(int descriptor, std::string_view text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(descriptor, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

}  // namespace

void install_stop_handlers() {
  struct sigaction action{};
  action.sa_handler = note_stop_signal;
  sigemptyset(&action.sa_mask);
  // Interrupted calls restart, so no file call sees EINTR; the second signal is the default one.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool stop_requested() { return stop_flag.load(std::memory_order_relaxed); }
void request_stop() { stop_flag.store(true); }
void clear_stop_request() { stop_flag.store(false); }

void write_standard_error(std::string_view text) { write_all(2, text); }

bool standard_error_is_terminal() { return ::isatty(2) == 1; }

unsigned standard_error_columns() {
  winsize size{};
  if (::ioctl(2, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

int set_aside_standard_output() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  const int kept = ::dup(1);
  if (kept < 0) return -1;
  if (::dup2(2, 1) < 0) {
    ::close(kept);
    return -1;
  }
  return kept;
}

bool write_descriptor(int descriptor, std::string_view text) {
  return descriptor >= 0 && write_all(descriptor, text);
}

uint64_t monotonic_nanoseconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000000ULL + uint64_t(ts.tv_nsec);
}

}  // namespace repcopy::platform

#endif  // !_WIN32
