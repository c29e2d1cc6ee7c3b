#include "util/paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>

#include "util/error_text.h"
#include "util/text.h"

namespace repcopy {
namespace {

std::string regex_escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string_view(".[]{}()\\*+?^$|").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

// The fatal message goes to standard output; the death test reads standard error.
void to_stderr_then(void (*f)()) {
  ::dup2(2, 1);
  f();
}

std::u16string u(const std::string& utf8) {
  std::u16string out;
  EXPECT_TRUE(from_utf8(utf8, out));
  return out;
}

TEST(WindowsExtendedPath, Examples) {
  struct Case {
    const char* path;
    const char* cwd;
    const char* expected;
  } cases[] = {
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
      {".data", "C:\\work", "\\\\?\\C:\\work\\data"},
      {".", "C:\\work", "\\\\?\\C:\\work"},
  };
  for (const Case& c : cases) {
    std::u16string out;
    EXPECT_EQ(windows_extended_path(c.path, c.cwd, out), 0) << c.path;
    EXPECT_EQ(to_utf8(out), c.expected) << c.path;
  }
}

TEST(WindowsExtendedPathDeathTest, MoreParentsThanComponentsEndTheProcess) {
  EXPECT_EXIT(to_stderr_then([] {
                std::u16string out;
                windows_extended_path("..\\..\\..\\x", "C:\\a\\b", out);
              }),
              testing::ExitedWithCode(255),
              regex_escape("Can't add path ..\\..\\..\\x\n to\n C:\\a\\b\n"));
}

TEST(WindowsExtendedPath, ResultsPastTheBufferAreRefused) {
  std::u16string out;
  // Prefix (4 units) + path + terminator must fit 32768 units.
  const std::string fits = "D:" + std::string(32761, 'a');
  EXPECT_EQ(windows_extended_path(fits, "C:\\", out), 0);
  EXPECT_EQ(out.size(), 32767u);

  testing::internal::CaptureStdout();
  EXPECT_EQ(windows_extended_path(fits + "a", "C:\\", out), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "MultiByteToWideChar: " + error_text(ENAMETOOLONG) + "\n");
  EXPECT_EQ(to_utf8(out), "\\\\?\\");

  testing::internal::CaptureStdout();
  EXPECT_EQ(windows_extended_path("\\\\srv\\" + std::string(40000, 'x'), "C:\\", out), -1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(to_utf8(out), "\\\\?\\UNC");
}

TEST(PosixAbsolutePath, RelativeDotAndParentPathsBecomeAbsolute) {
  struct Case {
    const char* path;
    const char* cwd;
    const char* expected;
  } cases[] = {
      {"data", "/home/u/work", "/home/u/work/data"},
      {"./data", "/home/u/work", "/home/u/work/data"},
      {"../data", "/home/u/work", "/home/u/data"},
      {"../../x", "/home/u/work", "/home/x"},
      {"/abs/x", "/home/u/work", "/abs/x"},
      {".", "/home/u/work", "/home/u/work"},
      {"./", "/home/u/work", "/home/u/work/"},
      {"..", "/home/u/work", "/home/u"},
      {"", "/home/u/work", "/home/u/work/"},
      {"D:x", "/w", "/w/D:x"},  // no drives here
      {"data", "/", "/data"},
      {"./data", "/", "/data"},
      {".", "/", "/"},
      {"..", "/a", "/"},
      {"../x", "/a", "/x"},
      {"../../x", "/a/b", "/x"},
      {"données/é", "/w", "/w/données/é"},
  };
  for (const Case& c : cases) {
    std::u16string out;
    EXPECT_EQ(posix_absolute_path(c.path, c.cwd, out), 0) << c.path;
    EXPECT_EQ(out, u(c.expected)) << c.path;
  }
}

TEST(PosixAbsolutePathDeathTest, ParentsPastTheRootEndTheProcess) {
  EXPECT_EXIT(to_stderr_then([] {
                std::u16string out;
                posix_absolute_path("../../../x", "/a/b", out);
              }),
              testing::ExitedWithCode(255),
              regex_escape("Can't add path ../../../x\n to\n /a/b\n"));
  EXPECT_EXIT(to_stderr_then([] {
                std::u16string out;
                posix_absolute_path("../x", "/", out);
              }),
              testing::ExitedWithCode(255), regex_escape("Can't add path ../x\n to\n /\n"));
}

TEST(PosixAbsolutePath, RefusedResultsLeaveAnUnusablePath) {
  std::u16string out;
  testing::internal::CaptureStdout();
  EXPECT_EQ(posix_absolute_path("/" + std::string(32767, 'a'), "/", out), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "MultiByteToWideChar: " + error_text(ENAMETOOLONG) + "\n");
  EXPECT_EQ(out, std::u16string(1, u'\0'));

  EXPECT_EQ(posix_absolute_path("/" + std::string(32766, 'a'), "/", out), 0);
  EXPECT_EQ(out.size(), 32767u);

  testing::internal::CaptureStdout();
  EXPECT_EQ(posix_absolute_path("bad\xff", "/w", out), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "MultiByteToWideChar: " + error_text(EILSEQ) + "\n");
  EXPECT_EQ(out, std::u16string(1, u'\0'));
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
      testing::ExitedWithCode(7), regex_escape("WideCharToMultiByte: " + error_text(ENOENT)));
}

}  // namespace
}  // namespace repcopy
