// The survey before the copy: files that the time window leaves out by their names.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "tests/e2e/e2e_util.h"

namespace repcopy::e2e {
namespace {

// Every file of a generated repository lies some directories down; the window from a time in the
// middle of the files' last events leaves out those whose last event is before it. The survey
// finds each by its name alone, on every system (a name cut at another system's separator would
// be the whole path, whose times are no times), and the copy reads the others.
TEST(SurveyEndToEnd, FilesOutsideTheWindowAreCountedByTheirNames) {
  const fs::path dir = testutil::temp_path("rsv");
  testutil::remove_tree(dir);
  fs::create_directories(dir);
  const fs::path source = dir / "s", target = dir / "t", summary = dir / "summary.json";
  ASSERT_EQ(run_command(testutil::repgen_program() + " " + quoted(source) + " 3000 11", dir)
                .exit_code,
            0);
  // A name is "S", the last event's time, the first's, the last's again (14 digits each), ...
  std::vector<std::string> last_times;
  for (const auto& entry : fs::recursive_directory_iterator(source)) {
    if (entry.path().extension() == ".rep")
      last_times.push_back(entry.path().filename().string().substr(1, 14));
  }
  std::sort(last_times.begin(), last_times.end());
  ASSERT_GE(last_times.size(), 4u);
  const std::string from = last_times[last_times.size() / 2];
  const auto outside = size_t(std::lower_bound(last_times.begin(), last_times.end(), from) -
                              last_times.begin());
  ASSERT_GT(outside, 0u);

  const run_result r = run_command(testutil::repcopy_program() + " -q --json " + quoted(summary) +
                                       " -f " + from + " " + quoted(source) + " " +
                                       quoted(target),
                                   dir);
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  const nlohmann::json j = nlohmann::json::parse(read_text(summary));
  EXPECT_EQ(j["source_files"]["outside_time_window"], outside) << j.dump();
  EXPECT_EQ(j["source_files"]["read"], last_times.size() - outside) << j.dump();
  testutil::remove_tree(dir);
}

}  // namespace
}  // namespace repcopy::e2e
