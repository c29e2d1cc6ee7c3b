#pragma once
// The program's entry and the first half of a run: banner, options, refused combinations and
// paths, the filter_config; then the run sequence.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "app/option_parser.h"
#include "app/run_sequence.h"

namespace repcopy {

inline constexpr const char* kOptionString = "hvcd:r:f:t:i:j:nq";

// Codes of the long options (above any letter).
enum long_option_code : int {
  kOptHelp = 256,
  kOptVersion,
  kOptDryRun,
  kOptQuiet,
  kOptJson,
  kOptThreads,
  kOptReadThreads,
  kOptShard,
  kOptLevel,
  kOptAllowDuplicates,
  kOptLog,
};
// The long options beside the letters. A new one is one row here, one case in the option loop
// and one line in more_options_text (app/usage.cpp).
inline constexpr long_option kLongOptions[] = {
    {"help", false, kOptHelp},   {"version", false, kOptVersion}, {"dry-run", false, kOptDryRun},
    {"quiet", false, kOptQuiet}, {"json", true, kOptJson},        {"threads", true, kOptThreads},
    {"read-threads", true, kOptReadThreads}, {"shard", true, kOptShard},
    {"level", true, kOptLevel},             {"allow-duplicates", false, kOptAllowDuplicates},
    {"log", true, kOptLog},
};
inline constexpr int32_t kMaxThreads = 256;
inline constexpr int32_t kMaxReadThreads = 64;

// Results of run_function besides the exit codes of a run.
inline constexpr int kRunStopped = -1;  // the usage (-h, --help) or the version was printed
inline constexpr int kRunRefused = -2;  // usage error: one line on standard error, nothing done

using run_sequence_fn = std::function<int(const run_request&)>;

// Prints the banner, parses the options, builds the filter_config and checks the paths, then
// calls sequence. Returns kRunStopped, kRunRefused, the sequence's result (0, 3 or 130), or
// kExitFatal when an exception left the run (after printing "sub_main_ferrix exception" on
// standard output). verbose is set by -v unless -q or "--json -" take standard output.
// record, when given, receives what the options and the run leave for the JSON summary.
int run_function(int argc, char** argv, uint64_t start_time, bool& verbose,
                 const run_sequence_fn& sequence = run_sequence, run_record* record = nullptr);

// The argument of the last long option with this code (--json, --log), and whether -q is given,
// found before the options are checked ("" without one).
std::string option_argument(int argc, char** argv, int code);
bool quiet_argument(int argc, char** argv);

// The program's entry: takes the start time, runs, and in verbose mode prints a second
// elapsed-time line. Returns the exit code: 0 after the help, 2 after a usage error, else the
// run's result. With --json the summary is written on every exit but the help's and version's.
int entry_point(int argc, char** argv);
int entry_point(int argc, char** argv, const run_sequence_fn& sequence);

}  // namespace repcopy
