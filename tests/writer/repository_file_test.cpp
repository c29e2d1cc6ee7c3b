// The repository file format as written: packed items, part table, property block, whole file.

#include "writer/repository_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "model/repository_file_name.h"
#include "platform/platform.h"
#include "target_test_util.h"
#include "tests/process_util.h"
#include "tests/test_console.h"
#include "util/error_text.h"
#include "util/fatal.h"
#include "util/text.h"
#include "writer/file_layout.h"
#include "writer/pack.h"

namespace repcopy {
namespace {

namespace fs = std::filesystem;
using testutil::rd;

TEST(PackBound, ClassicBound) {
  const uint32_t cases[][2] = {{0, 512},           {1, 2},
                               {512, 1024},        {513, 513},
                               {1048576, 1048576}, {1048577, 1048577 + 1048},
                               {2000000, 2002000}};
  for (auto& c : cases) EXPECT_EQ(pack_bound(c[0]), c[1]) << "L = " << c[0];
}

// Header bytes against the layout; the content, CRC and length through zlib's gzip reader.
// Incompressible input fits too: the output area is never too small.
TEST(PackItem, ItemIsAGzipMemberWithTheRepositorySignature) {
  std::mt19937 rng(7);
  for (size_t n : {0, 1, 512, 513, 70000, 100000}) {
    std::vector<uint8_t> data(n);
    for (size_t i = 0; i < n; ++i)
      data[i] = uint8_t(n == 100000 || i % 7 == 0 ? rng() : 'a' + i % 5);
    testutil::fake_segment w(record_file::kEventsId, false);
    w.platform_id = 500;
    ASSERT_EQ(pack_item(test_console(), write_options{}, w, data), 13u + 12u) << n;
    ASSERT_EQ(w.packed.size(), w.header_length + w.packed_length);
    const std::vector<uint8_t> head = {'E', 'D', 'R', 'P', 8, 8, 0, 0, 0, 0, 0, 11};
    EXPECT_EQ(std::vector<uint8_t>(w.packed.begin(), w.packed.begin() + 12), head);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(w.packed.data()) + 12), "0_events.dat");
    EXPECT_EQ(w.packed[24], 0);
    EXPECT_EQ(testutil::gunzip_item(w.packed), data) << n;
  }
}

const std::u16string kLongName(40000, u'c');

// A file written with fake writers, read back by the independent reader.
class RepositoryFile : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override { platform::faults() = {}; }
  int32_t write(bool named_fields, uint32_t platform) {
    event_batch events(1);
    file_props props;
    props.PlatformID = platform;
    props.Computer = props.Host = kLongName;  // the footer is sized to its content
    return create_repository_file(test_console(), events, props, dir_.native(),
                                  testutil::fake_factory(named_fields));
  }
  testutil::temp_dir dir_;
};

TEST_P(RepositoryFile, ItemsInFileOrderEachAcceptedByGzip) {
  const bool named = GetParam();
  ASSERT_EQ(write(named, named ? 630 : 500), 0);
  const auto files = dir_.files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].string().size(), kRepositoryFileNameLength);
  const std::vector<uint8_t> bytes = testutil::read_bytes(dir_.path / files[0]);
  const auto r = testutil::read_repository_file(bytes);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.properties.size(), named ? 20u : 22u);
  EXPECT_EQ(r.properties[named ? 11 : 4],
            std::make_pair(std::u16string(named ? u"Host" : u"Computer"), kLongName));
  EXPECT_EQ(bytes[16 + 7] >> 4, 4);  // a fresh version-4 file GUID
  std::vector<int32_t> order;        // Buffer IDs in file order
  for (int32_t id : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 10, 13, 14})
    if (named || id < 10 || id > 12) order.push_back(id);
  ASSERT_EQ(r.entries.size(), order.size());
  uint64_t offset = 512;
  for (size_t i = 0; i < order.size(); ++i) {
    const auto& e = r.entries[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.name, record_file::kItemNames[order[i]]);
    EXPECT_EQ(e.item_offset, offset);
    offset += e.packed_len;
    ASSERT_LE(e.item_offset + e.packed_len, bytes.size());
    std::span<const uint8_t> item(bytes.data() + e.item_offset, e.packed_len);
    EXPECT_EQ(std::string(item.begin(), item.begin() + 4), "EDRP");
    EXPECT_EQ(item[11], named ? 3 : 11);
    EXPECT_EQ(testutil::gunzip_item(item), testutil::fake_content(order[i], named));
    EXPECT_EQ(e.unpacked_len, testutil::fake_content(order[i], named).size());
  }
  EXPECT_EQ(rd(bytes, 32, 8), offset);  // the footer follows the last item
}

INSTANTIATE_TEST_SUITE_P(NamedFields, RepositoryFile, ::testing::Bool());

