#include "util/paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <regex>
#include <string>

#include "util/error_text.h"
#include "util/text.h"

namespace repcopy {
namespace {

std::u16string u(const std::string& utf8) {
  std::u16string out;
  EXPECT_TRUE(from_utf8(utf8, out));
  return out;
}

// A death-test pattern that matches text literally.
std::string literally(const std::string& text) {
  return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

TEST(WindowsExtendedPath, Examples) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"data", "C:\\work", "\\\\?\\C:\\work\\data"},
      {"\\data", "C:\\work", "\\\\?\\C:\\data"},
      {"..\\data", "C:\\work", "\\\\?\\C:\\data"},
      {".\\data", "C:\\work", "\\\\?\\C:\\work\\data"},
      {"D:\\x", "C:\\work", "\\\\?\\D:\\x"},
      {"\\\\srv\\share\\x", "C:\\work", "\\\\?\\UNC\\srv\\share\\x"},
      {"D:x", "C:\\work", "\\\\?\\D:x"},
      {"C:..\\..\\x", "C:\\work", "\\\\?\\C:..\\..\\x"},  // never made absolute
      {"..\\..\\x", "C:\\a\\b", "\\\\?\\C:\\x"},
      {"a/b", "C:\\work", "\\\\?\\C:\\work\\a/b"},  // "/" is kept as it is
      {".", "C:\\work", "\\\\?\\C:\\work"},
  };
  for (const auto& [path, cwd, expected] : cases) {
    std::u16string out;
    EXPECT_EQ(windows_extended_path(path, cwd, out), 0) << path;
    EXPECT_EQ(to_utf8(out), expected) << path;
  }
}

TEST(PosixAbsolutePath, RelativeDotAndParentPathsBecomeAbsolute) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"data", "/home/u/work", "/home/u/work/data"},
      {"./data", "/home/u/work", "/home/u/work/data"},
      {"../data", "/home/u/work", "/home/u/data"},
      {"../../x", "/home/u/work", "/home/x"},
      {"/abs/x", "/home/u/work", "/abs/x"},
      {".", "/home/u/work", "/home/u/work"},
      {"..", "/a", "/"},
      {"D:x", "/w", "/w/D:x"},  // no drives here
      {"./data", "/", "/data"},
      {"données/é", "/w", "/w/données/é"},
  };
  for (const auto& [path, cwd, expected] : cases) {
    std::u16string out;
    EXPECT_EQ(posix_absolute_path(path, cwd, out), 0) << path;
    EXPECT_EQ(out, u(expected)) << path;
  }
}

// More ".." than the current directory has components end the process; the message goes to
// standard output, which the child sends to standard error for the death test to read.
TEST(AbsolutePathDeathTest, ParentsPastTheRootEndTheProcess) {
  std::u16string out;
  const std::tuple<bool, const char*, const char*> cases[] = {
      {true, "..\\..\\..\\x", "C:\\a\\b"}, {false, "../../../x", "/a/b"}, {false, "../x", "/"}};
  for (const auto& [windows, path, cwd] : cases) {
    EXPECT_EXIT((::dup2(2, 1), windows ? windows_extended_path(path, cwd, out)
                                       : posix_absolute_path(path, cwd, out)),
                testing::ExitedWithCode(255),
                literally(std::string("Can't add path ") + path + "\n to\n " + cwd + "\n"));
  }
}

TEST(PosixAbsolutePath, RefusedResultsLeaveAnUnusablePath) {
  std::u16string out;
  EXPECT_EQ(posix_absolute_path("/" + std::string(32766, 'a'), "/", out), 0);
  EXPECT_EQ(out.size(), 32767u);  // with its terminator, the most that fits
  const std::pair<std::string, int> refused[] = {{"/" + std::string(32767, 'a'), ENAMETOOLONG},
                                                 {"bad\xff", EILSEQ}};
  for (const auto& [path, error] : refused) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(posix_absolute_path(path, "/w", out), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "MultiByteToWideChar: " + error_text(error) + "\n");
    EXPECT_EQ(out, std::u16string(1, u'\0'));
  }
}

TEST(ToExtendedPath, UsesTheCurrentDirectoryForRelativePaths) {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  std::u16string out;
  EXPECT_EQ(to_extended_path("sub/x", out), 0);
  EXPECT_EQ(out, u(std::string(cwd) + (std::string(cwd) == "/" ? "" : "/") + "sub/x"));
  EXPECT_EQ(to_extended_path("/abs", out), 0);
  EXPECT_EQ(out, u"/abs");
}

TEST(ToExtendedPathDeathTest, UnreadableCurrentDirectoryIsReported) {
  // In a child: stand in a directory that no longer exists, so the current directory is gone.
  EXPECT_EXIT(
      {
        ::dup2(2, 1);
        char dir[] = "/tmp/repcopy-cwd-XXXXXX";
        if (::mkdtemp(dir) == nullptr || ::chdir(dir) != 0 || ::rmdir(dir) != 0) std::_Exit(1);
        std::u16string out;
        const int relative = to_extended_path("x", out);
        const bool unusable = out == std::u16string(1, u'\0');
        const int absolute = to_extended_path("/abs", out);  // needs no current directory
        std::cout.flush();
        std::_Exit(relative == -1 && unusable && absolute == 0 ? 7 : 1);
      },
      testing::ExitedWithCode(7), literally("WideCharToMultiByte: " + error_text(ENOENT)));
}

}  // namespace
}  // namespace repcopy
