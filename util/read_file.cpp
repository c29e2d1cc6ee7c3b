#include "util/read_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include "platform/platform.h"
#include "util/text.h"

namespace repcopy {

namespace {

bool fail(const char* what, const std::u16string& path, int err) {
  std::cout << what << to_utf8(path) << std::endl;
  std::cerr << std::strerror(err) << std::endl;
  return false;
}

}  // namespace

bool read_whole_file(const std::u16string& path, std::vector<uint8_t>& out) {
  out.clear();
  std::unique_ptr<FILE, int (*)(FILE*)> f(platform::open_for_reading(path), &std::fclose);
  if (!f) return fail("Can't open file ", path, errno);
  const int64_t length = platform::file_length(f.get());
  if (length < 0) return fail("Can't get file length ", path, errno);
  // Files of 2 GiB or more are refused like a failed read.
  if (uint64_t(length) >= (uint64_t(1) << 31)) return fail("Can't read file ", path, EFBIG);
  out.resize(size_t(length));
  if (length > 0 && std::fread(out.data(), 1, out.size(), f.get()) != out.size()) {
    int err = std::ferror(f.get()) ? errno : EIO;
    out.clear();
    return fail("Can't read file ", path, err);
  }
  return true;
}

}  // namespace repcopy
