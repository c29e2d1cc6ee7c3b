#pragma once
// Command-line paths made absolute, once, before any file call, in the form of the system
// (platform/extended_path.h).
//
// Returns 0, or -1 after printing "MultiByteToWideChar: " (or "WideCharToMultiByte: " for an
// unreadable current directory) and the error text on standard output. A path with more ".."
// than the current directory has components is a fatal stop (util/fatal.h) with the marker
// "Can't add path <path>\n to\n <cwd>\n".

#include <string>

#include "util/message_sink.h"

namespace repcopy {

// The path as typed (UTF-8) to an absolute UTF-16 path, reading the current directory through
// the platform layer only when the path is relative. On failure out holds a lone NUL code unit:
// a path that no system call accepts, so suffixes appended to it by careless callers never name
// a real file or directory.
int to_extended_path(message_sink& messages, const std::string& path, std::u16string& out);

// The same with the current directory passed in, in the Windows form or the POSIX one.
int absolute_path(message_sink& messages, bool windows, const std::string& path,
                  const std::string& cwd, std::u16string& out);

}  // namespace repcopy
