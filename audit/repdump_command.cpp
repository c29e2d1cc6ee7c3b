#include "audit/repdump_command.h"

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "audit/diff.h"
#include "audit/rep_files.h"
#include "audit/show.h"
#include "audit/stats.h"
#include "audit/verify.h"
#include "filters/event_id_filter.h"
#include "filters/time_window.h"
#include "platform/platform.h"
#include "util/leading_int.h"
#include "util/paths.h"
#include "util/text.h"
#include "util/time_text.h"
#include "version.h"

namespace repcopy {

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  repdump show FILE...            dump each repository file as the readers see it\n"
    "  repdump verify DIR|FILE...      check every *.rep file; exit 1 when any is damaged\n"
    "  repdump stats [--json] DIR...   files, events, times and bytes per domain, computer\n"
    "                                  and data source\n"
    "  repdump diff SRC DST [-d days | -r hours | -f from -t to] [-i ids | -j ids]\n"
    "                                  prove that DST holds every event of SRC that passes\n"
    "                                  the filters exactly once, and nothing else;\n"
    "                                  exit 1 when not\n"
    "  repdump -h | --help | --version\n"
    "Filters as in repcopy: -d/-r days or hours back (UTC), -f/-t dates\n"
    "YYYY[MM[DD[HH[mm[ss]]]]] (UTC), -i white list, -j black list of EventIDs (\"4624,4634\").\n"
    "Exit codes: 0 all good, 1 damage or differences found, 2 usage error (a missing path, a\n"
    "folder with no .rep file for verify, an unknown option), 255 fatal stop.\n";

int usage(std::ostream& err, const std::string& problem = "") {
  if (!problem.empty()) err << "repdump: " << problem << "\n";
  err << kUsage;
  err.flush();
  return kRepdumpUsageError;
}

std::vector<std::u16string> wide_paths(message_sink& messages,
                                       const std::vector<std::string>& args) {
  std::vector<std::u16string> out;
  for (const std::string& a : args) {
    std::u16string w;
    // On Windows the extended-length form repcopy uses, so that paths past 260 characters open;
    // elsewhere the path as typed, which is also how the output names it.
    if (!platform::kWindows || to_extended_path(messages, a, w) != 0) {
      w.clear();
      from_utf8(a, w);
    }
    out.push_back(std::move(w));
  }
  return out;
}

// The time and EventID options of repcopy, with its refused combinations.
bool parse_filter(message_sink& messages, const std::vector<std::string>& args,
                  filter_config& filter, std::vector<std::string>& positional,
                  std::string& problem) {
  uint32_t time_state = 0;
  std::string from, to;
  int32_t back = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() != 2 || a[0] != '-') {
      positional.push_back(a);
      continue;
    }
    if (i + 1 == args.size()) {
      problem = "option " + a + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    switch (a[1]) {
      case 'd':
      case 'r':
        if (time_state != 0) return problem = "Wrong filter configuration!", false;
        time_state = a[1] == 'd' ? kTimeDaysBack : kTimeHoursBack;
        back = leading_int32(value.c_str());
        break;
      case 'f':
      case 't': {
        const bool is_from = a[1] == 'f';
        const uint32_t other = is_from ? kTimeToOnly : kTimeFromOnly;
        if (time_state != 0 && time_state != other) {
          return problem = "Wrong filter configuration!", false;
        }
        if (!date_text_time(value)) {
          problem = "Invalid date for " + a + ": " + value +
                    " (expected YYYY[MM[DD[HH[mm[ss]]]]] in UTC, from 1970 to 2106)";
          return false;
        }
        time_state = time_state == other ? kTimeFromTo : (is_from ? kTimeFromOnly : kTimeToOnly);
        (is_from ? from : to) = value;
        break;
      }
      case 'i':
      case 'j':
        set_id_filter(filter, a[1] == 'i' ? kIdWhiteList : kIdBlackList, value);
        break;
      default:
        problem = "unknown option " + a;
        return false;
    }
  }
  if (time_state == kTimeDaysBack || time_state == kTimeHoursBack) {
    time_window_back(filter, time_state, back, current_time());
  } else if (time_state != 0) {
    time_window_dates(messages, filter, time_state, from, to);
    filter.time_on = true;
  }
  return true;
}

