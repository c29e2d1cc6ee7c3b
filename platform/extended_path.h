#pragma once
// Command-line paths made absolute, in the form of each system.
//
// POSIX: a relative path is joined to the current directory, "./x" and "../x" are resolved
// against it, an absolute path is taken as it stands. Windows: the same steps with "\" (every "/"
// typed is made "\"), drive and network paths taken as they stand, and the result prefixed "\\?\"
// (or "\\?\UNC") so that long paths work with every file call. The current directory is passed
// in (UTF-8, as the system returned it); util/paths.h reads it and reports the failures.

#include <cstddef>
#include <string>

namespace repcopy::platform {

inline constexpr size_t kMaxPathUnits = 32768;  // buffer size, terminator included

// Results besides 0.
inline constexpr int kPathNotConverted = -1;  // not UTF-8, or too long: the last error says which
inline constexpr int kPathAboveRoot = -2;     // more ".." than the current directory has levels

// The absolute UTF-16 path. A result that does not fit kMaxPathUnits code units with its
// terminator is refused. On failure out holds a lone NUL code unit (POSIX), or only the prefix
// ("\\?\" or "\\?\UNC", Windows).
int posix_absolute_path(const std::string& path, const std::string& cwd, std::u16string& out);
int windows_extended_path(const std::string& path, const std::string& cwd, std::u16string& out);

}  // namespace repcopy::platform
