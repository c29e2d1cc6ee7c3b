// The repository file format as written: packed items, part table, property block, whole file.

#include "target/repository_file.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/platform.h"
#include "target/pack.h"
#include "target_test_util.h"
#include "util/text.h"

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

// Header bytes against the layout, the trailer against zlib's CRC, and the content through zlib's
// gzip reader; incompressible input fits too, because the output area is never too small.
TEST(PackItem, ItemIsAGzipMemberWithTheRepositorySignature) {
  std::mt19937 rng(7);
  for (size_t n : {0, 1, 512, 513, 70000, 100000}) {
    std::vector<uint8_t> data(n);
    for (size_t i = 0; i < n; ++i)
      data[i] = uint8_t(n == 100000 || i % 7 == 0 ? rng() : 'a' + i % 5);
    for (int32_t platform : {500, 630}) {
      testutil::fake_segment w(11, false, nullptr);
      w.platform_id = platform;
      ASSERT_EQ(pack_item(w, data), 13u + 12u) << n;
      ASSERT_EQ(w.packed.size(), w.header_length + w.packed_length);
      const std::vector<uint8_t> head = {'E', 'D', 'R', 'P', 8, 8,
                                         0,   0,   0,   0,   0, uint8_t(platform == 500 ? 11 : 3)};
      EXPECT_EQ(std::vector<uint8_t>(w.packed.begin(), w.packed.begin() + 12), head);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(w.packed.data()) + 12), "0_events.dat");
      EXPECT_EQ(w.packed[24], 0);
      EXPECT_EQ(rd(w.packed, w.packed.size() - 8), uint32_t(crc32(0, data.data(), uInt(n))));
      EXPECT_EQ(rd(w.packed, w.packed.size() - 4), n);
      EXPECT_EQ(testutil::gunzip_item(w.packed), data) << n;
    }
  }
}

TEST(PartTable, EntriesByteByByte) {
  testutil::fake_segment a(9, false, nullptr);
  a.item_offset = 512;
  a.packed = std::vector<uint8_t>(35);
  std::vector<uint8_t> expected(12, 0);  // no previous footer
  expected.insert(expected.end(), {48, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0});
  for (char c : std::string("filter.dat")) expected.insert(expected.end(), {uint8_t(c), 0});
  expected.insert(expected.end(), {0,  0, 0, 0, 0, 0, 0, 0,    // unpacked
                                   0,  2, 0, 0, 0, 0, 0, 0,    // offset 512
                                   35, 0, 0, 0, 0, 0, 0, 0});  // packed
  EXPECT_EQ(part_table_region({&a}), expected);
}

file_props sample_props(uint32_t platform) {
  file_props p;
  p.CollectionGUID = guid{0x01234567, 0x89AB, 0x4CDE, {0x8F, 1, 2, 3, 4, 5, 6, 7}};
  p.SessionGUID = guid{0xFEDCBA98, 0x7654, 0x4321, {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5, 6, 7}};
  p.CollectionName = p.UnderDataSource = u"Security";
  p.CollectionTime = p.DataToTime = p.SessionGmt = 1700000000;  // 2023-11-14 22:13:20 UTC
  p.SessionLocalTime = 1699996400;
  p.DataSource = u"{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}";
  p.PlatformID = platform;
  p.EventsCount = 42;
  p.Result = u"S";
  p.StorageType = kStorageType;
  p.Version = version_number(6, 1);
  if (platform == 500) {
    p.Computer = u"SRV01";
    p.Domain = u"CORP";
    p.ComputerType = 0x1A;
    p.Environment = kEnvironmentWindows;
  } else {
    p.Host = p.CollectorComputer = u"web7";
    p.Environment = kEnvironmentOther;
  }
  return p;
}

TEST(Properties, OnePairByteByByte) {
  std::vector<uint8_t> out;
  write_property(out, u"Ab", u"\u00e9");
  EXPECT_EQ(out, (std::vector<uint8_t>{2, 0, 0, 0, 'A', 0, 'b', 0, 1, 0, 0, 0, 0xE9, 0}));
}

