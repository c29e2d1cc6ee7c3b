#include <gtest/gtest.h>

#include "target/file_props.h"
#include "target_test_util.h"
#include "util/text.h"

namespace repcopy {
namespace {

using testutil::property_list;

TEST(Properties, OnePairByteByByte) {
  std::vector<uint8_t> out;
  write_property(out, u"Ab", u"\u00e9");
  const std::vector<uint8_t> expected = {2, 0, 0, 0, 'A', 0, 'b', 0, 1, 0, 0, 0, 0xE9, 0};
  EXPECT_EQ(out, expected);
}

file_props sample_props(uint32_t platform) {
  file_props p;
  p.CollectionGUID = guid{0x01234567, 0x89AB, 0x4CDE, {0x8F, 1, 2, 3, 4, 5, 6, 7}};
  p.SessionGUID = guid{0xFEDCBA98, 0x7654, 0x4321, {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5, 6, 7}};
  p.CollectionName = u"Security";
  p.UnderDataSource = u"Security";
  p.CollectionTime = 1700000000;  // 2023-11-14 22:13:20 UTC
  p.DataToTime = 1700000000;
  p.SessionGmt = 1700000000;
  p.DataFromTime = 0;
  p.SessionLocalTime = 1699996400;
  p.DataSource = u"{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}";
  p.PlatformID = platform;
  p.EventsCount = 42;
  p.Result = u"S";
  p.StorageType = kStorageType;
  p.Version = version_number(6, 1);
  p.EventLogVersion = version_number(0, 0);
  if (platform == 500) {
    p.Computer = u"SRV01";
    p.Domain = u"CORP";
    p.ComputerType = 0x1A;
    p.Environment = kEnvironmentWindows;
  } else {
    p.Host = u"web7";
    p.CollectorComputer = u"web7";
    p.Environment = kEnvironmentOther;
  }
  return p;
}

TEST(Properties, WindowsBlock) {
  auto parsed = testutil::parse_property_block(property_block(sample_props(500)));
  ASSERT_TRUE(parsed.has_value());
  const property_list expected = {
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
  EXPECT_EQ(*parsed, expected);
}

TEST(Properties, OtherPlatformBlock) {
  auto parsed = testutil::parse_property_block(property_block(sample_props(630)));
  ASSERT_TRUE(parsed.has_value());
  const property_list expected = {
      {u"CollectionGUID", u"01234567-89AB-4CDE-8F01-020304050607"},
      {u"CollectionName", u"Security"},
      {u"CollectionTime", u"20231114221320"},
      {u"CollectorComputer", u"web7"},
      {u"ComputerType", u"00000000"},
      {u"DataFromTime", u"19700101000000"},
      {u"DataSource", u"{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}"},
      {u"DataToTime", u"20231114221320"},
      {u"Environment", u"8EAF6C85-D1FF-4CFD-9D90-64944C8E6B3E"},
      {u"EventLogVersion", u"00000000"},
      {u"EventsCount", u"42"},
      {u"Host", u"web7"},
      {u"PlatformID", u"630"},
      {u"Result", u"S"},
      {u"SessionGmt", u"20231114221320"},
      {u"SessionGUID", u"FEDCBA98-7654-4321-A0B1-C2D3E4F50607"},
      {u"SessionLocalTime", u"20231114211320"},
      {u"StorageType", u"{ECB7E385-9535-48E2-A8D4-3AECBC43E517}"},
      {u"UnderDataSource", u"Security"},
      {u"Version", u"00060001"},
  };
  EXPECT_EQ(*parsed, expected);
}

TEST(Properties, LongNamesAreNotCut) {
  file_props p = sample_props(500);
  p.Computer = std::u16string(20000, u'c');
  p.Domain = std::u16string(20000, u'd');
  auto block = property_block(p);
  EXPECT_GT(block.size(), 80000u);
  auto parsed = testutil::parse_property_block(block);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ((*parsed)[4].second, p.Computer);
}

TEST(Properties, VersionNumbers) {
  EXPECT_EQ(version_number(6, 1), 0x00060001u);
  EXPECT_EQ(version_number(0x12345, 0x10002), 0x23450002u);  // each cut to 16 bits
}

TEST(Properties, FileNameHasThreeTimesAndTwoGuids) {
  file_props p = sample_props(500);
  EXPECT_EQ(repository_file_name(p),
            "S20231114221320"
            "19700101000000"
            "20231114221320"
            "0123456789AB4CDE8F01020304050607"
            "FEDCBA9876544321A0B1C2D3E4F50607.rep");
  EXPECT_EQ(repository_file_name(p).size(), kRepositoryFileNameLength);
}

}  // namespace
}  // namespace repcopy
