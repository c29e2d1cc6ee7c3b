#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <thread>

#include "platform/platform.h"
#include "platform/utf.h"

namespace repcopy::platform {

uint64_t system_time_as_filetime() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return uint64_t(ts.tv_sec) * 10000000ULL + uint64_t(ts.tv_nsec) / 100 + 116444736000000000ULL;
}

unsigned logical_processor_count() {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  if (n < 1) n = std::thread::hardware_concurrency();
  return n < 1 ? 1u : unsigned(n);
}

bool random_bytes(uint8_t* out, size_t n) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen("/dev/urandom", "rb"), &std::fclose);
  if (!f) return false;
  return std::fread(out, 1, n, f.get()) == n;
}

int last_error() { return errno; }
void set_last_error(int code) { errno = code; }
bool is_out_of_space(int code) { return code == ENOSPC || code == EDQUOT; }
bool is_write_refused(int code) { return code == EACCES || code == EROFS || code == EPERM; }

std::string system_error_message(int code) {
  char buf[512];
  // GNU strerror_r returns a pointer to the text (maybe not buf).
  const char* text = strerror_r(code, buf, sizeof buf);
  if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0) return {};
  return text;
}

std::string native_path(const std::u16string& path) { return to_utf8(path); }

std::vector<std::string> utf8_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void setup_console() {}

bool own_version_resource(std::vector<uint8_t>& out) {
  out.clear();
  return false;
}

bool new_guid(uint8_t (&out)[16]) {
  if (!random_bytes(out, sizeof out)) return false;
  out[7] = uint8_t((out[7] & 0x0F) | 0x40);  // version 4 in the high nibble of data3
  out[8] = uint8_t((out[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return true;
}

std::FILE* open_for_appending(const std::u16string& path) {
  return std::fopen(native_path(path).c_str(), "ab");
}

bool current_directory(std::u16string& out) {
  std::string buf(4096, '\0');
  while (getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE || buf.size() > (1u << 20)) return false;
    buf.resize(buf.size() * 2);
  }
  buf.resize(std::strlen(buf.c_str()));
  if (!from_utf8(buf, out)) {
    errno = EILSEQ;
    return false;
  }
  return true;
}

bool path_exists(const std::u16string& path) { return path_exists(native_path(path)); }

bool path_exists(const std::string& native) {
  struct stat st {};
  return ::stat(native.c_str(), &st) == 0;
}

bool is_directory(const std::u16string& path) { return is_directory(native_path(path)); }

bool is_directory(const std::string& native) {
  struct stat st {};
  return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int create_directory(const std::u16string& path) { return create_directory(native_path(path)); }

int create_directory(const std::string& native) {
  if (faults().create_directory) {
    if (int e = faults().create_directory(native)) {
      errno = e;
      return e;
    }
  }
  if (::mkdir(native.c_str(), 0777) == 0) return 0;
  return errno;
}

bool list_directory(const std::string& dir, std::vector<dir_entry>& out) {
  out.clear();
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), &::closedir);
  if (!d) return false;
  errno = 0;
  while (dirent* e = ::readdir(d.get())) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    dir_entry entry;
    entry.name = e->d_name;
    if (e->d_type == DT_DIR) {
      entry.is_directory = true;
    } else if (e->d_type == DT_REG) {
      entry.is_regular = true;
    } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      struct stat st {};
      std::string full = dir;
      if (full.empty() || full.back() != '/') full += '/';
      full += e->d_name;
      if (::stat(full.c_str(), &st) == 0) {
        entry.is_directory = S_ISDIR(st.st_mode);
        entry.is_regular = S_ISREG(st.st_mode);
      } else {
        entry.error = errno;
      }
    }
    out.push_back(std::move(entry));
    errno = 0;
  }
  return errno == 0;
}

bool file_identity(const std::string& native, uint64_t& device, uint64_t& node) {
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return false;
  device = uint64_t(st.st_dev);
  node = uint64_t(st.st_ino);
  return true;
}

std::u16string text_name(std::string_view native) {
  std::u16string out;
  if (from_utf8(native, out)) return out;
  out.clear();
  for (size_t i = 0; i < native.size();) {
    const unsigned char c = static_cast<unsigned char>(native[i]);
    size_t n = c < 0x80             ? 1
               : (c & 0xE0) == 0xC0 ? 2
               : (c & 0xF0) == 0xE0 ? 3
               : (c & 0xF8) == 0xF0 ? 4
                                    : 0;
    std::u16string piece;
    if (n != 0 && i + n <= native.size() && from_utf8(native.substr(i, n), piece)) {
      out += piece;
      i += n;
    } else {
      out += u'\uFFFD';
      ++i;
    }
  }
  return out;
}

