#include "writer/file_io.h"

#include <chrono>
#include <thread>

#include "util/error_text.h"
#include "util/repeat_limit.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace repcopy {

namespace {

void pause_hint() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// One level, then (when it is still missing) its parents from the top down. Runs under the lock.
bool create_recursive(message_sink& messages, const std::string& path, int* error_code,
                      std::string* failed) {
  int err = platform::create_directory(path);
  if (err == 0 || err == platform::kErrorAlreadyExists) return true;
  size_t cut = path.find_last_of(platform::kNativeSeparator);
  if (cut != std::string::npos && cut > 0) {
    create_recursive(messages, path.substr(0, cut), error_code, failed);
  }
  if (platform::create_directory(path) == 0) return true;
  // The level nearest the root fails first, with the real reason; those below it then fail
  // only because it is missing.
  if (error_code != nullptr && *error_code == 0) {
    *error_code = platform::last_error();
    if (failed != nullptr) *failed = path;
  }
  const std::string error = error_text();
  if (failure_repeats().admit("create_directory_MT: " + error, false)) {
    messages.out(message_kind::notice) << "create_directory_MT:\n"
                                       << path << "\n"
                                       << error;
  }
  return false;
}

}  // namespace

int32_t create_file(message_sink& messages, const std::string& path, platform::output_file& file,
                    int* error_code) {
  if (file.create(path)) return 0;
  if (error_code != nullptr) *error_code = platform::last_error();
  const std::string error = error_text();
  if (failure_repeats().admit("create_file: " + error, false)) {
    messages.out(message_kind::notice) << "create_file: " << path << error;
  }
  return -1;
}

uint32_t write_file(message_sink& messages, platform::output_file& file,
                    std::span<const uint8_t> data, const std::string& path, int* error) {
  if (data.empty()) return 0;
  uint32_t written = 0;
  if (!file.write(data.data(), uint32_t(data.size()), written)) {
    const int code = platform::last_error();
    if (error != nullptr) *error = code;
    if (failure_repeats().admit("WriteFile: " + error_text(code), true)) {
      messages.out(message_kind::notice) << "WriteFile: " << error_text(code);
      messages.err(message_kind::error)
          << "Can't write " << path << ": " << platform::system_error_message(code);
    }
    return 0;
  }
  return written;
}

directory_lock_guard::directory_lock_guard(std::atomic<uint32_t>& lock) : lock_(lock) {
  for (uint32_t retry = 0; lock_.exchange(1, std::memory_order_acquire) == 1; ++retry) {
    if (retry < 4) continue;
    if (retry < 16) {
      pause_hint();
    } else if (retry < 32) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

bool create_directory_MT(message_sink& messages, std::atomic<uint32_t>& lock,
                         const std::string& path, int* error_code, std::string* failed) {
  directory_lock_guard guard(lock);
  if (platform::path_exists(path)) return true;
  return create_recursive(messages, path, error_code, failed);
}

}  // namespace repcopy
