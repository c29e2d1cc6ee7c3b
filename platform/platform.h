#pragma once
// The operating-system layer. Everything the program needs from the system goes through these
// few operations, so that results, formats and messages stay the same on every platform and so
// that tests can inject file-system faults. A path comes in the system's form (native: the bytes
// of a POSIX file system, UTF-8 on Windows, where this layer makes it UTF-16 for the W calls) or,
// for the calls that still take one, as UTF-16 converted here. One implementation per system is
// built: posix.cpp or win32.cpp.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace repcopy::platform {

#if defined(_WIN32)
inline constexpr bool kWindows = true;
inline constexpr char16_t kSeparator = u'\\';
#else
inline constexpr bool kWindows = false;
inline constexpr char16_t kSeparator = u'/';
#endif
// Separator of native (byte-string) paths.
inline constexpr char kNativeSeparator = char(kSeparator);
// Longest native path the system takes, in bytes without the terminator (PATH_MAX - 1 on POSIX
// systems; on Windows the UTF-8 form of the longest extended-length path).
inline constexpr size_t kMaxNativePath = kWindows ? 32767 * 3 : 4095;

// The program's arguments as UTF-8 (on Windows read again from the wide command line, so that
// names outside the ANSI code page arrive intact).
std::vector<std::string> utf8_arguments(int argc, char** argv);
// Prepares standard output and error: on a Windows console the UTF-8 text of the program is
// shown as UTF-16 (WriteConsoleW); redirected output stays UTF-8 bytes, without line-end
// translation, on every system.
void setup_console();

// The program's own version resource (a VS_VERSIONINFO block), when the system keeps one in
// the executable. False when it is absent or cannot be loaded.
inline constexpr bool kHasVersionResource = kWindows;
bool own_version_resource(std::vector<uint8_t>& out);

// System clock as a FILETIME count (100 ns units since 1601-01-01 UTC).
uint64_t system_time_as_filetime();
// Number of logical processors (at least 1).
unsigned logical_processor_count();
// Cryptographically random bytes.
bool random_bytes(uint8_t* out, size_t n);
// A fresh GUID from the system (version 4 where the system makes them up itself), in the
// on-disk byte order (u32, u16, u16 little-endian, then eight bytes); false on failure.
bool new_guid(uint8_t (&out)[16]);

// Last system error of the calling thread, and its message ("" when the system has none).
int last_error();
void set_last_error(int code);
std::string system_error_message(int code);
// True for the codes that say the file system, or the user's quota on it, is full.
bool is_out_of_space(int code);
// True for the codes that say the file system or its permissions refuse writing (read-only,
// no permission): every later file would be refused too.
bool is_write_refused(int code);
#if defined(_WIN32)
inline constexpr int kErrorAlreadyExists = 183;  // ERROR_ALREADY_EXISTS
inline constexpr int kErrorBadText = 1113;       // ERROR_NO_UNICODE_TRANSLATION
inline constexpr int kErrorNameTooLong = 206;    // ERROR_FILENAME_EXCED_RANGE
inline constexpr int kErrorIo = 30;              // ERROR_READ_FAULT
inline constexpr int kErrorFileTooLarge = 223;   // ERROR_FILE_TOO_LARGE
#else
inline constexpr int kErrorAlreadyExists = 17;  // EEXIST
inline constexpr int kErrorBadText = 84;        // EILSEQ
inline constexpr int kErrorNameTooLong = 36;    // ENAMETOOLONG
inline constexpr int kErrorIo = 5;              // EIO
inline constexpr int kErrorFileTooLarge = 27;   // EFBIG
#endif

// Current directory; false (and errno set) on failure.
bool current_directory(std::u16string& out);

// Existence check without access rights (a file-attributes query).
bool path_exists(const std::u16string& path);
bool path_exists(const std::string& native);
bool is_directory(const std::u16string& path);
bool is_directory(const std::string& native);

// Creates one directory level; 0 on success, else the system error code (kErrorAlreadyExists
// when something already stands at the path). Sets the last error on failure.
int create_directory(const std::u16string& path);
int create_directory(const std::string& native);

// The reading side keeps source names as the file system gives them (native bytes, which need
// not be valid UTF-8): a name is opened with exactly the bytes it was listed with, and converted
// only to be printed (display_name) or compared as text (text_name).
struct dir_entry {
  std::string name;  // native bytes
  bool is_directory = false;
  bool is_regular = false;  // a regular file (links followed)
  // The system's error when the entry's type could not be found (a link to nothing, say); 0
  // otherwise. An entry that is neither a directory nor a regular file, with error 0, is
  // something else: a device, a pipe, a socket.
  int error = 0;
};
// Entries of a directory in the order the system returns them, without "." and "..".
// False when the directory cannot be opened (last error set).
bool list_directory(const std::string& dir, std::vector<dir_entry>& out);

