#pragma once
// Reading a source file: whole, or a piece at a time so that a file's frame can be checked
// before it is read whole. Paths are native (the bytes the file system listed).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace repcopy {

// Files of this size or more are not read: the container offsets a reader keeps are 32-bit
// signed in places, and no writer makes files anywhere near it.
inline constexpr uint64_t kMaxReadableFile = uint64_t(1) << 31;

// An open source file. Each failing operation leaves the system's message in error().
class source_file_reader {
 public:
  bool open(const std::string& native);
  uint64_t size() const { return size_; }
  bool read(uint64_t offset, size_t n, std::vector<uint8_t>& out);
  // The whole file; refused (EFBIG) at kMaxReadableFile or more.
  bool read_all(std::vector<uint8_t>& out);
  const std::string& error() const { return error_; }

 private:
  bool fail();
  platform::input_file file_;
  uint64_t size_ = 0;
  std::string error_;
};

}  // namespace repcopy
