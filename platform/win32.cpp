// The platform layer on Windows: wide Win32 calls throughout, so names outside the ANSI code page
// and "\\?\" extended-length paths work everywhere. The UTF-8 <-> UTF-16 conversions this layer
// needs are its own (the system's code-page calls), so it depends on nothing above it.

// windows.h first: the other system headers build on its types.
// clang-format off
#include <windows.h>
// clang-format on

#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <share.h>
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <streambuf>
#include <string_view>

#include "platform/platform.h"

namespace repcopy::platform {

namespace {

const wchar_t* wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::string utf8_of(const wchar_t* text, int units) {
  if (units <= 0) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, units, out.data(), n, nullptr, nullptr);
  return out;
}

// UTF-8 to UTF-16; false on malformed input.
bool utf16_of(const char* text, int bytes, std::wstring& out) {
  out.clear();
  if (bytes <= 0) return true;
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, bytes, nullptr, 0);
  if (n <= 0) return false;
  out.resize(size_t(n));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, bytes, out.data(), n);
  return true;
}

// A native (UTF-8) path as UTF-16 for the W calls; false with the last error set when the bytes
// are not UTF-8.
bool wide_of(const std::string& native, std::wstring& out) {
  if (utf16_of(native.data(), int(native.size()), out)) return true;
  SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  return false;
}

// A native (UTF-8) path as the UTF-16 path of the W calls; false with the last error set when
// the bytes are not UTF-8.
bool utf16_path(const std::string& native, std::u16string& out) {
  std::wstring path;
  if (!wide_of(native, path)) return false;
  out.assign(reinterpret_cast<const char16_t*>(path.data()), path.size());
  return true;
}

// Length of the UTF-8 sequence that starts with c (1 for ASCII), 0 when c cannot start one.
size_t sequence_length(unsigned char c) {
  return c < 0x80             ? 1
         : (c & 0xE0) == 0xC0 ? 2
         : (c & 0xF0) == 0xE0 ? 3
         : (c & 0xF8) == 0xF0 ? 4
                              : 0;
}

// The handle behind an input_file or output_file.
HANDLE handle_of(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// Standard output or error on a console: the program writes UTF-8, the console is given UTF-16.
// Bytes are held until a sequence is complete, so a character split across two writes is shown
// whole.
class console_buffer : public std::streambuf {
 public:
  explicit console_buffer(HANDLE console) : console_(console) { setp(buffer_, buffer_ + kSize); }

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  int sync() override {
    const size_t held = size_t(pptr() - pbase());
    size_t complete = held;
    // Leave an unfinished UTF-8 sequence at the end for the next write.
    for (size_t back = 1; back <= 3 && back <= held; ++back) {
      const unsigned char c = static_cast<unsigned char>(buffer_[held - back]);
      if ((c & 0xC0) == 0x80) continue;  // continuation byte
      const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      if (length > back) complete = held - back;
      break;
    }
    if (complete == 0 && held == kSize) complete = held;  // never stall on garbage
    std::wstring text;
    if (!utf16_of(buffer_, int(complete), text)) {
      // Not UTF-8: show the bytes as the console's code page reads them.
      text.resize(complete);
      text.resize(size_t(
          MultiByteToWideChar(CP_ACP, 0, buffer_, int(complete), text.data(), int(complete))));
    }
    for (size_t done = 0; done < text.size();) {
      DWORD written = 0;
      const DWORD n = DWORD(std::min<size_t>(text.size() - done, 8192));
      if (!WriteConsoleW(console_, text.data() + done, n, &written, nullptr) || written == 0) {
        break;
      }
      done += written;
    }
    std::memmove(buffer_, buffer_ + complete, held - complete);
    setp(buffer_, buffer_ + kSize);
    pbump(int(held - complete));
    return 0;
  }

 private:
  static constexpr size_t kSize = 4096;
  HANDLE console_;
  char buffer_[kSize];
};

// One stream onto the console, or into binary mode when redirected.
void setup_stream(DWORD which, int fd, std::ostream& stream) {
  HANDLE h = GetStdHandle(which);
  DWORD mode = 0;
  if (h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode)) {
    static console_buffer* buffers[2] = {};
    console_buffer*& buffer = buffers[which == STD_OUTPUT_HANDLE ? 0 : 1];
    if (buffer == nullptr) buffer = new console_buffer(h);  // lives as long as the process
    stream.flush();
    stream.rdbuf(buffer);
  } else {
    // Redirected: UTF-8 bytes as they are, "\n" not turned into "\r\n", as on other systems.
    std::fflush(fd == 1 ? stdout : stderr);
    _setmode(fd, _O_BINARY);
  }
}

}  // namespace