// The native form of each path argument: the bytes as typed, so that names that are not UTF-8
// are found; on Windows the extended-length form repcopy uses, so that paths past 260
// characters open.
std::vector<std::string> native_paths(message_sink& messages,
                                      const std::vector<std::string>& args) {
  if (!platform::kWindows) return args;
  std::vector<std::string> out;
  for (const std::string& a : args) {
    std::u16string w;
    out.push_back(to_extended_path(messages, a, w) == 0 ? platform::native_path(w) : a);
  }
  return out;
}

// A path argument that names nothing, or an option where a path must be: the usage error's
// text, or empty when every argument is a file or a directory. With rep_files_needed, a directory
// without any "*.rep" file below it is a mistake too (a check of the wrong folder).
std::string path_problem(message_sink& messages, const std::vector<std::string>& args,
                         bool rep_files_needed) {
  for (const std::string& a : args) {
    if (!a.empty() && a[0] == '-') return "unknown option " + a;
    const std::string native = native_paths(messages, {a}).front();
    uint64_t size = 0;
    const bool directory = platform::is_directory(native);
    if (!directory && !platform::file_size(native, size)) {
      return "no such file or directory: " + platform::display_name(a);
    }
    if (rep_files_needed && directory) {
      // A directory that cannot be listed is reported by verify itself, as damage.
      const rep_file_list found = list_rep_files({native});
      if (found.files.empty() && found.unreadable.empty()) {
        return "no repository file (*.rep) in " + platform::display_name(a);
      }
    }
  }
  return "";
}

}  // namespace

int run_repdump(int argc, char** argv, std::ostream& out, std::ostream& err) {
  // The readers' lines (and show's dump) go to the same two streams as the reports.
  stream_sink messages(out, err);
  if (argc < 2) return usage(err);
  const std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "show") {
    if (args.empty()) return usage(err, "show needs at least one file");
    if (std::string problem = path_problem(messages, args, false); !problem.empty()) {
      return usage(err, problem);
    }
    return run_show(messages, native_paths(messages, args));  // the file system's names
  }
  if (command == "verify") {
    if (args.empty()) return usage(err, "verify needs at least one directory or file");
    if (std::string problem = path_problem(messages, args, true); !problem.empty()) {
      return usage(err, problem);
    }
    return run_verify(native_paths(messages, args), out);
  }
  if (command == "stats") {
    bool json = false;
    std::vector<std::string> dirs;
    for (const std::string& a : args) (a == "--json" ? json = true : (dirs.push_back(a), false));
    if (dirs.empty()) return usage(err, "stats needs a directory");
    if (std::string problem = path_problem(messages, dirs, false); !problem.empty()) {
      return usage(err, problem);
    }
    const repository_stats stats = collect_stats(native_paths(messages, dirs));
    json ? print_stats_json(stats, out) : print_stats_text(stats, out);
    return 0;
  }
  if (command == "diff") {
    diff_options options;
    std::vector<std::string> roots;
    std::string problem;
    if (!parse_filter(messages, args, options.filter, roots, problem)) return usage(err, problem);
    if (roots.size() != 2) return usage(err, "diff needs a source and a target directory");
    const std::vector<std::u16string> paths = wide_paths(messages, roots);
    for (const std::u16string& p : paths) {
      if (!platform::is_directory(p)) return usage(err, "not a directory: " + to_utf8(p));
    }
    return run_diff(paths[0], paths[1], options, out);
  }
  if (command == "-h" || command == "--help" || command == "help") {
    out << kUsage;
    return 0;
  }
  if (command == "--version") {
    char version[64];
    std::snprintf(version, sizeof version, "repdump %d.%d.%d.%02d\n", REPCOPY_VERSION_MAJOR,
                  REPCOPY_VERSION_MINOR, REPCOPY_VERSION_PATCH, REPCOPY_VERSION_TWEAK);
    out << version;
    return 0;
  }
  return usage(err, "unknown command " + command);
}

}  // namespace repcopy