input_file::~input_file() {
  if (handle_ != kNoHandle) ::close(int(handle_));
}

bool input_file::open(const std::string& native) {
  if (handle_ != kNoHandle) ::close(int(handle_));
  handle_ = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (handle_ < 0) handle_ = kNoHandle;
  return handle_ != kNoHandle;
}

bool input_file::size(uint64_t& out) {
  struct stat st {};
  if (::fstat(int(handle_), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  out = uint64_t(st.st_size);
  return true;
}

bool input_file::read_at(uint64_t offset, uint8_t* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(int(handle_), out + done, n - done, off_t(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) {
      errno = EIO;  // the file became shorter while it was read
      return false;
    }
    done += size_t(r);
  }
  return true;
}

bool file_size(const std::u16string& path, uint64_t& size) {
  return file_size(native_path(path), size);
}

bool file_size(const std::string& native, uint64_t& size) {
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return false;
  size = uint64_t(st.st_size);
  return true;
}

bool resolved_path(const std::u16string& path, std::u16string& out) {
  std::error_code error;
  const std::filesystem::path resolved =
      std::filesystem::weakly_canonical(std::filesystem::path(native_path(path)), error);
  if (error) {
    errno = error.value();
    return false;
  }
  if (!from_utf8(resolved.string(), out)) {
    errno = EILSEQ;
    return false;
  }
  return true;
}

output_file::~output_file() { close(); }

bool output_file::create(const std::u16string& path) { return create(native_path(path)); }

bool output_file::create(const std::string& native) {
  close();
  if (faults().create_file) {
    if (int e = faults().create_file(native)) {
      errno = e;
      return false;
    }
  }
  path_ = native;
  unnamed_ = false;
  handle_ = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (handle_ < 0) handle_ = kNoHandle;
  return is_open();
}

bool output_file::create_unnamed(const std::string& directory) {
  close();
  if (faults().create_file) {
    if (int e = faults().create_file(directory)) {
      errno = e;
      return false;
    }
  }
#ifdef O_TMPFILE
  // commit() names the file through /proc; without it the caller takes the named way.
  if (::access("/proc/self/fd", X_OK) != 0) {
    errno = EOPNOTSUPP;
    return false;
  }
  path_ = directory;
  handle_ = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (handle_ < 0) handle_ = kNoHandle;
  unnamed_ = is_open();
  return unnamed_;
#else
  errno = EOPNOTSUPP;
  return false;
#endif
}

bool output_file::commit(const std::string& final_path) {
  // linkat through /proc names the open file; it fails when the name is taken, so an existing
  // file is never replaced.
  const std::string proc = "/proc/self/fd/" + std::to_string(handle_);
  if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, final_path.c_str(),
               AT_SYMLINK_FOLLOW) != 0) {
    return false;
  }
  unnamed_ = false;
  return true;
}

bool output_file::write(const uint8_t* data, uint32_t n, uint32_t& written) {
  written = 0;
  if (faults().write_file) {
    if (int e = faults().write_file(path_)) {
      errno = e;
      return false;
    }
  }
  // One logical write; the system may split it, so loop until done or an error.
  while (written < n) {
    ssize_t r = ::write(int(handle_), data + written, n - written);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) break;
    written += uint32_t(r);
  }
  return true;
}

bool output_file::close() {
  if (!is_open()) return true;
  int r = ::close(int(handle_));
  handle_ = kNoHandle;
  unnamed_ = false;
  return r == 0;
}

bool rename_path(const std::u16string& from, const std::u16string& to) {
  return rename_path(native_path(from), native_path(to));
}

bool rename_path(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool remove_path(const std::u16string& path) { return remove_path(native_path(path)); }

bool remove_path(const std::string& native) { return ::unlink(native.c_str()) == 0; }

bool remove_directory(const std::u16string& path) {
  return ::rmdir(native_path(path).c_str()) == 0;
}

fault_hooks& faults() {
  static fault_hooks hooks;
  return hooks;
}

int file_hold::acquire(const std::u16string& path, bool wait) {
  release();
  const int fd = ::open(native_path(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return kFailed;
  int result = 0;
  do {
    result = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
  } while (result != 0 && errno == EINTR && wait);
  if (result != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return error == EWOULDBLOCK ? kBusy : kFailed;
  }
  handle_ = fd;
  return kHeld;
}

void file_hold::release() {
  if (handle_ == kNoHandle) return;
  ::close(int(handle_));  // closing the only descriptor of the open file ends the lock
  handle_ = kNoHandle;
}

}  // namespace repcopy::platform
