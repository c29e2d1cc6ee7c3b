#include "app/run.h"

#include <iostream>
#include <string>

#include "app/elapsed.h"
#include "app/option_parser.h"
#include "app/usage.h"
#include "filters/event_id_filter.h"
#include "filters/time_window.h"
#include "platform/platform.h"
#include "util/fatal.h"
#include "util/leading_int.h"
#include "util/time_text.h"

namespace repcopy {

namespace {

// Time-option states of the option loop; 3 to 5 are also the window kinds.
constexpr uint32_t kNoTime = 0;

int refuse(std::string_view message, std::string_view program) {
  std::cerr << message << std::endl;
  print_usage(program);
  return -1;
}

// A date text that does not form a valid time would give the window an undefined bound; it is
// refused like the other bad combinations, naming the option and the text.
bool date_accepted(char option, const std::string& text, std::string_view program) {
  if (date_text_time(text)) return true;
  refuse(std::string("Invalid date for -") + option + ": " + text +
             " (expected YYYY[MM[DD[HH[mm]]]] in UTC, from 1970 to 2106)",
         program);
  return false;
}

int run_options(int argc, char** argv, uint64_t start_time, bool& verbose,
                const run_sequence_fn& sequence) {
  const std::string_view program = program_name(argc > 0 ? argv[0] : nullptr);
  if (argc < 2) {
    print_usage(program);
    return -1;
  }

  uint32_t time_state = kNoTime;
  int32_t count_back = -1;
  std::string from_text, to_text;
  uint32_t id_kind = 0;
  std::string id_text;

  option_parser parser(argc, argv, kOptionString);
  for (int letter; (letter = parser.next()) != option_parser::kEnd;) {
    switch (letter) {
      case 'd':
      case 'r':
        if (time_state != kNoTime) return refuse("Wrong filter configuration!", program);
        time_state = letter == 'd' ? kTimeDaysBack : kTimeHoursBack;
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
        print_usage(program);
        return -1;
      case 'i':
      case 'j':
        id_kind = letter == 'i' ? kIdWhiteList : kIdBlackList;
        id_text = parser.argument();
        break;
      case 'v':
        verbose = true;
        break;
      default:  // 'c' has no effect; '?' follows the parser's own message
        break;
    }
  }

  run_request request;
  filter_config& filter = request.filter;
  if (time_state == kTimeDaysBack || time_state == kTimeHoursBack) {
    time_window_back(filter, time_state, count_back, current_time());
  } else if (time_state != kNoTime) {
    if (time_state != kTimeToOnly && !date_accepted('f', from_text, program)) return -1;
    if (time_state != kTimeFromOnly && !date_accepted('t', to_text, program)) return -1;
    time_window_dates(filter, time_state, from_text, to_text);
    filter.time_on = true;
  }
  if (id_kind != 0) set_id_filter(filter, id_kind, id_text);

  // The paths are the last two arguments, whatever the parser consumed.
  request.source_path = argv[argc - 2];
  request.target_path = argv[argc - 1];
  request.verbose = verbose;
  request.start_time = start_time;
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
    return 0;
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
  if (result == -1) return 0;
  if (verbose) print_elapsed(start_time, platform::system_time_as_filetime());
  return result;
}

int entry_point(int argc, char** argv) { return entry_point(argc, argv, run_sequence); }

}  // namespace repcopy