// The file's path, in UTF-16 code units with the partial-file suffix and its terminator, must fit
// the path limit: at the limit the file is built (a dry run creates nothing), one unit past it it
// is refused with its message before anything is created. An "\u00E9" in the directory counts one
// unit, not its two bytes.
TEST(RepositoryFilePath, AtTheLimitTheFileIsBuiltOnePastItItIsRefused) {
  // The directory's units: the limit less the terminator, the suffix, the name and a separator.
  const size_t longest =
      platform::kMaxPathUnits - 1 - kPartialSuffix.size() - kRepositoryFileNameLength - 1;
  write_options dry_run;
  dry_run.dry_run = true;
  for (const size_t units : {longest, longest + 1}) {
    SCOPED_TRACE(units);
    const std::string directory = "/\xC3\xA9" + std::string(units - 2, 'd');
    event_batch events(1);
    testing::internal::CaptureStdout();
    const int32_t result = create_repository_file(test_console(), events, file_props{}, directory,
                                                  testutil::fake_factory(false), dry_run);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (units == longest) {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(printed, "");
    } else {
      EXPECT_EQ(result, kPathNotBuilt);
      EXPECT_EQ(printed, "(1)MultiByteToWideChar: " + error_text(ENAMETOOLONG) + "\n");
    }
  }
}

// The items of a file lie back to back in one area that is not cleared and grows, keeping what
// it holds, while a file is serialized: each item still unpacks to exactly what its writer wrote,
// for files whose items shrink, grow past the area and shrink again. The events are freed once
// the items are serialized: the batch comes back empty.
TEST(RepositoryFileArea, EachItemKeepsItsBytesAsTheAreaGrows) {
  class filling_segment : public testutil::fake_segment {
   public:
    filling_segment(int32_t id, size_t estimate)
        : fake_segment(id, false), estimate_(estimate) {}
    uint32_t estimate_size(const event_batch&) override { return uint32_t(estimate_); }
    uint32_t serialize(std::span<uint8_t> out, event_batch&) override {
      const size_t used = out.size() / 2 + 1;
      std::fill_n(out.begin(), used, filler(buffer_id));
      return uint32_t(used);
    }
    static uint8_t filler(int32_t id) { return uint8_t(0x11 * (id + 1)); }

   private:
    size_t estimate_;
  };
  for (const size_t base : {size_t(70000), size_t(300), size_t(1) << 20, size_t(5000)}) {
    SCOPED_TRACE(base);
    const auto estimate = [&](int32_t id) { return base + size_t(id) * 977 % 4096; };
    const auto factory = [&](int32_t id) -> std::unique_ptr<segment> {
      return std::make_unique<filling_segment>(id, estimate(id));
    };
    testutil::temp_dir dir;
    event_batch events(3);
    ASSERT_EQ(create_repository_file(test_console(), events, file_props{}, dir.native(), factory),
              0);
    EXPECT_TRUE(events.empty());
    const auto files = dir.files();
    ASSERT_EQ(files.size(), 1u);
    const std::vector<uint8_t> bytes = testutil::read_bytes(dir.path / files[0]);
    const auto r = testutil::read_repository_file(bytes);
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.entries.size(), size_t(record_file::kBufferIdCount));
    for (const auto& entry : r.entries) {
      SCOPED_TRACE(entry.name);
      const auto* name = std::find(std::begin(record_file::kItemNames),
                                   std::end(record_file::kItemNames), entry.name);
      const int32_t id = int32_t(name - std::begin(record_file::kItemNames));
      EXPECT_EQ(testutil::gunzip_item(std::span<const uint8_t>(bytes.data() + entry.item_offset,
                                                               entry.packed_len)),
                std::vector<uint8_t>(estimate(id) / 2 + 1, filling_segment::filler(id)));
    }
  }
}