std::vector<std::string> utf8_arguments(int argc, char** argv) {
  int count = 0;
  std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide_args(
      CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  std::vector<std::string> out;
  if (!wide_args || count != argc) return std::vector<std::string>(argv, argv + argc);
  for (int i = 0; i < count; ++i) {
    out.push_back(utf8_of(wide_args.get()[i], int(std::wcslen(wide_args.get()[i]))));
  }
  return out;
}

void setup_console() {
  setup_stream(STD_OUTPUT_HANDLE, 1, std::cout);
  setup_stream(STD_ERROR_HANDLE, 2, std::cerr);
}

bool own_version_resource(std::vector<uint8_t>& out) {
  out.clear();
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));  // RT_VERSION
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(self, found);
  const DWORD size = SizeofResource(self, found);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr || size == 0) return false;
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  out.assign(p, p + size);
  return true;
}

uint64_t system_time_as_filetime() {
  FILETIME ft{};
  GetSystemTimeAsFileTime(&ft);
  return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

unsigned logical_processor_count() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors < 1 ? 1u : unsigned(info.dwNumberOfProcessors);
}

bool random_bytes(uint8_t* out, size_t n) {
  return BCryptGenRandom(nullptr, out, ULONG(n), BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

bool new_guid(uint8_t (&out)[16]) {
  GUID g{};
  if (CoCreateGuid(&g) != S_OK) return false;
  for (int i = 0; i < 4; ++i) out[i] = uint8_t(g.Data1 >> (8 * i));
  out[4] = uint8_t(g.Data2), out[5] = uint8_t(g.Data2 >> 8);
  out[6] = uint8_t(g.Data3), out[7] = uint8_t(g.Data3 >> 8);
  std::memcpy(out + 8, g.Data4, 8);
  return true;
}

int last_error() { return int(GetLastError()); }
void set_last_error(int code) { SetLastError(DWORD(code)); }
bool is_out_of_space(int code) {
  return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL;
}
bool is_write_refused(int code) {
  return code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT;
}

std::string system_error_message(int code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, DWORD(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(text, &LocalFree);
  if (n == 0 || text == nullptr) return {};
  // The system ends its sentence with a line end; the error text does without it.
  DWORD units = n;
  while (units > 0 && (text[units - 1] == L'\n' || text[units - 1] == L'\r')) --units;
  return utf8_of(text, int(units));
}

bool current_directory(std::u16string& out) {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetCurrentDirectoryW(DWORD(buf.size()), buf.data());
    if (n == 0) return false;
    if (n < buf.size()) {
      out.assign(reinterpret_cast<const char16_t*>(buf.data()), n);
      return true;
    }
    buf.resize(n);  // n counts the terminator when the buffer was too small
  }
}

bool path_exists(const std::u16string& path) {
  return GetFileAttributesW(wide(path)) != INVALID_FILE_ATTRIBUTES;
}

bool path_exists(const std::string& native) {
  std::u16string path;
  return utf16_path(native, path) && path_exists(path);
}

bool is_directory(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool is_directory(const std::string& native) {
  std::wstring path;
  if (!wide_of(native, path)) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int create_directory(const std::string& native) {
  std::u16string path;
  return utf16_path(native, path) ? create_directory(path) : int(GetLastError());
}

int create_directory(const std::u16string& path) {
  if (faults().create_directory) {
    if (int e = faults().create_directory(native_path(path))) {
      SetLastError(DWORD(e));
      return e;
    }
  }
  if (CreateDirectoryW(wide(path), nullptr)) return 0;
  return int(GetLastError());
}

bool list_directory(const std::string& dir, std::vector<dir_entry>& out) {
  out.clear();
  std::wstring pattern;
  if (!wide_of(dir, pattern)) return false;
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data{};
  HANDLE search = FindFirstFileW(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    // An empty directory has no entries; anything else is a failure.
    return GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  std::unique_ptr<void, decltype(&FindClose)> closer(search, &FindClose);
  do {
    const std::wstring_view name(data.cFileName);
    if (name == L"." || name == L"..") continue;
    dir_entry entry;
    entry.name = utf8_of(name.data(), int(name.size()));
    entry.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.is_regular = !entry.is_directory && (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    out.push_back(std::move(entry));
  } while (FindNextFileW(search, &data));
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) return false;
  return true;
}

bool file_identity(const std::string& native, uint64_t& device, uint64_t& node) {
  std::wstring path;
  if (!wide_of(native, path)) return false;
  // Directories open only with backup semantics; no access right is needed for the query.
  HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!ok) return false;
  device = info.dwVolumeSerialNumber;
  node = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

std::u16string text_name(std::string_view native) {
  std::u16string out;
  std::wstring piece;
  for (size_t i = 0; i < native.size();) {
    const size_t n = sequence_length(static_cast<unsigned char>(native[i]));
    if (n != 0 && i + n <= native.size() && utf16_of(native.data() + i, int(n), piece)) {
      out.append(reinterpret_cast<const char16_t*>(piece.data()), piece.size());
      i += n;
    } else {
      out += u'\uFFFD';
      ++i;
    }
  }
  return out;
}

std::string native_path(const std::u16string& path) {
  return utf8_of(wide(path), int(path.size()));
}

input_file::~input_file() {
  if (handle_ != kNoHandle) CloseHandle(handle_of(handle_));
}

bool input_file::open(const std::string& native) {
  if (handle_ != kNoHandle) CloseHandle(handle_of(handle_));
  handle_ = kNoHandle;
  std::wstring path;
  if (!wide_of(native, path)) return false;
  // Others may go on reading, writing or renaming the file while it is read.
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

bool input_file::size(uint64_t& out) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle_of(handle_), &info)) return false;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    SetLastError(ERROR_DIRECTORY);
    return false;
  }
  out = (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return true;
}

bool input_file::read_at(uint64_t offset, uint8_t* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    OVERLAPPED at{};
    const uint64_t position = offset + done;
    at.Offset = DWORD(position);
    at.OffsetHigh = DWORD(position >> 32);
    DWORD got = 0;
    const DWORD want = DWORD(std::min<size_t>(n - done, 1u << 30));
    if (!ReadFile(handle_of(handle_), out + done, want, &got, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) SetLastError(DWORD(kErrorIo));
      return false;
    }
    if (got == 0) {
      SetLastError(DWORD(kErrorIo));  // the file became shorter while it was read
      return false;
    }
    done += got;
  }
  return true;
}

bool file_size(const std::u16string& path, uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(wide(path), GetFileExInfoStandard, &data)) return false;
  size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool file_size(const std::string& native, uint64_t& size) {
  std::wstring path;
  if (!wide_of(native, path)) return false;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool resolved_path(const std::u16string& path, std::u16string& out) {
  // The longest leading part that exists is resolved by the system (links, "." and ".."); the
  // rest is appended as it stands.
  std::u16string existing = path, rest;
  while (!existing.empty() && GetFileAttributesW(wide(existing)) == INVALID_FILE_ATTRIBUTES) {
    const size_t cut = existing.find_last_of(u"\\/");
    if (cut == std::u16string::npos) {
      existing.clear();
      break;
    }
    rest.insert(0, existing.substr(cut));
    existing.erase(cut);
  }
  if (existing.empty()) {
    const DWORD n = GetFullPathNameW(wide(path), 0, nullptr, nullptr);
    if (n == 0) return false;
    std::wstring full(n, L'\0');
    const DWORD m = GetFullPathNameW(wide(path), n, full.data(), nullptr);
    if (m == 0 || m >= n) return false;
    out.assign(reinterpret_cast<const char16_t*>(full.data()), m);
    return true;
  }
  HANDLE h = CreateFileW(wide(existing), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::wstring final_path(32768, L'\0');
  const DWORD n = GetFinalPathNameByHandleW(h, final_path.data(), DWORD(final_path.size()),
                                            FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(h);
  if (n == 0 || n >= final_path.size()) return false;
  out.assign(reinterpret_cast<const char16_t*>(final_path.data()), n);
  out += rest;
  return true;
}

output_file::~output_file() { close(); }

bool output_file::create(const std::string& native) {
  std::u16string path;
  if (utf16_path(native, path)) return create(path);
  close();
  return false;
}

bool output_file::create(const std::u16string& path) {
  close();
  if (faults().create_file) {
    if (int e = faults().create_file(native_path(path))) {
      SetLastError(DWORD(e));
      return false;
    }
  }
  // No sharing: nobody reads a repository file while it is being written.
  HANDLE h = CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  path_ = native_path(path);
  unnamed_ = false;
  return true;
}

// Windows has no unnamed files that can be named later: the caller writes under a temporary name.
bool output_file::create_unnamed(const std::string&) {
  close();
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool output_file::commit(const std::string&) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool output_file::write(const uint8_t* data, uint32_t n, uint32_t& written) {
  written = 0;
  if (faults().write_file) {
    if (int e = faults().write_file(path_)) {
      SetLastError(DWORD(e));
      return false;
    }
  }
  DWORD done = 0;
  if (!WriteFile(handle_of(handle_), data, n, &done, nullptr)) return false;
  written = done;
  return true;
}

bool output_file::close() {
  if (!is_open()) return true;
  const bool ok = CloseHandle(handle_of(handle_)) != 0;
  handle_ = kNoHandle;
  unnamed_ = false;
  return ok;
}

bool rename_path(const std::u16string& from, const std::u16string& to) {
  return MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool rename_path(const std::string& from, const std::string& to) {
  std::u16string wide_from, wide_to;
  return utf16_path(from, wide_from) && utf16_path(to, wide_to) && rename_path(wide_from, wide_to);
}

bool remove_path(const std::u16string& path) { return DeleteFileW(wide(path)) != 0; }

bool remove_path(const std::string& native) {
  std::u16string path;
  return utf16_path(native, path) && remove_path(path);
}

bool remove_directory(const std::u16string& path) { return RemoveDirectoryW(wide(path)) != 0; }

std::FILE* open_for_appending(const std::u16string& path) {
  // The runtime opens the file with CreateFileW, which leaves its error as the last error.
  return _wfsopen(wide(path), L"ab", _SH_DENYNO);
}

fault_hooks& faults() {
  static fault_hooks hooks;
  return hooks;
}

int file_hold::acquire(const std::u16string& path, bool wait) {
  release();
  HANDLE h = CreateFileW(wide(path), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kFailed;
  OVERLAPPED at = {};
  const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  if (!LockFileEx(h, flags, 0, 1, 0, &at)) {
    const DWORD error = GetLastError();
    CloseHandle(h);
    SetLastError(error);
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? kBusy : kFailed;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  return kHeld;
}

void file_hold::release() {
  if (handle_ == kNoHandle) return;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  OVERLAPPED at = {};
  UnlockFileEx(h, 0, 1, 0, &at);
  CloseHandle(h);
  handle_ = kNoHandle;
}

}  // namespace repcopy::platform

extern "C" int __cxa_thread_atexit(void (*)(void*), void*, void*);

namespace {

// thread_local objects (the writers' buffers, the compressors) live in MinGW's emulated
// thread-local storage, and both their destructors and that storage are released at a thread's
// end by thread-specific keys, in the order the keys were made. Registering one thread_local
// destructor before any thread-local variable is touched makes the C++ runtime's key the older
// one, so that the objects are destroyed before their storage is freed, not after (which freed
// garbage pointers at thread exit).
void no_cleanup(void*) {}
struct thread_exit_order {
  thread_exit_order() { __cxa_thread_atexit(no_cleanup, nullptr, nullptr); }
};
const thread_exit_order first_thread_exit_key __attribute__((init_priority(101)));

}  // namespace
