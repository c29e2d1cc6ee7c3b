// The Win32 platform layer on a real file system: extended-length paths, names outside the ANSI
// code page, files held by other handles, directories and renames that fail. Windows build only.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/usage.h"
#include "platform/platform.h"
#include "tests/e2e/e2e_util.h"
#include "tests/process_util.h"
#include "tests/temp_tree.h"
#include "tests/test_console.h"
#include "util/error_text.h"
#include "util/guid.h"
#include "util/paths.h"
#include "util/read_file.h"
#include "util/text.h"
#include "version.h"
#include "writer/file_io.h"

namespace repcopy {
namespace {

// Wine keeps files on a POSIX file system, whose path limit (4096 bytes) is far below the
// 32767 units of Windows.
bool under_wine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

class Win32Platform : public testing::Test {
 protected:
  void SetUp() override {
    root_ =
        testutil::temp_path("repcopy-win32-" + std::to_string(GetCurrentProcessId())).u16string();
    testutil::remove_tree(root_);
    ASSERT_EQ(platform::create_directory(root_), 0);
  }
  void TearDown() override { testutil::remove_tree(root_); }

  std::u16string at(std::u16string_view name) const { return root_ + u'\\' + std::u16string(name); }

  // Creates path, writes text into it and closes it.
  static bool write_text(const std::u16string& path, const std::string& text) {
    platform::output_file f;
    uint32_t written = 0;
    return f.create(path) &&
           f.write(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), written) &&
           written == text.size() && f.close();
  }
  static std::string read_text(const std::u16string& path) {
    std::vector<uint8_t> bytes;
    source_file_reader reader;
    if (!reader.open(platform::native_path(path)) || !reader.read_all(bytes)) return "<unreadable>";
    return std::string(bytes.begin(), bytes.end());
  }

