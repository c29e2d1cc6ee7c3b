#include "util/paths.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/extended_path.h"
#include "platform/platform.h"
#include "tests/process_util.h"
#include "tests/test_console.h"
#include "util/error_text.h"
#include "util/fatal.h"
#include "util/text.h"

namespace repcopy {
namespace {

// The Windows form (the reference the POSIX form follows) and the POSIX form used here.
TEST(AbsolutePath, Examples) {
  const std::tuple<bool, const char*, const char*, const char*> cases[] = {
      {true, "data", "C:\\work", "\\\\?\\C:\\work\\data"},
      {true, "\\data", "C:\\work", "\\\\?\\C:\\data"},
      {true, "..\\data", "C:\\work", "\\\\?\\C:\\data"},
      {true, ".\\data", "C:\\work", "\\\\?\\C:\\work\\data"},
      {true, "D:\\x", "C:\\work", "\\\\?\\D:\\x"},
      {true, "\\\\srv\\share\\x", "C:\\work", "\\\\?\\UNC\\srv\\share\\x"},
      {true, "D:x", "C:\\work", "\\\\?\\D:x"},
      {true, "C:..\\..\\x", "C:\\work", "\\\\?\\C:..\\..\\x"},  // never made absolute
      {true, "..\\..\\x", "C:\\a\\b", "\\\\?\\C:\\x"},
      {true, "a/b", "C:\\work", "\\\\?\\C:\\work\\a\\b"},  // "/" typed becomes "\\"
      // Behind "\\?\" the system takes "." and ".." as names: they are resolved first.
      {true, "C:/x/../y", "C:\\work", "\\\\?\\C:\\y"},
      {true, "C:\\a\\.\\b\\\\..\\c\\", "C:\\work", "\\\\?\\C:\\a\\c\\"},
      {true, "C:\\..\\x", "C:\\work", "\\\\?\\C:\\x"},  // no step above the root
      {true, "a\\..\\b\\.", "C:\\work", "\\\\?\\C:\\work\\b"},
      {true, "\\x\\..\\y", "C:\\work", "\\\\?\\C:\\y"},
      {true, "data", "C:\\", "\\\\?\\C:\\data"},
      {true, "\\\\srv\\share\\..\\x", "C:\\work", "\\\\?\\UNC\\srv\\share\\x"},
      {true, "\\\\?\\C:\\a\\..\\b", "C:\\work", "\\\\?\\C:\\a\\..\\b"},  // taken as typed
      {true, "\\\\?\\C:\\long", "C:\\work", "\\\\?\\C:\\long"},  // already extended
      {true, "\\\\?\\UNC\\srv\\s", "C:\\work", "\\\\?\\UNC\\srv\\s"},
      {false, "data", "/home/u/work", "/home/u/work/data"},
      {false, "../data", "/home/u/work", "/home/u/data"},
      {false, "/abs/x", "/home/u/work", "/abs/x"},
      {false, "../../x", "/a/b", "/x"},
      {false, ".", "/home/u/work", "/home/u/work"},
      {false, "D:x", "/w", "/w/D:x"},  // no drives here
      {false, "données/é", "/w", "/w/données/é"}};
  for (const auto& [windows, path, cwd, expected] : cases) {
    std::u16string out;
    EXPECT_EQ((windows ? platform::windows_extended_path : platform::posix_absolute_path)(
                  path, cwd, out),
              0)
        << path;
    EXPECT_EQ(to_utf8(out), expected) << path;
  }
}

// More ".." than the current directory has components is a fatal stop naming both.
TEST(AbsolutePath, ParentsPastTheRootAreAFatalStop) {
  std::u16string out;
  // Windows form, typed path, current directory, the path as the message shows it: with the
  // separators the Windows form made "\\".
  const std::tuple<bool, const char*, const char*, const char*> cases[] = {
      {true, "..\\..\\..\\x", "C:\\a\\b", "..\\..\\..\\x"},
      {true, "../../x", "Z:\\", "..\\..\\x"},
      {false, "../../../x", "/a/b", "../../../x"},
      {false, "../x", "/", "../x"}};
  for (const auto& [windows, path, cwd, shown] : cases) {
    testing::internal::CaptureStdout();
    try {
      absolute_path(test_console(), windows, path, cwd, out);
      ADD_FAILURE() << "no fatal stop for " << path;
    } catch (const fatal_error& e) {
      EXPECT_EQ(e.marker(), std::string("Can't add path ") + shown + "\n to\n " + cwd + "\n");
      EXPECT_EQ(e.error_text(), "");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "only the entry point prints";
  }
}

TEST(PosixAbsolutePath, RefusedResultsLeaveAnUnusablePath) {
  std::u16string out;
  EXPECT_EQ(absolute_path(test_console(), false, "/" + std::string(32766, 'a'), "/", out), 0);
  EXPECT_EQ(out.size(), 32767u);  // with its terminator, the most that fits
  const std::pair<std::string, int> refused[] = {
      {"/" + std::string(32767, 'a'), platform::kErrorNameTooLong},
      {"bad\xff", platform::kErrorBadText}};
  for (const auto& [path, error] : refused) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(absolute_path(test_console(), false, path, "/w", out), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "MultiByteToWideChar: " + error_text(error) + "\n");
    EXPECT_EQ(out, std::u16string(1, u'\0'));
  }
}

TEST(ToExtendedPath, UsesTheCurrentDirectoryForRelativePaths) {
  std::u16string wide_cwd, out;
  ASSERT_TRUE(platform::current_directory(wide_cwd));
  const std::string cwd = to_utf8(wide_cwd);
  EXPECT_EQ(to_extended_path(test_console(), "sub/x", out), 0);
  if (platform::kWindows) {
    EXPECT_EQ(to_utf8(out), "\\\\?\\" + cwd + "\\sub\\x");
    EXPECT_EQ(to_extended_path(test_console(), "\\abs", out), 0);
    EXPECT_EQ(to_utf8(out), "\\\\?\\" + cwd.substr(0, 2) + "\\abs");
  } else {
    EXPECT_EQ(to_utf8(out), cwd + (cwd == "/" ? "" : "/") + "sub/x");
    EXPECT_EQ(to_extended_path(test_console(), "/abs", out), 0);
    EXPECT_EQ(out, u"/abs");
  }
}

}  // namespace
}  // namespace repcopy
