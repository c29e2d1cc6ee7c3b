// The lock-file hold that keeps two copies from writing one group at once: two holds on one file
// exclude each other (also within one process), letting go lets the other in, and holds on other
// files never wait.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "tests/temp_tree.h"

namespace repcopy {
namespace {

class FileHold : public testing::Test {
 protected:
  std::u16string at(const char16_t* name) const { return dir_.u16() + platform::kSeparator + name; }
  testutil::temp_dir dir_;
};

TEST_F(FileHold, TwoHoldsOnOneFileExcludeEachOtherAndOthersDoNot) {
  platform::file_hold first, second, other;
  ASSERT_EQ(first.acquire(at(u"a.hold"), false), platform::file_hold::kHeld);
  EXPECT_EQ(second.acquire(at(u"a.hold"), false), platform::file_hold::kBusy);
  EXPECT_EQ(other.acquire(at(u"b.hold"), false), platform::file_hold::kHeld);
  first.release();
  EXPECT_EQ(second.acquire(at(u"a.hold"), false), platform::file_hold::kHeld);
}

TEST_F(FileHold, AWaitingHoldGetsInOnceTheFirstIsLetGo) {
  platform::file_hold first;
  ASSERT_EQ(first.acquire(at(u"a.hold"), false), platform::file_hold::kHeld);
  std::atomic<bool> held{false};
  std::thread waiter([&] {
    platform::file_hold second;
    EXPECT_EQ(second.acquire(at(u"a.hold"), true), platform::file_hold::kHeld);
    held = true;
  });
  // Not a timing assumption: the waiter cannot get in before the release below, however long
  // it has been running.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(held.load());
  first.release();
  waiter.join();
  EXPECT_TRUE(held.load());
}

TEST_F(FileHold, AHoldInAMissingDirectoryFails) {
  platform::file_hold hold;
  EXPECT_EQ(hold.acquire(at(u"missing") + platform::kSeparator + u"a.hold", false),
            platform::file_hold::kFailed);
}

}  // namespace
}  // namespace repcopy