// Identity (device, node) of the file or directory at path, following links; false when it
// cannot be queried. Lets a directory walk notice what it has already read.
bool file_identity(const std::string& native, uint64_t& device, uint64_t& node);

// A native name as UTF-8 for messages: bytes that are not UTF-8 appear as "\xHH".
std::string display_name(std::string_view native);
// A native name as UTF-16 text; bytes that are not UTF-8 become U+FFFD.
std::u16string text_name(std::string_view native);

// A file opened for reading. Closed by the destructor.
class input_file {
 public:
  input_file() = default;
  ~input_file();
  input_file(const input_file&) = delete;
  input_file& operator=(const input_file&) = delete;

  bool open(const std::string& native);  // false with the last error set
  bool size(uint64_t& out);              // false with the last error set
  // Reads exactly n bytes at offset; false on an error or a short file (last error set).
  bool read_at(uint64_t offset, uint8_t* out, size_t n);

 private:
  static constexpr intptr_t kNoHandle = -1;  // also INVALID_HANDLE_VALUE
  intptr_t handle_ = kNoHandle;              // a descriptor, or a Windows HANDLE
};
// Size in bytes of the file at path, following links; false when it cannot be queried.
bool file_size(const std::u16string& path, uint64_t& size);
bool file_size(const std::string& native, uint64_t& size);
// The absolute path with every symbolic link, "." and ".." of its existing leading part
// resolved, and the part that does not exist yet appended as it stands. False on failure.
bool resolved_path(const std::u16string& path, std::u16string& out);

// A file created for writing (truncated when it exists). Closed by the destructor.
class output_file {
 public:
  output_file() = default;
  ~output_file();
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  bool create(const std::u16string& path);  // false with the last error set
  bool create(const std::string& native);
  // A file without a name in directory, given the name final_path by commit() once complete, so
  // that no partial file is ever visible (Linux O_TMPFILE). False when the file system cannot
  // do that; the caller then writes under a temporary name.
  bool create_unnamed(const std::string& directory);
  bool commit(const std::string& final_path);  // false with the last error set
  bool is_unnamed() const { return unnamed_; }
  // One write call of n bytes; false on failure (last error set), else written = bytes written.
  bool write(const uint8_t* data, uint32_t n, uint32_t& written);
  bool close();
  bool is_open() const { return handle_ != kNoHandle; }

 private:
  static constexpr intptr_t kNoHandle = -1;  // also INVALID_HANDLE_VALUE
  intptr_t handle_ = kNoHandle;              // a descriptor, or a Windows HANDLE
  bool unnamed_ = false;
  std::string path_;  // the file, or the directory of an unnamed file (native)
};

// An exclusive hold on a lock file (created when missing, never removed) that ends when the
// object lets it go or is destroyed, or with the process however it ends: flock on POSIX
// systems, LockFileEx on Windows. Two holds on one file exclude each other also within one
// process (each has its own open file).
class file_hold {
 public:
  file_hold() = default;
  ~file_hold() { release(); }
  file_hold(const file_hold&) = delete;
  file_hold& operator=(const file_hold&) = delete;
  // kHeld, kBusy (only without wait: another holds it) or kFailed (the last error set).
  static constexpr int kHeld = 0;
  static constexpr int kBusy = 1;
  static constexpr int kFailed = -1;
  int acquire(const std::u16string& path, bool wait);
  void release();

 private:
  static constexpr intptr_t kNoHandle = -1;  // also INVALID_HANDLE_VALUE
  intptr_t handle_ = kNoHandle;
};

// Replaces to when it exists; on Windows the rename is written through before it returns.
bool rename_path(const std::u16string& from, const std::u16string& to);
bool rename_path(const std::string& from, const std::string& to);
bool remove_path(const std::u16string& path);
bool remove_path(const std::string& native);

// The system encoding of a UTF-16 path: UTF-8 (on Windows converted back to UTF-16 inside this
// layer for the system calls).
std::string native_path(const std::u16string& path);
// Removes an empty directory.
bool remove_directory(const std::u16string& path);

// Opened for appending (created when missing); null with the last error set.
std::FILE* open_for_appending(const std::u16string& path);

// Test hooks: when set, each is asked first, with the native path; a nonzero result is returned
// as the system error of that operation without calling the system.
struct fault_hooks {
  std::function<int(const std::string&)> create_directory;
  std::function<int(const std::string&)> create_file;
  std::function<int(const std::string&)> write_file;  // asked with the file's path
};
fault_hooks& faults();

}  // namespace repcopy::platform
