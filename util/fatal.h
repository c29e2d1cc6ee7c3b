#pragma once
// Fatal stops: where the program cannot go on it prints a marker naming the place on standard
// output and ends the process at once with exit code -1 (255 as the shell sees it).

#include <string_view>

namespace repcopy {

inline constexpr int kFatalExitCode = -1;

// Flushes both standard streams and ends the process without running destructors (writer
// threads may still be running).
[[noreturn]] void fatal_exit();
// Prints text exactly as given (no line end added) on standard output, then fatal_exit().
[[noreturn]] void fatal_stop(std::string_view text);

}  // namespace repcopy
