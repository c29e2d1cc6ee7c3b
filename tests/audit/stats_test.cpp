// repdump stats over repository files built byte by byte.
#include "audit/stats.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/container/rep_file_bytes.h"
#include "util/text.h"

namespace repcopy::test {
namespace {

namespace fs = std::filesystem;

TEST(StatsTest, FilesAreCountedUnderTheGroupTheirFooterNames) {
  const fs::path dir = fs::temp_directory_path() / ("repdump_stats_" + std::to_string(::getpid()));
  fs::create_directories(dir / "x");
  auto put = [&](const std::string& name, const bytes& b) {
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  };
  const bytes ws01 = rep_file_builder().windows(u"ws01", u"CORP").part(sample_part()).build();
  const bytes web = rep_file_builder().unix_host(u"630", u"web").part(sample_part()).build();
  put("a.rep", ws01);
  put("x/b.rep", ws01);
  put("x/c.rep", web);
  put("x/d.rep", bytes(100, 0));  // damaged: counted in the totals, under no group of its own

  std::u16string root;
  from_utf8(dir.string(), root);
  const repository_stats stats = collect_stats({root});
  fs::remove_all(dir);

  ASSERT_EQ(stats.groups.size(), 3u);
  const group_stats& corp = stats.groups.at({u"CORP", u"WS01", u"Security"});
  EXPECT_EQ(corp.files, 2u);
  EXPECT_EQ(corp.events, 6u);
  // Events at 1000 + 100 and 0 + 120 and 1000 + 150 seconds.
  EXPECT_EQ(corp.first_time, 120u);
  EXPECT_EQ(corp.last_time, 1150u);
  EXPECT_EQ(corp.bytes_on_disk, 2 * ws01.size());
  EXPECT_EQ(stats.groups.at({u"LINUX", u"WEB", u"Security"}).events, 3u);
  EXPECT_EQ(stats.groups.at({u"(unreadable)", u"", u""}).files, 1u);
  EXPECT_EQ(stats.totals.files, 4u);
  EXPECT_EQ(stats.totals.events, 9u);
  EXPECT_EQ(stats.damaged_files, 1u);

  std::ostringstream text;
  print_stats_text(stats, text);
  EXPECT_NE(text.str().find("CORP / WS01 / Security\n  files 2, events 6, 1970-01-01T00:02:00Z to "
                            "1970-01-01T00:19:10Z, "),
            std::string::npos)
      << text.str();
  EXPECT_NE(text.str().find("Total\n  files 4, events 9, "), std::string::npos) << text.str();
}

}  // namespace
}  // namespace repcopy::test