TEST(Properties, BlocksOfBothPlatforms) {
  testutil::property_list expected = {
      {u"CollectionGUID", u"01234567-89AB-4CDE-8F01-020304050607"},
      {u"CollectionName", u"Security"},
      {u"CollectionTime", u"20231114221320"},
      {u"CollectorComputer", u""},
      {u"Computer", u"SRV01"},
      {u"ComputerType", u"0000001A"},
      {u"DataFromTime", u"19700101000000"},
      {u"DataSource", u"{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}"},
      {u"DataToTime", u"20231114221320"},
      {u"Domain", u"CORP"},
      {u"Environment", u"9E442BEE-EAC2-4D79-9013-053FB225CFD0"},
      {u"EventLogVersion", u"00000000"},
      {u"EventsCount", u"42"},
      {u"OrganizationalUnit", u""},
      {u"PlatformID", u"500"},
      {u"Result", u"S"},
      {u"SessionGmt", u"20231114221320"},
      {u"SessionGUID", u"FEDCBA98-7654-4321-A0B1-C2D3E4F50607"},
      {u"SessionLocalTime", u"20231114211320"},
      {u"StorageType", u"{ECB7E385-9535-48E2-A8D4-3AECBC43E517}"},
      {u"UnderDataSource", u"Security"},
      {u"Version", u"00060001"},
  };
  EXPECT_EQ(testutil::parse_property_block(property_block(sample_props(500))), expected);
  // Other platforms: no Computer, Domain or OrganizationalUnit; Host after EventsCount.
  expected.erase(expected.begin() + 13);  // OrganizationalUnit
  expected.erase(expected.begin() + 9);   // Domain
  expected.erase(expected.begin() + 4);   // Computer
  expected[3].second = u"web7";
  expected[4].second = u"00000000";
  expected[8].second = kEnvironmentOther;
  expected[11].second = u"630";
  expected.insert(expected.begin() + 11, {u"Host", u"web7"});
  EXPECT_EQ(testutil::parse_property_block(property_block(sample_props(630))), expected);
  // Sized to the content: long names are not cut.
  file_props p = sample_props(500);
  p.Computer = std::u16string(40000, u'c');
  EXPECT_EQ((*testutil::parse_property_block(property_block(p)))[4].second, p.Computer);
}

TEST(Properties, FileNameHasThreeTimesAndTwoGuids) {
  EXPECT_EQ(repository_file_name(sample_props(500)),
            "S20231114221320"
            "19700101000000"
            "20231114221320"
            "0123456789AB4CDE8F01020304050607"
            "FEDCBA9876544321A0B1C2D3E4F50607.rep");
}

// A file written with fake writers, read back by the independent reader.
class RepositoryFile : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override { platform::faults() = {}; }
  int32_t write(bool named_fields, uint32_t platform, std::vector<std::string>* log = nullptr) {
    event_batch events(1);
    return create_repository_file(events, sample_props(platform), dir_.u16(),
                                  testutil::fake_factory(named_fields, log));
  }
  testutil::temp_dir dir_;
};

TEST_P(RepositoryFile, ItemsInFileOrderEachAcceptedByGzip) {
  const bool named = GetParam();
  std::vector<std::string> log, expected_log;
  ASSERT_EQ(write(named, named ? 630 : 500, &log), 0);
  for (int p = 0; p < 15; ++p) {
    expected_log.push_back("estimate " + std::to_string(p));
    if (named || p < 12) expected_log.push_back("serialize " + std::to_string(p));
  }
  EXPECT_EQ(log, expected_log);  // position order, each estimated then serialized

  const auto files = dir_.files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].string().size(), kRepositoryFileNameLength);
  const std::vector<uint8_t> bytes = testutil::read_bytes(dir_.path / files[0]);
  const auto r = testutil::read_repository_file(bytes);
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.properties.size(), named ? 20u : 22u);
  EXPECT_EQ(bytes[16 + 7] >> 4, 4);  // a fresh version-4 file GUID
  std::vector<int> order;            // writer positions in file order
  for (int p : {0, 1, 2, 11, 7, 3, 8, 6, 4, 5, 12, 13, 14, 9, 10})
    if (named || p < 12) order.push_back(p);
  ASSERT_EQ(r.entries.size(), order.size());
  uint64_t offset = 512;
  for (size_t i = 0; i < order.size(); ++i) {
    const auto& e = r.entries[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.name, create_segment(order[i])->item_name);
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

// Only the ".tmp" name exists while the regions are written; a failed write removes it.
TEST_F(RepositoryFile, FileIsWrittenUnderATemporaryNameAndRemovedOnFailure) {
  std::vector<std::u16string> created;
  platform::faults().create_file = [&](const std::u16string& p) {
    created.push_back(p);
    return 0;
  };
  ASSERT_EQ(write(false, 630), 0);
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(dir_.files().at(0).string() + ".tmp", fs::path(created[0]).filename().string());
  fs::remove(dir_.path / dir_.files().at(0));
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        int writes = 0;
        platform::faults().write_file = [&](const std::u16string&) {
          return ++writes == 3 ? EIO : 0;
        };
        write(false, 630);
      },
      testing::ExitedWithCode(255), "");
  EXPECT_TRUE(dir_.files().empty());
}

}  // namespace
}  // namespace repcopy
