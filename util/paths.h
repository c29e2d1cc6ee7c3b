#pragma once
// Command-line paths made absolute, once, before any file call.
//
// Each system has its form. POSIX: a relative path is joined to the current directory, "./x"
// and "../x" are resolved against it, an absolute path is taken as it stands. Windows: the same
// steps with "\" (every "/" typed is made "\"), drive and network paths taken as they stand,
// and the result prefixed "\\?\" (or "\\?\UNC") so that long paths work with every file call.
//
// All forms return 0, or -1 after printing "MultiByteToWideChar: " (or "WideCharToMultiByte: "
// for an unreadable current directory) and the error text on standard output. A result that does
// not fit kMaxPathUnits code units with its terminator is refused. A path with more ".." than the
// current directory has components is a fatal stop (util/fatal.h) with the marker
// "Can't add path <path>\n to\n <cwd>\n".

#include <cstddef>
#include <string>

#include "util/message_sink.h"

namespace repcopy {

inline constexpr size_t kMaxPathUnits = 32768;  // buffer size, terminator included

// The path as typed (UTF-8) to an absolute UTF-16 path, reading the current directory through
// the platform layer only when the path is relative. On failure out holds a lone NUL code unit:
// a path that no system call accepts, so suffixes appended to it by careless callers never name
// a real file or directory.
int to_extended_path(message_sink& messages, const std::string& path, std::u16string& out);

// Pure cores with the current directory passed in (8-bit text, as the system returned it).
int posix_absolute_path(message_sink& messages, const std::string& path, const std::string& cwd,
                        std::u16string& out);
// On failure out holds only the prefix ("\\?\" or "\\?\UNC").
int windows_extended_path(message_sink& messages, const std::string& path, const std::string& cwd,
                          std::u16string& out);

}  // namespace repcopy
