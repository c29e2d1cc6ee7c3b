#pragma once
// Helpers for the end-to-end tests: run the built executables, snapshot trees, read every event
// of a repository back with our own reader.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "model/full_event.h"
#include "source/rep_source2.h"
#include "tests/process_util.h"
#include "tests/temp_tree.h"
#include "tests/test_console.h"
#include "util/text.h"

namespace repcopy::e2e {

namespace fs = std::filesystem;

struct run_result {
  int exit_code = -1;
  std::string out;
  std::string err;
};

inline std::string read_text(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a shell command with standard output and error captured in files of dir.
inline run_result run_command(const std::string& command, const fs::path& dir) {
  fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
  run_result r;
  r.exit_code = testutil::run_shell(command + " >" + testutil::quoted(out.string()) + " 2>" +
                                    testutil::quoted(err.string()));
  r.out = read_text(out);
  r.err = read_text(err);
  fs::remove(out);
  fs::remove(err);
  return r;
}

inline std::string quoted(const fs::path& p) { return testutil::quoted(p.string()); }

// The lock files by which runs into one target hold a computer and data source against each
// other: the only files besides repository files that a copy leaves in a target.
inline bool is_hold_file(const fs::path& relative) {
  return relative.generic_string().rfind(".repcopy-holds/", 0) == 0 ||
         relative.generic_string().find("/.repcopy-holds/") != std::string::npos;
}

// Every regular file below root with its bytes (lock files left out).
inline std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const fs::path& rel : testutil::files_below(root)) {
    if (is_hold_file(rel)) continue;
    files[rel.generic_string()] = read_text(root / rel);
  }
  return files;
}

// The content of an event without the cache record numbers, which every writer renumbers.
inline full_event content_of(full_event e) {
  e.src_index = e.cat_index = e.comp_index = e.user_index = e.desc_index = 0;
  for (auto& s : e.strings) s.cache_index = 0;
  for (auto& f : e.named_fields) f.name_index = f.value_index = 0;
  return e;
}

// Every event of a repository (hot part, then main part), in a stable order for comparison.
inline std::vector<full_event> read_repository(const fs::path& root) {
  std::vector<full_event> events;
  const std::u16string wide_root = root.u16string();
  for (uint32_t mode : {RepSource2::kModeHot, RepSource2::kModeMain}) {
    RepSource2 source(test_console(), wide_root, mode);
    for (stored_event e; source.next_stored(e) == 0;) events.push_back(content_of(e.to_full_event()));
  }
  std::sort(events.begin(), events.end(), [](const full_event& a, const full_event& b) {
    return std::tie(a.record_key, a.event_time, a.under_data_source) <
           std::tie(b.record_key, b.event_time, b.under_data_source);
  });
  return events;
}

// Standard error without the notice an AddressSanitizer build prints with its process id.
inline std::string without_sanitizer_notice(const std::string& err) {
  std::istringstream in(err);
  std::string kept;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("==", 0) != 0) kept += line + "\n";
  return kept;
}

}  // namespace repcopy::e2e
