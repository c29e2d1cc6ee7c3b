#include "target/file_io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <thread>
#include <vector>

#include "target_test_util.h"

namespace repcopy {
namespace {

namespace fs = std::filesystem;

class CreateDirectory : public ::testing::Test {
 protected:
  void TearDown() override { platform::faults() = {}; }
  // Counts the creation calls that reach the platform layer.
  void count_calls() {
    platform::faults().create_directory = [this](const std::u16string& p) {
      calls_.push_back(p);
      return 0;
    };
  }
  testutil::temp_dir dir_;
  std::atomic<uint32_t> lock_{0};
  std::vector<std::u16string> calls_;
};

TEST_F(CreateDirectory, ExistingDirectoryNeedsNoCreation) {
  count_calls();
  testing::internal::CaptureStdout();
  EXPECT_TRUE(create_directory_MT(lock_, dir_.u16()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(calls_.empty());
  EXPECT_EQ(lock_.load(), 0u);
}

TEST_F(CreateDirectory, TwoMissingLevelsAreCreatedParentFirst) {
  count_calls();
  const std::u16string parent = dir_.u16() + u"/a$";
  const std::u16string child = parent + u"/b$";
  testing::internal::CaptureStdout();
  EXPECT_TRUE(create_directory_MT(lock_, child));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(fs::is_directory(fs::path(child)));
  // The child fails for want of its parent; the parent is made, then the child.
  EXPECT_EQ(calls_, (std::vector<std::u16string>{child, parent, child}));
  EXPECT_EQ(lock_.load(), 0u);
}

TEST_F(CreateDirectory, TwoThreadsAskingForTheSameChainBothSucceed) {
  const std::u16string path = dir_.u16() + u"/x$/y$/z$";
  for (int round = 0; round < 20; ++round) {
    const std::u16string p = path + std::u16string(1, char16_t(u'a' + round));
    bool a = false, b = false;
    std::thread t1([&] { a = create_directory_MT(lock_, p); });
    std::thread t2([&] { b = create_directory_MT(lock_, p); });
    t1.join();
    t2.join();
    EXPECT_TRUE(a);
    EXPECT_TRUE(b);
    EXPECT_TRUE(fs::is_directory(fs::path(p)));
  }
  EXPECT_EQ(lock_.load(), 0u);
}

TEST_F(CreateDirectory, LockIsHeldWhileCreating) {
  bool seen_locked = false;
  platform::faults().create_directory = [&](const std::u16string&) {
    seen_locked = lock_.load() == 1;
    return 0;
  };
  EXPECT_TRUE(create_directory_MT(lock_, dir_.u16() + u"/n$"));
  EXPECT_TRUE(seen_locked);
  EXPECT_EQ(lock_.load(), 0u);
}

TEST_F(CreateDirectory, LevelThatCannotBeCreatedPrintsItsPath) {
  const std::u16string bad = dir_.u16() + u"/denied$";
  platform::faults().create_directory = [&](const std::u16string& p) {
    return p == bad ? EACCES : 0;
  };
  testing::internal::CaptureStdout();
  EXPECT_FALSE(create_directory_MT(lock_, bad + u"/below$"));
  std::string text = testing::internal::GetCapturedStdout();
  // The blocked level reports once, its child once more after the parent attempt.
  EXPECT_NE(text.find("create_directory_MT:\n" + fs::path(bad).string() +
                      "\nPermission denied 13 (0xd)\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("create_directory_MT:\n" + fs::path(bad).string() + "/below$\n"),
            std::string::npos);
  EXPECT_EQ(lock_.load(), 0u);
}

TEST_F(CreateDirectory, RegularFileInTheWayFails) {
  std::ofstream(dir_.path() / "file$") << "x";
  testing::internal::CaptureStdout();
  EXPECT_FALSE(create_directory_MT(lock_, dir_.u16() + u"/file$/sub$"));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("create_directory_MT:\n"),
            std::string::npos);
  EXPECT_EQ(lock_.load(), 0u);
}

TEST(FileIo, CreateFileFailurePrintsPathAndError) {
  testutil::temp_dir dir;
  platform::output_file f;
  const std::u16string path = dir.u16() + u"/missing$/f.rep";
  testing::internal::CaptureStdout();
  EXPECT_EQ(create_file(path, f), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "create_file: " + fs::path(path).string() + "No such file or directory " +
                std::to_string(ENOENT) + " (0x" + std::to_string(ENOENT) + ")\n");
}

TEST(FileIo, WriteFileWritesAndSkipsEmptyData) {
  testutil::temp_dir dir;
  const std::u16string path = dir.u16() + u"/f";
  platform::output_file f;
  ASSERT_EQ(create_file(path, f), 0);
  int write_calls = 0;
  platform::faults().write_file = [&](const std::u16string&) {
    ++write_calls;
    return 0;
  };
  const std::vector<uint8_t> data = {1, 2, 3};
  EXPECT_EQ(write_file(f, {}), 0u);
  EXPECT_EQ(write_calls, 0);
  EXPECT_EQ(write_file(f, data), 3u);
  EXPECT_EQ(write_calls, 1);
  platform::faults() = {};
  f.close();
  EXPECT_EQ(testutil::read_bytes(dir.path() / "f"), data);
}

TEST(FileIoDeathTest, FailedWriteEndsTheProcessAndRemovesThePartialFile) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  testutil::temp_dir dir;
  const std::u16string path = dir.u16() + u"/partial.tmp";
  EXPECT_EXIT(
      {
        platform::output_file f;
        create_file(path, f);
        platform::faults().write_file = [](const std::u16string&) { return EIO; };
        const uint8_t b[1] = {7};
        write_file(f, b, path);
      },
      testing::ExitedWithCode(255), "");
  EXPECT_FALSE(fs::exists(fs::path(path)));
}

}  // namespace
}  // namespace repcopy
