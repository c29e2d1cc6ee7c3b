#pragma once
// Creating and writing a repository file, and creating its directory with every missing parent
// while the writer threads take turns. Paths are native (the system's form, platform/platform.h).

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

#include "platform/platform.h"
#include "util/message_sink.h"

namespace repcopy {

// Creates (or truncates) path for writing. 0, or -1 after printing "create_file: ", the path and
// the error text; error (when given) then receives the system error code.
int32_t create_file(message_sink& messages, const std::string& path, platform::output_file& file,
                    int* error = nullptr);

// Writes data with one call and returns the number of bytes written; writes nothing and returns
// 0 for no data. A failing call (a full disk, say) prints "WriteFile: " and the error text on
// standard output and "Can't write ", path (the file being written) and the system's message on
// standard error, and returns 0: the caller fails that file (and its batch) and removes the
// partial file, and the run goes on to print what it wrote. error (when given) then receives the
// system error code.
uint32_t write_file(message_sink& messages, platform::output_file& file,
                    std::span<const uint8_t> data, const std::string& path = {},
                    int* error = nullptr);

// Makes sure the directory exists, creating it and every missing parent. Holds lock (a spin-lock
// word, 0 = free) for the existence check and all creation calls. True when it exists afterwards;
// each level that cannot be created prints "create_directory_MT:\n", its path and the error text
// (the first few of each error only: util/repeat_limit.h).
// error (when given, and 0 before) receives the system error code of the first level that
// failed, the one nearest the root, and failed (when given) that level's path.
bool create_directory_MT(message_sink& messages, std::atomic<uint32_t>& lock,
                         const std::string& path, int* error = nullptr,
                         std::string* failed = nullptr);

// The spin lock of create_directory_MT, released on every path out of the scope.
class directory_lock_guard {
 public:
  explicit directory_lock_guard(std::atomic<uint32_t>& lock);
  ~directory_lock_guard() { lock_.store(0, std::memory_order_release); }
  directory_lock_guard(const directory_lock_guard&) = delete;
  directory_lock_guard& operator=(const directory_lock_guard&) = delete;

 private:
  std::atomic<uint32_t>& lock_;
};

}  // namespace repcopy
