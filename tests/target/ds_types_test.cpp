#include "target/ds_types.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "util/text.h"

namespace repcopy {
namespace {

std::string lookup_text(ds_type_map& map, const std::u16string& name, std::string* out = nullptr) {
  testing::internal::CaptureStdout();
  const std::u16string* type = map.lookup(name);
  std::string printed = testing::internal::GetCapturedStdout();
  if (out) *out = printed;
  return type ? to_utf8(*type) : "<none>";
}

TEST(DsTypes, TableHasFourteenGroupsAndFiftyNames) {
  size_t groups = 0, names = 0;
  bool at_group_start = true;
  for (const char16_t* e : kDsTypeTable) {
    std::u16string s = e;
    if (at_group_start) {
      EXPECT_EQ(s.size(), 38u);
      ++groups;
      at_group_start = false;
    } else if (s.empty()) {
      at_group_start = true;
    } else {
      ++names;
    }
  }
  EXPECT_EQ(groups, 14u);
  EXPECT_EQ(names, 50u);
  EXPECT_TRUE(at_group_start);  // closed
}

TEST(DsTypes, KnownNamesInTheTablesLetterCase) {
  ds_type_map map;
  struct {
    std::u16string name;
    std::string type;
  } cases[] = {
      {u"Security", "{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}"},
      {u"Syslog", "{046FD196-5B96-41ac-A335-31FC73EFA206}"},
      {u"MS IIS WWW", "{06DC25C8-32D7-4f5c-9DE0-559A2A437C26}"},
      {u"Tallyman for EMC", "{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}"},
      {u"SuseLinuxTextFilesMonitoring", "{41C93014-34CA-4e3c-8497-AD2B2948D152}"},
      {u"HPUXAuditLog", "{78B306FD-DA5B-4d4f-B7E9-8683F92F9244}"},
      {u"VMware vCenter and ESX(i) events", "{62BFE99C-DD3E-4265-B8F7-2BAF56DE7E8A}"},
      {u"VD for SQLServer replication (misc)", "{04EEF17C-F590-43E8-B1D6-4ADDB150A880}"},
      {u"Vardo User Session Tracking", "{5115B8AA-29AE-4C6D-AE14-0BB7521E10FB}"},
  };
  for (auto& c : cases) {
    std::string printed;
    EXPECT_EQ(lookup_text(map, c.name, &printed), c.type) << to_utf8(c.name);
    EXPECT_EQ(printed, "");
  }
}

TEST(DsTypes, UnknownNameGetsTheDefaultAndIsReportedOnce) {
  ds_type_map map;
  for (std::u16string name : {u"security", u"Application "}) {
    std::string printed;
    EXPECT_EQ(lookup_text(map, name, &printed), "{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}");
    EXPECT_EQ(printed, "Datasource name not found: " + to_utf8(name) +
                           "\nWindows datasource type will be used\n");
    EXPECT_EQ(lookup_text(map, name, &printed), "{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}");
    EXPECT_EQ(printed, "");
  }
}

TEST(DsTypes, MalformedTables) {
  struct {
    std::vector<const char16_t*> table;
    std::string message;
  } cases[] = {
      {{u"{046FD196-5B96-41ac-A335-31FC73EFA206}", u"Syslog"},
       "Datasource type name array is not closed.\n"},
      {{u"{046FD196-5B96-41ac-A335-31FC73EFA206", u"Syslog", u""},
       "Wrong Datasource type : {046FD196-5B96-41ac-A335-31FC73EFA206\n"},
      {{u"{046FD196-5B96-41ac-A335-31FC73EFA206}", u"Syslog", u"", u"short", u"x", u""},
       "Wrong Datasource type : short\n"},
  };
  for (auto& c : cases) {
    ds_type_map map(c.table);
    std::string printed;
    EXPECT_EQ(lookup_text(map, u"Syslog", &printed), "<none>");
    EXPECT_EQ(printed, c.message);
  }
}

TEST(DsTypes, FailedBuildKeepsTheGroupsBeforeTheFault) {
  std::vector<const char16_t*> table = {
      u"{046FD196-5B96-41ac-A335-31FC73EFA206}", u"Syslog", u"", u"short", u"x", u""};
  ds_type_map map(table);
  EXPECT_EQ(lookup_text(map, u"x"), "<none>");
  EXPECT_EQ(lookup_text(map, u"Syslog"), "{046FD196-5B96-41ac-A335-31FC73EFA206}");
}

TEST(DsTypes, FirstTypeOfANameListedTwiceWins) {
  std::vector<const char16_t*> table = {u"{046FD196-5B96-41ac-A335-31FC73EFA206}", u"A", u"",
                                        u"{5115B8AA-29AE-4C6D-AE14-0BB7521E10FB}", u"A", u""};
  ds_type_map map(table);
  EXPECT_EQ(lookup_text(map, u"A"), "{046FD196-5B96-41ac-A335-31FC73EFA206}");
}

TEST(DsTypes, ConcurrentLookupsReportEachUnknownNameOnce) {
  ds_type_map map;
  testing::internal::CaptureStdout();
  std::vector<std::thread> threads;
  std::vector<std::set<const std::u16string*>> answers(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        answers[t].insert(
            map.lookup(i % 2 ? u"Syslog" : u"new source " + std::u16string(1, u'a' + i % 6)));
      }
    });
  }
  for (auto& th : threads) th.join();
  std::string printed = testing::internal::GetCapturedStdout();
  size_t count = 0;
  for (size_t at = 0; (at = printed.find("Datasource name not found", at)) != std::string::npos;
       ++at)
    ++count;
  EXPECT_EQ(count, 3u);  // "new source a", "c", "e"
  for (auto& a : answers) EXPECT_EQ(a.count(nullptr), 0u);
}

}  // namespace
}  // namespace repcopy
