#pragma once
// The repdump command line: show, verify, stats and diff.

#include <iosfwd>

namespace repcopy {

inline constexpr int kRepdumpUsageError = 2;

// Runs one repdump command; returns its exit code (2 after a usage error, with the usage on
// err). Reports go to out; show prints where the buffer classes print, on standard output.
int run_repdump(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace repcopy
