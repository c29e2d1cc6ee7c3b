// The shard of a computer: a stable hash of its upper-cased name, and the --shard text.
#include "filters/shard.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace repcopy {
namespace {

TEST(Shard, NameHashIsFnv1a64OverTheUpperCasedUtf16LeBytes) {
  // Worked out by hand from the definition: no bytes give the offset basis.
  EXPECT_EQ(computer_name_hash(u""), 0xCBF29CE484222325ull);
  EXPECT_EQ(computer_name_hash(u"SRV01"), 0x7FF68859B5F7E47Bull);
  EXPECT_EQ(computer_name_hash(u"srv01"), computer_name_hash(u"SRV01"));
  // Only a-z are upper-cased; the high byte of a unit counts too.
  EXPECT_NE(computer_name_hash(u"\u00e9"), computer_name_hash(u"\u00c9"));
  EXPECT_NE(computer_name_hash(u"\u0141"), computer_name_hash(u"A"));

  filter_config f;
  EXPECT_TRUE(computer_in_shard(f, u"ANY"));  // no sharding
  f.shard_count = 3;
  int members = 0;
  for (f.shard_index = 0; f.shard_index < 3; ++f.shard_index)
    members += computer_in_shard(f, u"srv01");
  EXPECT_EQ(members, 1);
  f.shard_index = uint32_t(0x7FF68859B5F7E47Bull % 3);
  EXPECT_TRUE(computer_in_shard(f, u"SRV01"));
}

TEST(Shard, ShardTextIsKSlashNWithKBelowN) {
  const std::tuple<const char*, bool, uint32_t, uint32_t> cases[] = {
      {"0/1", true, 0, 1},          {"2/3", true, 2, 3},
      {"007/8", true, 7, 8},        {"4294967294/4294967295", true, 4294967294u, 4294967295u},
      {"1/1", false, 0, 0},         {"3/2", false, 0, 0},
      {"0/0", false, 0, 0},         {"", false, 0, 0},
      {"1", false, 0, 0},           {"1/", false, 0, 0},
      {"/2", false, 0, 0},          {"-1/2", false, 0, 0},
      {"+1/2", false, 0, 0},        {" 1/2", false, 0, 0},
      {"1/2 ", false, 0, 0},        {"1/ 2", false, 0, 0},
      {"1/2/3", false, 0, 0},       {"a/b", false, 0, 0},
      {"0/4294967296", false, 0, 0}};
  for (const auto& [text, ok, index, count] : cases) {
    uint32_t k = 0, n = 0;
    EXPECT_EQ(parse_shard(text, k, n), ok) << text;
    EXPECT_EQ(std::tie(k, n), std::tie(index, count)) << text;
  }
}

}  // namespace
}  // namespace repcopy