// While the regions are written no file of the final name exists: the file has no name at all
// (O_TMPFILE) or, where the file system refuses that, only the ".tmp" name. A failed write (a full
// disk) fails this file, not the process: the path and the system's message on standard error,
// nothing left behind. A ".rep.tmp" left by a killed run goes when its directory is written.
TEST_F(RepositoryFile, PartialFileIsNeverVisibleAndAFailedWriteLeavesNothing) {
  for (bool unnamed_refused : {false, true}) {
    SCOPED_TRACE(unnamed_refused);
    std::vector<std::vector<std::string>> seen;  // directory listing at each write
    platform::faults().create_file = [&](const std::string& p) {
      return unnamed_refused && platform::is_directory(p) ? EOPNOTSUPP : 0;
    };
    platform::faults().write_file = [&](const std::string&) {
      std::vector<std::string> names;
      for (const auto& f : dir_.files()) names.push_back(f.string());
      seen.push_back(names);
      return 0;
    };
    ASSERT_EQ(write(false, 630), 0);
    ASSERT_EQ(dir_.files().size(), 1u);
    const std::string name = dir_.files().at(0).string();
    ASSERT_FALSE(seen.empty());
    for (const auto& names : seen) {
      // Windows has no unnamed files: there the ".tmp" name is the only way.
      EXPECT_EQ(names, unnamed_refused || platform::kWindows
                           ? std::vector<std::string>{name + ".tmp"}
                           : std::vector<std::string>{});
    }
    fs::remove(dir_.path / name);

    // A full file system or quota says so (the copy stops then); other errors fail the file.
#if defined(_WIN32)
    const int no_space = 112, no_quota = 39;  // ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL
#else
    const int no_space = ENOSPC, no_quota = EDQUOT;
#endif
    const std::pair<int, int32_t> failures[] = {{no_space, kTargetFull},
                                                {no_quota, kTargetFull},
                                                {platform::kErrorIo, kItemWrittenShort}};
    for (const auto& [code, result] : failures) {
      SCOPED_TRACE(code);
      int writes = 0;
      const std::string message = platform::system_error_message(code);
      platform::faults().write_file = [&writes, code = code](const std::string&) {
        return ++writes == 3 ? code : 0;
      };
      testing::internal::CaptureStdout();
      testing::internal::CaptureStderr();
      EXPECT_EQ(write(false, 630), result);
      const std::string out = testing::internal::GetCapturedStdout();
      const std::string err = testing::internal::GetCapturedStderr();
      EXPECT_NE(out.find("WriteFile: " + message), std::string::npos) << out;
      EXPECT_EQ(err.rfind("Can't write " + (dir_.path / name).string() + ": " + message + "\n", 0),
                0u)
          << err;
      EXPECT_TRUE(dir_.files().empty());
    }
    platform::faults() = {};
  }
}

// A writer that throws: the fatal stop names how far the file got; a fatal stop from a writer
// passes unchanged. Neither leaves a file.
TEST_F(RepositoryFile, AnExceptionFromAWriterIsAFatalStopWithItsMark) {
  struct throwing_segment : segment {
    throwing_segment(int32_t id, bool fatal) : segment(id), fatal(fatal) {}
    uint32_t estimate_size(const event_batch&) override { return 1; }
    uint32_t serialize(std::span<uint8_t>, event_batch&) override {
      if (fatal) fatal_stop("inner\n");
      throw std::runtime_error("writer failed");
    }
    bool fatal;
  };
  for (bool fatal : {false, true}) {
    event_batch events(1);
    const segment_factory factory = [&](int32_t id) -> std::unique_ptr<segment> {
      if (id == record_file::kUserId) return std::make_unique<throwing_segment>(id, fatal);
      return create_segment(id);
    };
    try {
      create_repository_file(test_console(), events, file_props{}, dir_.native(), factory);
      ADD_FAILURE() << "no fatal stop";
    } catch (const fatal_error& e) {
      EXPECT_EQ(e.marker(), fatal ? "inner\n" : "=create_repository_file=\nMark = 1\n");
      EXPECT_EQ(e.error_text(), fatal ? "" : "Mark = 1\n");
    }
    EXPECT_TRUE(dir_.files().empty());
  }
}

// Every real writer given one byte less than its item needs: the batch fails with a message
// naming the item, and no file is left, instead of a cut item with a valid CRC.
TEST_F(RepositoryFile, AWriterThatWouldPassItsSizeFailsTheBatch) {
  struct short_estimate : segment {
    short_estimate(int32_t id, uint32_t size) : segment(id), real(create_segment(id)), size(size) {}
    uint32_t estimate_size(const event_batch&) override { return size; }
    uint32_t serialize(std::span<uint8_t> out, event_batch& e) override {
      return real->serialize(out, e);
    }
    std::unique_ptr<segment> real;
    uint32_t size;
  };
  full_event e;
  e.src_name = u"Security";
  e.category_name = u"Logon";
  e.description = u"An account logged on";
  e.user_string1 = u"S-1-5-18";
  e.user_binary = {1, 2, 3};
  e.string_slots = 2;
  e.strings = {{2, u"alice", 0, 0}};
  e.named_fields = {{u"name", u"value", 0, 0, 0, 0}};
  e.data = {9, 9};
  int shortened = 0;
  for (int32_t id : kWriterRunOrder) {
    event_batch events{e};
    std::vector<uint8_t> area(create_segment(id)->estimate_size(events));
    const uint32_t needed = create_segment(id)->serialize(area, events);
    if (needed == 0) continue;  // filter.dat
    ++shortened;
    SCOPED_TRACE(record_file::kItemNames[id]);
    const segment_factory factory = [&](int32_t at) -> std::unique_ptr<segment> {
      if (at == id) return std::make_unique<short_estimate>(at, needed - 1);
      return create_segment(at);
    };
    testing::internal::CaptureStdout();
    const int32_t result =
        create_repository_file(test_console(), events, file_props{}, dir_.native(), factory);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "create_repository_file: " + std::string(record_file::kItemNames[id]) +
                  " does not fit its computed size of " + std::to_string(needed - 1) + " bytes\n");
    EXPECT_EQ(result, kItemOverflowed);
    EXPECT_TRUE(dir_.files().empty());
  }
  EXPECT_EQ(shortened, 14);
}

}  // namespace
}  // namespace repcopy
