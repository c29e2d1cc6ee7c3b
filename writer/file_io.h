#pragma once
// Creating and writing a repository file, and creating its directory with every missing parent
// while the writer threads take turns.

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

#include "platform/platform.h"

namespace repcopy {

// Creates (or truncates) path for writing. 0, or -1 after printing "create_file: ", the path and
// the error text.
int32_t create_file(const std::u16string& path, platform::output_file& file);

// Writes data with one call and returns the number of bytes written; writes nothing and returns
// 0 for no data. A failing call is a fatal stop (util/fatal.h) with the marker "WriteFile: ", the
// error text and a line end; before that the file is closed and, when partial_path is given,
// removed, so that no partial file is left behind.
uint32_t write_file(platform::output_file& file, std::span<const uint8_t> data,
                    const std::u16string& partial_path = {});

// Makes sure the directory exists, creating it and every missing parent. Holds lock (a spin-lock
// word, 0 = free) for the existence check and all creation calls. True when it exists afterwards;
// each level that cannot be created prints "create_directory_MT:\n", its path and the error text.
bool create_directory_MT(std::atomic<uint32_t>& lock, const std::u16string& path);

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
