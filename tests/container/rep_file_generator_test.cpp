// RepFileSource as a generator (NextEvent), and the file reader under the source walk.
#include <gtest/gtest.h>

#include <stdexcept>

#include "container/rep_file_source.h"
#include "copy/rep_source2.h"
#include "tests/container/rep_file_source_test.h"

namespace repcopy::test_rep {
namespace {

// One part with n events of one computer; event i has record key i and stored time i.
test_part many_events(uint32_t n) {
  test_part p;
  p.comps = {{u"c", 0}};
  p.ins = {u"s"};
  for (uint32_t i = 0; i < n; ++i) {
    p.events.push_back(ev{.slots = 1,
                          .stored_delta = i == 0 ? 0u : 1u,
                          .event_delta = 1,
                          .words = {0},
                          .data = bytes(i % 50, uint8_t(i))});
    p.keys.push_back(i);
  }
  return p;
}

TEST_F(RepFileSourceTest, ThousandsOfEventsPulledOneAtATime) {
  const uint32_t n = 5000;
  std::u16string path = write(rep_file_builder().windows(u"s", u"D").part(many_events(n)).build());
  RepFileSource source(nullptr, RepFileImage(path), &outcome_);
  full_event e;
  for (uint32_t i = 0; i < n; ++i) {
    ASSERT_EQ(source.NextEvent(e), 0) << i;
    ASSERT_EQ(e.record_key, i);
    ASSERT_EQ(e.stored_time, i);
    ASSERT_EQ(e.data.size(), i % 50);
    ASSERT_EQ(e.strings.size(), 1u);
  }
  EXPECT_EQ(source.NextEvent(e), -1);
  EXPECT_EQ(source.NextEvent(e), -1);
  EXPECT_EQ(outcome_.damaged_files(), 0u);
}

TEST_F(RepFileSourceTest, EmptyEventsFileEndsOnTheFirstCall) {
  test_part p = sample_part();
  p.events.clear();
  p.keys.clear();
  std::u16string path = write(rep_file_builder().windows(u"s", u"D").part(p).build());
  RepFileSource source(nullptr, RepFileImage(path), &outcome_);
  full_event e;
  testing::internal::CaptureStderr();
  EXPECT_EQ(source.NextEvent(e), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(outcome_.damaged_files(), 0u);
}

TEST_F(RepFileSourceTest, SourceDestroyedInTheMiddleOfAFile) {
  std::u16string path =
      write(rep_file_builder().windows(u"s", u"D").part(many_events(100)).build());
  {
    RepFileSource source(nullptr, RepFileImage(path), &outcome_);
    full_event e;
    for (int i = 0; i < 10; ++i) ASSERT_EQ(source.NextEvent(e), 0);
  }  // unwinds ProcessFile with its loaded buffers; the sanitizer build checks for leaks
  EXPECT_EQ(outcome_.damaged_files(), 0u);
}

TEST_F(RepFileSourceTest, NestedFilesThroughTheGenerator) {
  bytes good = rep_file_builder().windows(u"inner", u"D").part(many_events(300)).build();
  bytes broken = good;
  broken[40] ^= 1;
  std::u16string path = write(rep_file_builder()
                                  .windows(u"outer", u"D")
                                  .item("S1.rep", broken)
                                  .item("S2.rep", good)
                                  .build());
  RepFileSource source(nullptr, RepFileImage(path), &outcome_);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  uint32_t count = 0;
  full_event e;
  while (source.NextEvent(e) == 0) ASSERT_EQ(e.record_key, count++);
  const std::string out = testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(count, 300u);
  EXPECT_NE(out.find("(b)some problem in file: S1.rep"), std::string::npos);
  EXPECT_EQ(outcome_.damaged_files(), 1u);
}

// The walk over real files: a damaged file is counted and the events around it are delivered.
TEST_F(RepFileSourceTest, WalkReadsRealFilesAndCountsDamagedOnes) {
  std::filesystem::create_directories(dir_ / "Environment$/D/C");
  bytes good = rep_file_builder().windows(u"s", u"D").part(many_events(3)).build();
  bytes bad = good;
  bad[40] ^= 1;
  std::filesystem::rename(std::filesystem::path(to_utf8(write(good, "a.rep"))),
                          dir_ / "Environment$/D/C/a.rep");
  std::filesystem::rename(std::filesystem::path(to_utf8(write(bad, "b.rep"))),
                          dir_ / "Environment$/D/C/b.rep");
  std::filesystem::rename(std::filesystem::path(to_utf8(write(good, "c.rep"))),
                          dir_ / "Environment$/D/C/c.rep");
  std::u16string root;
  from_utf8(dir_.string(), root);
  RepSource2 source(root, RepSource2::kModeMain, nullptr, &outcome_);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  std::vector<uint32_t> keys;
  full_event e;
  while (source.next_event(e) == 0) keys.push_back(e.record_key);
  testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(keys, (std::vector<uint32_t>{0, 1, 2, 0, 1, 2}));
  EXPECT_NE(err.find("b.rep"), std::string::npos);
  EXPECT_EQ(outcome_.damaged_files(), 1u);
}

// The walk's file reader wrapped so that it fails half-way through a file: the exception leaves
// the generator and reaches the caller of next_event.
TEST_F(RepFileSourceTest, ExceptionInTheMiddleOfAFileReachesTheCaller) {
  std::filesystem::create_directories(dir_ / "Environment$/D");
  std::filesystem::rename(
      std::filesystem::path(to_utf8(
          write(rep_file_builder().windows(u"s", u"D").part(many_events(5000)).build(), "a.rep"))),
      dir_ / "Environment$/D/a.rep");
  std::u16string root;
  from_utf8(dir_.string(), root);
  RepSource2 source(root, RepSource2::kModeMain, nullptr, &outcome_,
                    [&](const std::u16string& path, const event_sink& sink) {
                      RepFileSource file(nullptr, RepFileImage(path), &outcome_);
                      uint32_t n = 0;
                      return file.ProcessFile([&](const full_event& e) {
                        if (++n == 2500) throw std::runtime_error("reader failed");
                        sink(e);
                      });
                    });
  full_event e;
  for (uint32_t i = 0; i < 2499; ++i) {
    ASSERT_EQ(source.next_event(e), 0);
    ASSERT_EQ(e.record_key, i);
  }
  EXPECT_THROW(source.next_event(e), std::runtime_error);
  EXPECT_EQ(source.next_event(e), -1);
}

}  // namespace
}  // namespace repcopy::test_rep
