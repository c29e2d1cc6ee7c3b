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
class SurveyEndToEnd : public e2e_test {};

TEST_F(SurveyEndToEnd, FilesOutsideTheWindowAreCountedByTheirNames) {
  generate(3000, 11);
  const fs::path summary = dir_ / "summary.json";
  // A name is "S", the last event's time, the first's, the last's again (14 digits each), ...
  std::vector<std::string> last_times;
  for (const fs::path& file : testutil::files_below(source_)) {
    if (file.extension() == ".rep") last_times.push_back(file.filename().string().substr(1, 14));
  }
  std::sort(last_times.begin(), last_times.end());
  ASSERT_GE(last_times.size(), 4u);
  const std::string from = last_times[last_times.size() / 2];
  const auto outside = size_t(std::lower_bound(last_times.begin(), last_times.end(), from) -
                              last_times.begin());
  ASSERT_GT(outside, 0u);

  const run_result r = copy("-q --json " + quoted(summary) + " -f " + from);
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  const nlohmann::json j = nlohmann::json::parse(read_text(summary));
  EXPECT_EQ(j["source_files"]["outside_time_window"], outside) << j.dump();
  EXPECT_EQ(j["source_files"]["read"], last_times.size() - outside) << j.dump();
}

}  // namespace
}  // namespace repcopy::e2e
