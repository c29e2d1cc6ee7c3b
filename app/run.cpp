#include "app/run.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/elapsed.h"
#include "app/exit_codes.h"
#include "app/json_summary.h"
#include "app/path_checks.h"
#include "app/progress.h"
#include "app/usage.h"
#include "compression/deflate.h"
#include "filters/event_id_filter.h"
#include "filters/shard.h"
#include "filters/time_window.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "util/fatal.h"
#include "util/leading_int.h"
#include "util/time_text.h"

namespace repcopy {

namespace {

// Time-option states of the option loop; 3 to 5 are also the window kinds.
constexpr uint32_t kNoTime = 0;

// The run's console, or the process's own where the caller gave no record (tests).
message_sink& console_of(run_record* record) {
  if (record != nullptr && record->console != nullptr) return *record->console;
  return plain_console();
}

// A usage error: its line (empty when the option parser has written its own), then the usage.
// The line is kept for the JSON summary; with "--json -" standard output is the summary's, so the
// usage is left out.
int refuse(std::string_view message, std::string_view program, run_record* record = nullptr,
           bool show_usage = true) {
  if (!message.empty()) console_of(record).err(message_kind::error) << message;
  if (record != nullptr && !message.empty()) record->error = message;
  if (show_usage && (record == nullptr || record->json_path != "-"))
    print_usage(console_of(record), program);
  return kRunRefused;
}

// The lenient number rules read the leading number of a text and ignore the rest; a text that is
// not exactly a number (optional sign, then digits) gets one warning line saying what it was
// read as, so that a typo does not go unnoticed.
bool plain_number(std::string_view text) {
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The warnings are printed once the whole command line is accepted: a refused one only gets its
// refusal.
using warnings = std::vector<std::string>;

void warn_read_as(warnings& out, char option, std::string_view text, const std::string& value) {
  out.push_back(std::string(1, '-') + option + ": \"" + std::string(text) + "\" read as " + value);
}

void warn_lenient_number(warnings& out, char option, std::string_view text, int64_t value) {
  if (!plain_number(text)) warn_read_as(out, option, text, std::to_string(value));
}

void warn_lenient_ids(warnings& out, char option, std::string_view text,
                      const std::vector<uint32_t>& ids) {
  size_t start = 0;
  for (uint32_t id : ids) {
    const size_t comma = text.find(',', start);
    const std::string_view piece = text.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    warn_lenient_number(out, option, piece, id);
    start = comma == std::string_view::npos ? text.size() : comma + 1;
  }
}

// A date text is read by fixed fields; all digits in whole fields (4, 6, 8, 10, 12 or 14 digits)
// is the plain form, anything else gets the warning with the time it was read as.
void warn_lenient_date(warnings& out, char option, const std::string& text) {
  const bool whole_fields = text.size() >= 4 && text.size() <= 14 && text.size() % 2 == 0;
  if (whole_fields && text.find_first_not_of("0123456789") == std::string::npos) return;
  if (const std::optional<uint32_t> time = date_text_time(text)) {
    warn_read_as(out, option, text, utc_text(*time));
  }
}

// A date text that does not form a valid time would give the window an undefined bound; it is
// refused like the other bad combinations, naming the option and the text.
bool date_accepted(const std::string& text) { return date_text_time(text).has_value(); }

std::string date_refusal(char option, const std::string& text) {
  return std::string("Invalid date for -") + option + ": " + text +
         " (expected YYYY[MM[DD[HH[mm[ss]]]]] in UTC, from 1970 to 2106)";
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
                const run_sequence_fn& sequence, run_record* record) {
  const std::string_view program = program_name(argc > 0 ? argv[0] : nullptr);
  // With -q standard output stays empty: the refusal's line alone says what is wrong.
  const bool quiet = quiet_argument(argc, argv);
  const auto refuse = [&](std::string_view message, std::string_view name) {
    return repcopy::refuse(message, name, record, !quiet);
  };
  if (argc < 2) return refuse("No source and target repository paths given", program);

  uint32_t time_state = kNoTime;
  int32_t count_back = -1;
  std::string from_text, to_text;
  uint32_t id_kind = 0;
  std::string id_text;
  run_request request;
  warnings said;  // what the lenient number rules changed

  option_parser parser(argc, argv, kOptionString, kLongOptions);
  for (int option; (option = parser.next()) != option_parser::kEnd;) {
    switch (option) {
      case 'd':
      case 'r':
        if (time_state != kNoTime) return refuse("Wrong filter configuration!", program);
        time_state = option == 'd' ? kTimeDaysBack : kTimeHoursBack;
        count_back = leading_int32(parser.argument());
        warn_lenient_number(said, char(option), parser.argument(), count_back);
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
        print_usage(console_of(record), program);
        return kRunStopped;
      case kOptVersion:
        console_of(record).write(message_kind::summary, message_stream::out, version_line());
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
      case kOptLog:  // opened by the entry point, before the banner
        if (record != nullptr && !record->log_error.empty()) {
          return refuse(record->log_error, program);
        }
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
        if (record != nullptr) {
          record->error = parser.last_message();
          // Written straight to the descriptor: the log gets it here.
          if (record->console != nullptr)
            record->console->log_line(message_kind::error, record->error);
        }
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
    if (time_state != kTimeToOnly) warn_lenient_date(said, 'f', from_text);
    if (time_state != kTimeFromOnly) warn_lenient_date(said, 't', to_text);
    time_window_dates(console_of(record), filter, time_state, from_text, to_text);
    filter.time_on = true;
    // A window that ends before it begins copies nothing: surely not what was meant.
    if (time_state == kTimeFromTo && filter.time_from > filter.time_to) {
      return refuse("Invalid dates: -f " + from_text + " (" + utc_text(filter.time_from) +
                        ") is later than -t " + to_text + " (" + utc_text(filter.time_to) + ")",
                    program);
    }
  }
  if (id_kind != 0) {
    set_id_filter(filter, id_kind, id_text);
    warn_lenient_ids(said, id_kind == kIdWhiteList ? 'i' : 'j', id_text, filter.ids);
  }
  if (record != nullptr) {
    record->filter = filter;
    record->filter_read = true;
    record->count_back = count_back;
    record->dry_run = request.dry_run;
    record->quiet = request.quiet;
  }

  if (argc - parser.index() != 2 || argv[argc - 1][0] == '-') {
    return refuse(path_count_refusal(argc, argv, parser.index()), program);
  }
  request.source_path = argv[argc - 2];
  request.target_path = argv[argc - 1];
  if (record != nullptr) {
    record->source_path = request.source_path;
    record->target_path = request.target_path;
  }
  if (std::optional<std::string> refusal =
          path_refusal(console_of(record), request.source_path, request.target_path)) {
    return refuse(*refusal, program);
  }

  for (const std::string& line : said) console_of(record).err(message_kind::warning) << line;

  // Standard output belongs to the JSON with "--json -", and to nothing with -q.
  if (request.quiet || request.json_path == "-") verbose = false;
  request.verbose = verbose;
  request.start_time = start_time;
  request.progress =
      !request.quiet && request.json_path != "-" && platform::standard_error_is_terminal();
  request.record = record;
  return sequence(request);
}

}  // namespace

std::string option_argument(int argc, char** argv, int code) {
  std::string text;
  option_parser parser(argc, argv, kOptionString, kLongOptions);
  parser.set_silent(true);
  for (int option; (option = parser.next()) != option_parser::kEnd;) {
    if (option == code) text = parser.argument();
  }
  return text;
}

bool quiet_argument(int argc, char** argv) {
  bool quiet = false;
  option_parser parser(argc, argv, kOptionString, kLongOptions);
  parser.set_silent(true);
  for (int option; (option = parser.next()) != option_parser::kEnd;) {
    quiet = quiet || option == 'q' || option == kOptQuiet;
  }
  return quiet;
}

int run_function(int argc, char** argv, uint64_t start_time, bool& verbose,
                 const run_sequence_fn& sequence, run_record* record) {
  std::cerr.tie(&std::cout);
  // -q: standard error gets warnings and errors only.
  if (!quiet_argument(argc, argv)) print_banner(console_of(record));
  try {
    return run_options(argc, argv, start_time, verbose, sequence, record);
  } catch (const fatal_error&) {
    throw;  // the entry point ends the process
  } catch (...) {
    console_of(record).out(message_kind::error) << "sub_main_ferrix exception";
    if (record != nullptr) record->error = "sub_main_ferrix exception";
    return kExitFatal;
  }
}

namespace {

// The line of a fatal stop for the summary: its marker and error text, line ends as "; ".
std::string fatal_summary_text(const fatal_error& error) {
  std::string text;
  for (const std::string& part : {error.marker(), error.error_text()}) {
    for (char c : part) {
      if (c == '\n') {
        if (!text.empty() && text.back() != ' ') text += "; ";
      } else if (c != '\r') {
        text += c;
      }
    }
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == ';')) text.pop_back();
  return text;
}

}  // namespace

int entry_point(int argc, char** argv, const run_sequence_fn& sequence) {
  const uint64_t start_time = platform::system_time_as_filetime();
  // The summary's path is looked for before the options are checked, so that a usage error is
  // written to it too.
  run_record record;
  record.start_time = start_time;
  record.json_path = option_argument(argc, argv, kOptJson);
  // Every line of the run passes the console (handed down from here as the message sink): the
  // progress line, -q and --log are kept there.
  console_output console(quiet_argument(argc, argv));
  record.console = &console;
  if (const std::string log = option_argument(argc, argv, kOptLog); !log.empty()) {
    std::string reason;
    if (!console.open_log(log, reason))
      record.log_error = "Can't open the log file " + log + ": " + reason;
  }
  const auto finish = [&](int exit_code) {
    record.exit_code = exit_code;
    if (record.end_time == 0) record.end_time = platform::system_time_as_filetime();
    write_json_summary(record);
    return exit_code;
  };
  bool verbose = false;
  int result = 0;
  try {
    result = run_function(argc, argv, start_time, verbose, sequence, &record);
  } catch (const fatal_error& error) {
    console.clear_progress();
    print_fatal(error, console);
    record.error = fatal_summary_text(error);
    finish(kExitFatal);
    return kFatalExitCode;
  }
  if (result == kRunStopped) return kExitSuccess;  // the help or the version: not a run
  if (result == kRunRefused) return finish(kExitUsage);
  if (verbose) print_elapsed(console, start_time, platform::system_time_as_filetime());
  return finish(result);
}

int entry_point(int argc, char** argv) { return entry_point(argc, argv, run_sequence); }

}  // namespace repcopy
