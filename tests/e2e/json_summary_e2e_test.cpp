// End-to-end: the JSON summary as a monitor reads it. Every way a run ends leaves a complete
// summary whose exit code is the process's and whose cause is counted; the README documents
// every field a summary holds. (An interrupted and a killed run: command_line_e2e_test.cpp.)

#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "tests/e2e/e2e_util.h"

namespace repcopy::e2e {
namespace {

using json = nlohmann::json;
using test::bytes;

// The top-level fields and those one level down ("object.field").
std::set<std::string> field_names(const json& j) {
  std::set<std::string> names;
  for (const auto& [key, value] : j.items()) {
    names.insert(key);
    if (value.is_object()) {
      for (const auto& [sub, unused] : value.items()) names.insert(key + "." + sub);
    }
  }
  return names;
}

// The names in the first column of the README's field table under "### JSON summary".
std::set<std::string> documented_fields() {
  const std::string readme = read_text(fs::path(REPCOPY_SOURCE_DIR) / "README.md");
  const size_t start = readme.find("### JSON summary\n");
  const size_t end = readme.find("\n## ", start);
  const std::string section = readme.substr(start, end - start);
  std::set<std::string> names;
  static const std::regex row("\n\\| `([a-z_.]+)` \\|");
  for (std::sregex_iterator it(section.begin(), section.end(), row), e; it != e; ++it) {
    names.insert((*it)[1]);
  }
  return names;
}

class JsonSummaryEndToEnd : public e2e_test {
 protected:
  void SetUp() override {
    e2e_test::SetUp();
    fs::permissions(dir_, fs::perms::all);
    json_ = dir_ / "summary.json";
  }
  fs::path json_;
};

struct exit_case {
  const char* name;
  std::function<void(const fs::path& source, const fs::path& target)> build;
  std::string options;  // before the paths
  int exit_code;
  json::json_pointer cause;  // a count that is not 0 or a text that is not null
  bool unprivileged = false;
  bool missing_source = false;
  std::string target_text = {};  // the target as typed, from the test's directory
};

TEST_F(JsonSummaryEndToEnd, EveryExitLeavesACompleteSummaryWithItsCodeAndCause) {
  const auto sound = [](const fs::path& s, const fs::path&) {
    put(s / "Environment$/A/a.rep", rep_file(10));
  };
  const exit_case cases[] = {
      {"everything copied", sound, "", 0, json::json_pointer("/events/written")},
      {"usage error", sound, "-d 1 -r 2", 2, json::json_pointer("/error")},
      {"missing source", sound, "", 2, json::json_pointer("/error"), false, true},
      {"damaged source file",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         put(s / "Environment$/B/bad.rep", bytes(600, 0));
       },
       "", 3, json::json_pointer("/not_copied/damaged_source_files")},
      {"unreadable file",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         put(s / "Environment$/B/locked.rep", rep_file(20));
         fs::permissions(s / "Environment$/B/locked.rep", fs::perms::none);
       },
       "", 3, json::json_pointer("/not_copied/unreadable_source_files"), true},
      {"unreadable directory",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         put(s / "Environment$/L/C/locked.rep", rep_file(20));
         fs::permissions(s / "Environment$/L", fs::perms::none);
       },
       "", 3, json::json_pointer("/not_copied/unreadable_source_directories"), true},
      {"path too long",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         put_deep(s / "Environment$", 22, std::string(200, 'd'), rep_file(40));  // past the limit
       },
       "", 3, json::json_pointer("/not_copied/source_paths_skipped")},
      {"name the target cannot take",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         put(s / "Environment$/N/n.rep", rep_file(50, std::u16string(300, u'N')));
       },
       "", 3, json::json_pointer("/not_copied/source_files_with_names_the_target_cannot_take")},
      {"oversized event",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         // One event whose data alone passes the batch's byte limit (25 000 000 bytes).
         test::test_part p = test::sample_part();
         p.events[2].data.assign(25000001, 7);
         p.keys = {60, 61, 62};
         put(s / "Environment$/O/o.rep",
             test::rep_file_builder().windows(u"WS01", u"CORP").part(p).build());
       },
       "", 3, json::json_pointer("/not_copied/oversized_events_dropped")},
      // More ".." than the current directory has components: a fatal stop.
      {"fatal stop", sound, "", 255, json::json_pointer("/error"), false, false,
       "../../../../../../../../x"},
      {"batch not written",
       [&](const fs::path& s, const fs::path& t) {
         sound(s, t);
         fs::create_directories(t);
         std::ofstream(t / "Environment$") << "a file where a directory must go";
       },
       "", 3, json::json_pointer("/not_copied/batches_not_written")},
  };
  const bool unprivileged_possible = can_drop_privileges(dir_);
  for (const exit_case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    if (c.unprivileged && !unprivileged_possible) {
      std::cout << "[ SKIPPED  ] " << c.name << ": cannot run as an ordinary user here\n";
      continue;
    }
    c.build(source_, target_);
    // A previous summary that must be replaced.
    std::ofstream(json_) << R"({"exit_code": 0})";
    if (c.unprivileged) fs::permissions(json_, fs::perms::all);
    const fs::path source = c.missing_source ? dir_ / "missing" : source_;
    std::string command = std::string(REPCOPY_BIN) + " --json " + quoted(json_) + " " + c.options +
                          " " + quoted(source) + " " +
                          (c.target_text.empty() ? quoted(target_) : c.target_text);
    if (!c.target_text.empty()) command = "cd " + quoted(dir_) + " && " + command;
    if (c.unprivileged) command = "setpriv --reuid=65534 --regid=65534 --clear-groups " + command;
    run_result r = run_command(command, dir_);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    const json j = json::parse(read_text(json_), nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << read_text(json_);
    EXPECT_EQ(j["exit_code"], r.exit_code);
    EXPECT_EQ(j["schema_version"], 2);
    EXPECT_FALSE(fs::exists(json_.string() + ".tmp"));
    ASSERT_TRUE(j.contains(c.cause)) << j.dump();
    const json& cause = j[c.cause];
    EXPECT_TRUE(cause.is_string() || (cause.is_number() && cause.get<uint64_t>() > 0)) << j.dump();
    // A batch not written leaves its events out.
    const json::json_pointer batches("/not_copied/batches_not_written"),
        events("/not_copied/events_not_written");
    if (j.contains(batches)) {
      EXPECT_EQ(j[batches] > 0, j[events] > 0) << j.dump();
    }
    if (c.exit_code == 2) {
      // The refusal's line, as on standard error.
      EXPECT_NE(r.err.find(cause.get<std::string>()), std::string::npos) << r.err;
    }
    // Every field is documented; a copy that ran holds every documented field.
    const std::set<std::string> produced = field_names(j), documented = documented_fields();
    EXPECT_TRUE(
        std::includes(documented.begin(), documented.end(), produced.begin(), produced.end()))
        << j.dump(1);
    if (c.exit_code == 0) {
      EXPECT_EQ(produced, documented) << j.dump(1);
    }
  }
}

}  // namespace
}  // namespace repcopy::e2e

#endif  // !_WIN32
