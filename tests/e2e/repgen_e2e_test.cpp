// End-to-end: repgen's profiles, read back with our own reader. The benchmarks compare figures
// taken months apart on repositories made again from a seed, so each profile must make the same
// events for the same seed, and the realistic one must hold the kinds of events, and the strings
// unique per event, that make its items as hard to pack as collected data.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "platform/utf.h"
#include "tests/e2e/e2e_util.h"

namespace repcopy::e2e {
namespace {

class RepgenEndToEnd : public e2e_test {
 protected:
  std::vector<full_event> generate(const std::string& profile, const std::string& name, int events,
                                   int seed) {
    const fs::path target = dir_ / name;
    run_result r =
        run_command(testutil::repgen_program() + " --profile " + profile + " " + quoted(target) +
                        " " + std::to_string(events) + " " + std::to_string(seed),
                    dir_);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    return read_repository(target);
  }
};

// The same seed makes the same events in every profile; another seed makes others.
TEST_F(RepgenEndToEnd, EachProfileMakesTheSameEventsForTheSameSeed) {
  for (const char* profile : {"small", "easy", "realistic"}) {
    SCOPED_TRACE(profile);
    const auto first = generate(profile, std::string(profile) + "-a", 1500, 7);
    const auto again = generate(profile, std::string(profile) + "-b", 1500, 7);
    const auto other = generate(profile, std::string(profile) + "-c", 1500, 8);
    ASSERT_EQ(first.size(), 1500u);
    EXPECT_TRUE(first == again);
    EXPECT_FALSE(first == other);
  }
  // The realistic profile is not the easy one under another name.
  EXPECT_FALSE(generate("easy", "easy", 500, 3) == generate("realistic", "realistic", 500, 3));
}

// The event kinds of the realistic profile, and the strings that differ from event to event.
TEST_F(RepgenEndToEnd, RealisticProfileHoldsEveryKindWithStringsUniquePerEvent) {
  const auto events = generate("realistic", "realistic", 6000, 11);
  ASSERT_EQ(events.size(), 6000u);
  std::map<std::pair<std::u16string, uint32_t>, int> kinds;  // (source name, event ID)
  std::set<std::u16string> logon_ids, guids, accounts;
  int logons = 0, ipv6 = 0, sysmon_processes = 0;
  const std::regex hashes("MD5=[0-9a-f]{32},SHA256=[0-9a-f]{64},IMPHASH=[0-9a-f]{32}");
  const std::regex hex_id("0x[0-9a-f]+");
  for (const full_event& e : events) {
    ++kinds[{e.src_name, e.event_id}];
    accounts.insert(e.user_string1);
    if (e.event_id == 4624) {
      ++logons;
      ASSERT_EQ(e.strings.size(), 27u);
      const std::string logon_id = to_utf8(e.strings[7].text);
      EXPECT_TRUE(std::regex_match(logon_id, hex_id)) << logon_id;
      logon_ids.insert(e.strings[7].text);
      if (e.strings[18].text.find(u':') != std::u16string::npos) ++ipv6;
    }
    if (e.src_name == u"Microsoft-Windows-Sysmon" && e.event_id == 1) {
      ++sysmon_processes;
      ASSERT_EQ(e.strings.size(), 21u);
      EXPECT_TRUE(std::regex_match(to_utf8(e.strings[16].text), hashes))
          << to_utf8(e.strings[16].text);
      guids.insert(e.strings[2].text);
    }
  }
  auto count_of = [&](const std::u16string& source, uint32_t id) {
    auto it = kinds.find({source, id});
    return it == kinds.end() ? 0 : it->second;
  };
  const std::u16string security = u"Microsoft-Windows-Security-Auditing";
  for (uint32_t id : {4624u, 4634u, 4688u}) EXPECT_GT(count_of(security, id), 100) << id;
  for (uint32_t id : {1u, 3u}) EXPECT_GT(count_of(u"Microsoft-Windows-Sysmon", id), 100) << id;
  for (uint32_t id : {7036u, 7045u}) EXPECT_GT(count_of(u"Service Control Manager", id), 20) << id;
  EXPECT_GT(count_of(u"Microsoft-Windows-ActiveDirectory_DomainService", 1644), 100);
  int installer = 0, syslog = 0;
  for (const auto& [kind, n] : kinds) {
    if (kind.first == u"MsiInstaller") installer += n;
    if (kind.first == u"sshd" || kind.first == u"sudo" || kind.first == u"kernel") syslog += n;
  }
  EXPECT_GT(installer, 20);
  EXPECT_GT(syslog, 100);
  // Logon IDs and process GUIDs differ from event to event; about a thousand accounts; some
  // logons come from IPv6 addresses.
  EXPECT_GE(logon_ids.size() * 100, size_t(logons) * 99);
  EXPECT_GE(guids.size() * 100, size_t(sysmon_processes) * 99);
  EXPECT_GT(accounts.size(), 500u);
  EXPECT_GT(ipv6 * 5, logons);
}

}  // namespace
}  // namespace repcopy::e2e
