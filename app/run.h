#pragma once
// The program's entry and the first half of a run: banner, options, refused combinations, the
// filter_config; then the run sequence.

#include <cstdint>
#include <functional>

#include "app/run_sequence.h"

namespace repcopy {

inline constexpr const char* kOptionString = "hvcd:r:f:t:i:j:";

using run_sequence_fn = std::function<int(const run_request&)>;

// Prints the banner, parses the options and builds the filter_config, then calls sequence.
// Returns -1 after the usage (-h, no argument, a refused combination or date), otherwise the
// sequence's result (0 or 3), or 0 when an exception left the run (after printing
// "sub_main_ferrix exception" on standard output). verbose is set by -v.
int run_function(int argc, char** argv, uint64_t start_time, bool& verbose,
                 const run_sequence_fn& sequence = run_sequence);

// The program's entry: takes the start time, runs, and in verbose mode prints a second
// elapsed-time line. Returns the exit code: 0 after usage errors, else the run's result.
int entry_point(int argc, char** argv);
int entry_point(int argc, char** argv, const run_sequence_fn& sequence);

}  // namespace repcopy
