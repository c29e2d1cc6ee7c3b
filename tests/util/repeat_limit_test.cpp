// Repeated identical failures: the first few in full, then one closing line per kind.
#include "util/repeat_limit.h"

#include <gtest/gtest.h>

namespace repcopy {
namespace {

TEST(RepeatLimit, FirstFewInFullThenOneLinePerKindInTheOrderTheyCame) {
  repeat_limit limit;
  std::vector<bool> admitted;
  for (int i = 0; i < 5; ++i)
    admitted.push_back(limit.admit("create_file: Permission denied", false));
  for (int i = 0; i < 3; ++i) admitted.push_back(limit.admit("WriteFile: I/O error", true));
  admitted.push_back(limit.admit("create_directory_MT: No space", false));
  for (int i = 0; i < 4; ++i)
    admitted.push_back(limit.admit("create_directory_MT: No space", false));
  const std::vector<bool> expected{true, true, true, false, false, true, true,
                                   true, true, true, true,  false, false};
  EXPECT_EQ(admitted, expected);
  const auto lines = limit.take_closing_lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, "\u2026 and 2 more like this: create_file: Permission denied");
  EXPECT_FALSE(lines[0].to_error);
  EXPECT_EQ(lines[1].text, "\u2026 and 2 more like this: create_directory_MT: No space");
  // Taken: the counts start again.
  EXPECT_TRUE(limit.take_closing_lines().empty());
  EXPECT_TRUE(limit.admit("create_file: Permission denied", false));
}

}  // namespace
}  // namespace repcopy
