#include "util/read_file.h"

#include <cerrno>

namespace repcopy {

bool source_file_reader::fail() {
  error_ = platform::system_error_message(platform::last_error());
  return false;
}

bool source_file_reader::open(const std::string& native) {
  if (!file_.open(native) || !file_.size(size_)) return fail();
  return true;
}

bool source_file_reader::read(uint64_t offset, size_t n, std::vector<uint8_t>& out) {
  out.clear();
  if (offset > size_ || n > size_ - offset) {
    platform::set_last_error(platform::kErrorIo);
    return fail();
  }
  out.resize(n);
  if (n > 0 && !file_.read_at(offset, out.data(), n)) {
    out.clear();
    return fail();
  }
  return true;
}

bool source_file_reader::read_all(std::vector<uint8_t>& out) {
  if (size_ >= kMaxReadableFile) {
    platform::set_last_error(platform::kErrorFileTooLarge);
    return fail();
  }
  return read(0, size_t(size_), out);
}

}  // namespace repcopy
