#include "app/run.h"

#include <algorithm>
#include <iostream>
#include <string>

#include "app/elapsed.h"
#include "app/exit_codes.h"
#include "app/path_checks.h"
#include "app/usage.h"
#include "filters/event_id_filter.h"
#include "filters/shard.h"
#include "filters/time_window.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "util/compression.h"
#include "util/fatal.h"
#include "util/leading_int.h"
#include "util/time_text.h"

namespace repcopy {

namespace {

// Time-option states of the option loop; 3 to 5 are also the window kinds.
constexpr uint32_t kNoTime = 0;

// A usage error: its line (empty when the option parser has written its own), then the usage.
int refuse(std::string_view message, std::string_view program) {
  if (!message.empty()) std::cerr << message << std::endl;
  print_usage(program);
  return kRunRefused;
}

// A date text that does not form a valid time would give the window an undefined bound; it is
// refused like the other bad combinations, naming the option and the text.
bool date_accepted(const std::string& text) { return date_text_time(text).has_value(); }

std::string date_refusal(char option, const std::string& text) {
  return std::string("Invalid date for -") + option + ": " + text +
         " (expected YYYY[MM[DD[HH[mm]]]] in UTC, from 1970 to 2106)";
}

// A count given as all digits, 1 to most (writer threads, compression level).
bool parse_number(const char* text, int32_t most, int32_t& number) {
  const std::string_view digits = text;
  if (digits.empty() || digits.size() > 4 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  number = leading_int32(digits);
  return number >= 1 && number <= most;
}

// The paths must be exactly the last two arguments, after the options: anything else is a
// mistake that would otherwise copy into or out of a directory nobody named.
std::string path_count_refusal(int argc, char** argv, int first) {
  const int count = argc - first;
  if (count > 0 && argv[argc - 1][0] == '-') {
    return std::string("Option after the paths: ") + argv[argc - 1] +
           " (options go before the source and target repository paths)";
  }
  std::string line = "Expected a source and a target repository path after the options, found " +
                     std::to_string(count);
  for (int i = first; i < argc; ++i) line += std::string(i == first ? ": " : " ") + argv[i];
  return line;
}

int run_options(int argc, char** argv, uint64_t start_time, bool& verbose,
                const run_sequence_fn& sequence) {
  const std::string_view program = program_name(argc > 0 ? argv[0] : nullptr);
  if (argc < 2) return refuse("No source and target repository paths given", program);

  uint32_t time_state = kNoTime;
  int32_t count_back = -1;
  std::string from_text, to_text;
  uint32_t id_kind = 0;
  std::string id_text;
  run_request request;

  option_parser parser(argc, argv, kOptionString, kLongOptions);
  for (int option; (option = parser.next()) != option_parser::kEnd;) {
    switch (option) {
      case 'd':
      case 'r':
        if (time_state != kNoTime) return refuse("Wrong filter configuration!", program);
        time_state = option == 'd' ? kTimeDaysBack : kTimeHoursBack;
        count_back = leading_int32(parser.argument());
        break;
      case 'f':
        if (time_state == kTimeToOnly) {
          time_state = kTimeFromTo;
        } else if (time_state != kNoTime) {
          return refuse("Wrong filter configuration!", program);
        } else {
          time_state = kTimeFromOnly;
        }
        from_text = parser.argument();
        break;
      case 't':
        if (time_state == kTimeFromOnly) {
          time_state = kTimeFromTo;
        } else if (time_state != kNoTime) {
          return refuse("Wrong filter", program);
        } else {
          time_state = kTimeToOnly;
        }
        to_text = parser.argument();
        break;
      case 'h':
      case kOptHelp:
        print_usage(program);
        return kRunStopped;
      case kOptVersion:
        std::cout << version_line() << std::flush;
        return kRunStopped;
      case 'i':
      case 'j':
        id_kind = option == 'i' ? kIdWhiteList : kIdBlackList;
        id_text = parser.argument();
        break;
      case 'v':
        verbose = true;
        break;
      case 'n':
      case kOptDryRun:
        request.dry_run = true;
        break;
      case 'q':
      case kOptQuiet:
        request.quiet = true;
        break;
      case kOptAllowDuplicates:
        request.allow_duplicates = true;
        break;
      case kOptJson:
        if (parser.argument()[0] == '\0') return refuse("Empty file name for --json", program);
        request.json_path = parser.argument();
        break;
      case kOptLevel:
        if (!parse_number(parser.argument(), compression::kMaxLevel, request.level)) {
          return refuse(std::string("Invalid level for --level: ") + parser.argument() +
                            " (expected 1 to 12)",
                        program);
        }
        break;
      case kOptThreads:
        if (!parse_number(parser.argument(), kMaxThreads, request.threads)) {
          return refuse(std::string("Invalid number for --threads: ") + parser.argument() +
                            " (expected 1 to " + std::to_string(kMaxThreads) + ")",
                        program);
        }
        break;
      case kOptReadThreads:
        if (!parse_number(parser.argument(), kMaxReadThreads, request.read_threads)) {
          return refuse(std::string("Invalid --read-threads: ") + parser.argument() +
                            " (expected 1 to " + std::to_string(kMaxReadThreads) + ")",
                        program);
        }
        break;
      case kOptShard:
        if (!parse_shard(parser.argument(), request.filter.shard_index,
                         request.filter.shard_count)) {
          return refuse(std::string("Invalid --shard: ") + parser.argument() +
                            " (expected K/N with 0 <= K < N)",
                        program);
        }
        break;
      case 'c':  // accepted, no effect
        break;
      default:  // '?': the parser has named the option
        return refuse("", program);
    }
  }

  filter_config& filter = request.filter;
  if (time_state == kTimeDaysBack || time_state == kTimeHoursBack) {
    time_window_back(filter, time_state, count_back, current_time());
  } else if (time_state != kNoTime) {
    if (time_state != kTimeToOnly && !date_accepted(from_text)) {
      return refuse(date_refusal('f', from_text), program);
    }
    if (time_state != kTimeFromOnly && !date_accepted(to_text)) {
      return refuse(date_refusal('t', to_text), program);
    }
    time_window_dates(filter, time_state, from_text, to_text);
    filter.time_on = true;
  }
  if (id_kind != 0) set_id_filter(filter, id_kind, id_text);

  if (argc - parser.index() != 2 || argv[argc - 1][0] == '-') {
    return refuse(path_count_refusal(argc, argv, parser.index()), program);
  }
  request.source_path = argv[argc - 2];
  request.target_path = argv[argc - 1];
  if (std::optional<std::string> refusal = path_refusal(request.source_path, request.target_path)) {
    return refuse(*refusal, program);
  }

  // Standard output belongs to the JSON with "--json -", and to nothing with -q.
  if (request.quiet || request.json_path == "-") verbose = false;
  request.verbose = verbose;
  request.start_time = start_time;
  request.progress = !request.quiet && platform::standard_error_is_terminal();
  return sequence(request);
}

}  // namespace

int run_function(int argc, char** argv, uint64_t start_time, bool& verbose,
                 const run_sequence_fn& sequence) {
  std::cerr.tie(&std::cout);
  print_banner();
  try {
    return run_options(argc, argv, start_time, verbose, sequence);
  } catch (const fatal_error&) {
    throw;  // the entry point ends the process
  } catch (...) {
    std::cout << "sub_main_ferrix exception" << std::endl;
    return kExitFatal;
  }
}

int entry_point(int argc, char** argv, const run_sequence_fn& sequence) {
  const uint64_t start_time = platform::system_time_as_filetime();
  bool verbose = false;
  int result = 0;
  try {
    result = run_function(argc, argv, start_time, verbose, sequence);
  } catch (const fatal_error& error) {
    print_fatal(error, std::cout, std::cerr);
    return kFatalExitCode;
  }
  if (result == kRunStopped) return kExitSuccess;
  if (result == kRunRefused) return kExitUsage;
  if (verbose) print_elapsed(start_time, platform::system_time_as_filetime());
  return result;
}

int entry_point(int argc, char** argv) { return entry_point(argc, argv, run_sequence); }

}  // namespace repcopy
