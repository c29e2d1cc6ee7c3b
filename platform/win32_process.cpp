#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <iostream>

#include "platform/process.h"

namespace repcopy::platform {

namespace {

std::atomic<bool> stop_flag{false};

// Ctrl-C, Ctrl-Break and closing the console note the request once; the second time the default
// handler ends the process.
BOOL WINAPI note_stop_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  return stop_flag.exchange(true) ? FALSE : TRUE;
}

bool write_all(int descriptor, std::string_view text) {
  size_t done = 0;
  while (done < text.size()) {
    const int n = ::_write(descriptor, text.data() + done, unsigned(text.size() - done));
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

}  // namespace

void install_stop_handlers() { ::SetConsoleCtrlHandler(note_stop_event, TRUE); }

bool stop_requested() { return stop_flag.load(std::memory_order_relaxed); }
void request_stop() { stop_flag.store(true); }
void clear_stop_request() { stop_flag.store(false); }

void write_standard_error(std::string_view text) { write_all(2, text); }

bool standard_error_is_terminal() { return ::_isatty(2) != 0; }

unsigned standard_error_columns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
  return unsigned(info.srWindow.Right - info.srWindow.Left + 1);
}

int set_aside_standard_output() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  const int kept = ::_dup(1);
  if (kept < 0) return -1;
  if (::_dup2(2, 1) < 0) {
    ::_close(kept);
    return -1;
  }
  return kept;
}

bool write_descriptor(int descriptor, std::string_view text) {
  return descriptor >= 0 && write_all(descriptor, text);
}

uint64_t monotonic_nanoseconds() {
  LARGE_INTEGER frequency, now;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&now);
  return uint64_t(double(now.QuadPart) * 1e9 / double(frequency.QuadPart));
}

}  // namespace repcopy::platform

#endif  // _WIN32