  std::u16string root_;
};

// Every file call takes paths far past 260 units, up to the 32767 of an extended-length path.
TEST_F(Win32Platform, ExtendedLengthPathsUpToTheLimit) {
  const std::u16string level(200, u'd');
  const size_t longest = under_wine() ? 3900 : 32767 - 1 - 12;  // room for "\f.rep.tmp"
  std::u16string dir = root_;
  while (dir.size() + 1 + level.size() <= longest) {
    dir += u'\\' + level;
    ASSERT_EQ(platform::create_directory(dir), 0) << dir.size();
  }
  if (under_wine()) std::cout << "(Wine: paths checked up to " << dir.size() << " units)\n";
  ASSERT_GT(dir.size(), 260u);
  const std::u16string file = dir + u"\\f.rep";
  ASSERT_TRUE(write_text(file + u".tmp", "data"));
  ASSERT_TRUE(platform::rename_path(file + u".tmp", file));
  EXPECT_EQ(read_text(file), "data");
  std::vector<platform::dir_entry> entries;
  ASSERT_TRUE(platform::list_directory(platform::native_path(dir), entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "f.rep");
  EXPECT_FALSE(entries[0].is_directory);
  EXPECT_TRUE(entries[0].is_regular);
  uint64_t device = 0, node = 0;
  EXPECT_TRUE(platform::file_identity(platform::native_path(dir), device, node));
  std::atomic<uint32_t> lock{0};
  EXPECT_TRUE(create_directory_MT(test_console(), lock, platform::native_path(dir + u"\\x$\\y$")));
  EXPECT_TRUE(platform::is_directory(dir + u"\\x$\\y$"));
}

// A command-line path is made extended-length from the current directory; one that does not fit
// the 32768-unit buffer is refused.
TEST_F(Win32Platform, CommandLinePathsBecomeExtendedLengthPaths) {
  std::u16string out;
  ASSERT_EQ(to_extended_path(test_console(), to_utf8(root_.substr(4)) + "/sub", out), 0);
  EXPECT_EQ(out, root_ + u"\\sub");
  const std::string too_long = "C:\\" + std::string(32768 - 4 - 3, 'a');
  testing::internal::CaptureStdout();
  EXPECT_EQ(to_extended_path(test_console(), too_long, out), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "MultiByteToWideChar: " + error_text(ERROR_FILENAME_EXCED_RANGE) + "\n");
  EXPECT_EQ(to_extended_path(test_console(), too_long.substr(0, too_long.size() - 1), out), 0);
  EXPECT_EQ(out.size(), 32767u);
}

// Names outside the ANSI code page, astral characters (surrogate pairs) included, arrive intact
// through every call, and through the command line of the built programs.
TEST_F(Win32Platform, NonAsciiAndAstralNames) {
  const std::u16string name = u"donn\u00e9es-\u65e5\u672c-\U0001F600";
  const std::u16string dir = at(name);
  ASSERT_EQ(platform::create_directory(dir), 0);
  ASSERT_TRUE(write_text(dir + u"\\" + name + u".rep", "x"));
  std::vector<platform::dir_entry> entries;
  ASSERT_TRUE(platform::list_directory(platform::native_path(dir), entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, to_utf8(name + u".rep"));
  EXPECT_EQ(platform::text_name(entries[0].name), name + u".rep");
  EXPECT_EQ(read_text(dir + u"\\" + name + u".rep"), "x");

  // repgen.exe writes a repository into the astral directory and repcopy.exe copies it on.
  const std::u16string source = dir + u"\\src", target = dir + u"\\dst";
  auto run = [](const std::string& program, const std::u16string& args) {
    std::wstring command = L"\"\"" + std::filesystem::path(program).wstring() + L"\" " +
                           reinterpret_cast<const wchar_t*>(args.c_str()) + L" >NUL 2>NUL\"";
    return _wsystem(command.c_str());
  };
  ASSERT_EQ(run(testutil::repgen_program(), u"\"" + source + u"\" 40 3"), 0);
  ASSERT_EQ(run(testutil::repcopy_program(), u"\"" + source + u"\" \"" + target + u"\""), 0);
  EXPECT_EQ(e2e::read_repository(std::filesystem::path(target)).size(), 40u);
}

// repgen.exe, repcopy.exe and repdump.exe (verify, diff, stats, show) given paths as users type
// them (no "\\?\" prefix): past 260 units, and with names outside the ANSI code page.
TEST_F(Win32Platform, ProgramsTakeLongAndNonAsciiPaths) {
  const std::u16string level(100, u'l');
  struct row {
    std::u16string dir;
    size_t typed_longer_than;
  };
  const row rows[] = {{at(level) + u"\\" + level + u"\\" + level + u"-\u00e9", 260},
                      {at(u"donn\u00e9es-\u65e5\u672c-\U0001F600"), 0}};
  // Runs program with args through cmd.exe; its exit code, its standard output in out.
  auto run = [this](const std::string& program, const std::u16string& args, std::string& out) {
    const std::u16string out_file = at(u"out.txt");
    std::wstring command = L"\"\"" + std::filesystem::path(program).wstring() + L"\" " +
                           reinterpret_cast<const wchar_t*>(args.c_str()) + L" >\"" +
                           reinterpret_cast<const wchar_t*>(out_file.substr(4).c_str()) +
                           L"\" 2>NUL\"";
    const int code = _wsystem(command.c_str());
    out = read_text(out_file);
    return code;
  };
  for (const auto& [dir, typed_longer_than] : rows) {
    SCOPED_TRACE(to_utf8(dir));
    for (size_t pos = dir.find(u'\\', root_.size() + 1); pos != std::u16string::npos;
         pos = dir.find(u'\\', pos + 1))
      ASSERT_EQ(platform::create_directory(dir.substr(0, pos)), 0);
    ASSERT_EQ(platform::create_directory(dir), 0);
    const std::u16string typed = dir.substr(4);  // C:\... as typed
    ASSERT_GT(typed.size(), typed_longer_than);
    const std::u16string source = u"\"" + typed + u"\\src\"", target = u"\"" + typed + u"\\dst\"";
    std::string out;
    ASSERT_EQ(run(testutil::repgen_program(), u"--profile small " + source + u" 300 3", out), 0)
        << out;
    ASSERT_EQ(run(testutil::repcopy_program(), source + u" " + target, out), 0) << out;
    EXPECT_EQ(e2e::read_repository(std::filesystem::path(dir + u"\\dst")).size(), 300u);

    EXPECT_EQ(run(testutil::repdump_program(), u"verify " + target, out), 0) << out;
    EXPECT_NE(out.find(" file(s), 300 event(s), 0 damaged\n"), std::string::npos) << out;
    EXPECT_EQ(run(testutil::repdump_program(), u"diff " + source + u" " + target, out), 0) << out;
    EXPECT_NE(out.find(": equal\n"), std::string::npos) << out;
    EXPECT_EQ(run(testutil::repdump_program(), u"stats --json " + target, out), 0) << out;
    EXPECT_NE(out.find("\"events\": 300,"), std::string::npos) << out;
    std::vector<std::filesystem::path> files =
        testutil::files_below(std::filesystem::path(dir + u"\\dst"));
    // The repository files only: the target also holds the copy's lock files.
    std::erase_if(files, [](const std::filesystem::path& f) { return f.extension() != ".rep"; });
    ASSERT_FALSE(files.empty());
    const std::u16string file = typed + u"\\dst\\" + files[0].u16string();
    EXPECT_EQ(run(testutil::repdump_program(), u"show \"" + file + u"\"", out), 0) << out;
    EXPECT_GT(out.size(), 1000u);
  }
}

// A file held open without sharing by another handle cannot be created, read, renamed or
// removed; each failure carries the system's error and leaves the file as it was.
TEST_F(Win32Platform, FileLockedByAnotherHandle) {
  const std::u16string path = at(u"locked.rep");
  ASSERT_TRUE(write_text(path, "kept"));
  HANDLE holder = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ, 0,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  platform::output_file file;
  testing::internal::CaptureStdout();
  EXPECT_EQ(create_file(test_console(), platform::native_path(path), file), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "create_file: " + to_utf8(path) + error_text(ERROR_SHARING_VIOLATION) + "\n");
  source_file_reader reader;
  EXPECT_FALSE(reader.open(platform::native_path(path)));
  EXPECT_EQ(reader.error(), platform::system_error_message(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(platform::rename_path(path, at(u"moved.rep")));
  EXPECT_FALSE(platform::remove_path(path));

  CloseHandle(holder);
  EXPECT_EQ(read_text(path), "kept");
  EXPECT_FALSE(platform::path_exists(at(u"moved.rep")));
}

// A level that cannot be created: under a regular file, and with a name the file system refuses.
// Each reports the path and the system's error text and answers false.
TEST_F(Win32Platform, DirectoryThatCannotBeCreated) {
  ASSERT_TRUE(write_text(at(u"file$"), "x"));
  struct row {
    std::u16string path;
    std::u16string failing_level;
  };
  const row rows[] = {{at(u"file$\\sub$"), at(u"file$\\sub$")},
                      {at(u"bad<name>$"), at(u"bad<name>$")}};
  for (const row& r : rows) {
    std::atomic<uint32_t> lock{0};
    testing::internal::CaptureStdout();
    EXPECT_FALSE(create_directory_MT(test_console(), lock, platform::native_path(r.path)));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("create_directory_MT:\n" + to_utf8(r.failing_level) + "\n", 0), 0u) << out;
    EXPECT_FALSE(platform::is_directory(r.path));
    EXPECT_EQ(lock.load(), 0u);
  }
  EXPECT_EQ(platform::create_directory(at(u"file$")), ERROR_ALREADY_EXISTS);
}

// The final rename replaces an existing file; it fails, with the source kept, into a missing
// directory.
TEST_F(Win32Platform, RenameReplacesAndFailsCleanly) {
  ASSERT_TRUE(write_text(at(u"a.tmp"), "new"));
  ASSERT_TRUE(write_text(at(u"a.rep"), "old"));
  EXPECT_TRUE(platform::rename_path(at(u"a.tmp"), at(u"a.rep")));
  EXPECT_EQ(read_text(at(u"a.rep")), "new");
  EXPECT_FALSE(platform::path_exists(at(u"a.tmp")));

  EXPECT_FALSE(platform::rename_path(at(u"a.rep"), at(u"missing\\a.rep")));
  EXPECT_EQ(platform::last_error(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(read_text(at(u"a.rep")), "new");
}

// System texts and values: error sentences without their line end, the clock in FILETIME
// units, GUIDs of version 4, the program's own version resource.
TEST(Win32System, ErrorTextClockGuidAndVersion) {
  const std::string text = error_text(ERROR_ACCESS_DENIED);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_EQ(text.size() > 8 ? text.substr(text.size() - 8) : text, " 5 (0x5)");

  const uint64_t now = uint64_t(std::time(nullptr)) * 10000000ULL + 116444736000000000ULL;
  const uint64_t clock = platform::system_time_as_filetime();
  EXPECT_LT(clock > now ? clock - now : now - clock, 50000000ULL);  // within 5 s

  guid a, b;
  ASSERT_TRUE(make_guid(a));
  ASSERT_TRUE(make_guid(b));
  EXPECT_NE(guid_text(a), guid_text(b));
  EXPECT_EQ(a.data3 >> 12, 4);

  std::vector<uint8_t> block;
  ASSERT_TRUE(platform::own_version_resource(block));
  const auto version = resource_file_version(block);
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(*version, (std::array<uint16_t, 4>{REPCOPY_VERSION_MAJOR, REPCOPY_VERSION_MINOR,
                                               REPCOPY_VERSION_PATCH, REPCOPY_VERSION_TWEAK}));
}

}  // namespace
}  // namespace repcopy
