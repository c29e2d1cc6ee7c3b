// repdump verify over repository files built byte by byte and then damaged.
#include "audit/verify.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/platform.h"
#include "tests/container/rep_file_bytes.h"
#include "util/bytes.h"
#include "util/text.h"

namespace repcopy::test {
namespace {

namespace fs = std::filesystem;

// Offset of the first byte of `what` in b.
size_t find_bytes(const bytes& b, const std::string& what) {
  auto it = std::search(b.begin(), b.end(), what.begin(), what.end());
  return size_t(it - b.begin());
}

// A Windows file with the sample part; the events item is stored, so its data bytes appear in
// the file as they are.
bytes sound_file(test_part part = sample_part()) {
  rep_file_builder b;
  b.windows(u"WS01").add_events_count(part.events.size());
  for (auto& [name, data] : part.items()) {
    if (name == "0_events.dat") {
      b.packed(name, stored_item(name, data), data.size());
    } else {
      b.item(name, data);
    }
  }
  return b.build();
}

class VerifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("repdump_verify_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::u16string write(const bytes& file, const std::string& name = "file.rep") {
    std::ofstream(dir_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    std::u16string path;
    from_utf8((dir_ / name).string(), path);
    return path;
  }

  fs::path dir_;
};

TEST_F(VerifyTest, SoundFilePassesWithItsEvents) {
  const file_check check = check_rep_file(write(sound_file()));
  EXPECT_TRUE(check.damage.empty()) << damage_line(u"f", check.damage);
  EXPECT_EQ(check.events, 3u);
}

TEST_F(VerifyTest, EachDamageIsNamedOnTheFileLine) {
  struct damage_case {
    const char* name;
    std::function<void(bytes&)> damage;
    const char* line;  // expected after "<path>: "
  };
  const damage_case cases[] = {
      {"flipped byte in an item",
       [](bytes& b) {
         // The first data byte of the stored events item: name, NUL, 5-byte block header.
         b[find_bytes(b, "0_events.dat") + 13 + 5] ^= 0x40;
       },
       "corrupt: item 0_events.dat: CRC mismatch (stored "},
      {"truncated file", [](bytes& b) { b.erase(b.end() - 100, b.end()); },
       "truncated: the header names a footer ending at "},
      {"file shorter than its header", [](bytes& b) { b.resize(300); },
       "truncated: shorter than its 512-byte header (300 bytes)"},
      {"bad header sum", [](bytes& b) { patch(b, 32, b.size() - 8 - load_le32(&b[40]), 8); },
       "corrupt: header sum wrong: the footer named by the header ends at "},
      {"bad property block",
       [](bytes& b) { patch(b, b.size() - 6, 1000, 4); },  // value length of "Domain" = "D"
       "corrupt: property block of the footer at "},
      {"cut item inside the file",
       [](bytes& b) {
         // The stored block's length no longer matches its complement.
         b[find_bytes(b, "0_events.dat") + 13 + 1] ^= 0xFF;
       },
       "corrupt: item 0_events.dat does not inflate"},
  };
  for (const damage_case& c : cases) {
    SCOPED_TRACE(c.name);
    bytes file = sound_file();
    c.damage(file);
    const std::u16string path = write(file);
    const file_check check = check_rep_file(path);
    ASSERT_FALSE(check.damage.empty());
    const std::string line = damage_line(path, check.damage);
    EXPECT_EQ(line.rfind(to_utf8(path) + ": " + c.line, 0), 0u) << line;
  }
}

TEST_F(VerifyTest, CacheIndexOutOfRangeIsNamed) {
  test_part part = sample_part();
  part.events[1].src = 7;  // the source cache has one record
  const std::u16string path = write(sound_file(part));
  const file_check check = check_rep_file(path);
  EXPECT_EQ(damage_line(path, check.damage),
            to_utf8(path) +
                ": corrupt: 1 events record(s) name a cache record or record key that does not "
                "exist, or lose an insertion string");
  EXPECT_EQ(check.events, 2u);  // the event is dropped, not read without its source name
}

TEST_F(VerifyTest, DamageInsideANestedFileIsNamedWithIt) {
  // The nested file is stored, so a byte of its events item can be flipped in place.
  const bytes inner = sound_file();
  bytes outer =
      rep_file_builder().windows(u"WS01").packed("inner", stored_item("inner", inner)).build();
  EXPECT_TRUE(check_rep_file(write(outer)).damage.empty());
  outer[find_bytes(outer, "0_events.dat") + 13 + 5] ^= 0x40;
  const std::u16string path = write(outer);
  const file_check check = check_rep_file(path);
  EXPECT_EQ(damage_line(path, check.damage)
                .rfind(to_utf8(path) + ": corrupt: nested file inner: CRC mismatch; "
                                       "nested file inner: item 0_events.dat: CRC "
                                       "mismatch (stored ",
                       0),
            0u)
      << damage_line(path, check.damage);
}

TEST_F(VerifyTest, TreeVerdictCountsFilesEventsAndDamage) {
  fs::create_directories(dir_ / "a" / "b");
  write(sound_file(), "a/one.rep");
  bytes cut = sound_file();
  cut.resize(cut.size() / 2);
  write(cut, "a/b/two.REP");
  write(sound_file(), "a/b/notes.txt");  // not a repository file
  std::u16string root;
  from_utf8((dir_ / "a").string(), root);

  std::ostringstream out;
  EXPECT_EQ(run_verify({root}, out), 1);
  const std::string two = (dir_ / "a" / "b" / "two.REP").string();
  EXPECT_EQ(out.str().rfind(two + ": truncated: ", 0), 0u) << out.str();
  EXPECT_NE(out.str().find("\nverify: 2 file(s), 3 event(s), 1 damaged\n"), std::string::npos)
      << out.str();

  fs::remove(dir_ / "a" / "b" / "two.REP");
  std::ostringstream sound;
  EXPECT_EQ(run_verify({root, root + platform::kSeparator + u"nothing"}, sound), 1);
  EXPECT_EQ(sound.str(),
            (dir_ / "a" / "nothing").string() +
                ": no such file or directory\nverify: 1 file(s), 3 event(s), 1 damaged\n");
}

}  // namespace
}  // namespace repcopy::test
