// repgen: writes a sample source repository with the project's own writers. Seeded and
// deterministic in content (file names carry fresh GUIDs): several domains, computers and data
// sources, Windows and non-Windows platforms, a hot part and a main part, insertion strings with
// gaps, named fields, user binaries and event data.
//
//   repgen [--profile small|easy|realistic] <repository_dir> [events] [seed]
//
// The small profile (the default) makes tiny events that exercise every record shape. The
// realistic profile makes events like those real collectors store, for benchmarks, and as hard to
// pack: Windows logons and logoffs (27 insertion strings with logon IDs, GUIDs, IPv4 and IPv6
// addresses, ports), process creation with command lines of generated paths and arguments,
// Sysmon-style process and network events with hashes, service events, directory searches,
// installer events, syslog lines; about a thousand accounts; most strings unique per event; its
// items pack about 4.2:1. The easy profile is the earlier realistic one (fewer strings unique per
// event, long templated descriptions; items pack about 5.2:1), kept so that earlier benchmark
// figures can be made again.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/usage.h"
#include "compression/crc32.h"
#include "model/storage_item.h"
#include "platform/platform.h"
#include "util/fatal.h"
#include "util/paths.h"
#include "util/text.h"
#include "writer/rep_target.h"

namespace repcopy {
namespace {

struct computer_spec {
  std::u16string domain;  // empty for non-Windows hosts
  std::u16string name;
  uint32_t platform_id;
  uint32_t time_offset;
  std::vector<std::u16string> data_sources;
};

const std::vector<computer_spec>& computers() {
  static const std::vector<computer_spec> kComputers = {
      {u"CORP", u"SRV01", 500, 0, {u"Security", u"System", u"Application"}},
      {u"CORP", u"dc02.corp.local", 500, 3600, {u"Security", u"Directory Service"}},
      {u"LAB", u"WKS-17", 500, 7200, {u"Application", u"Custom Audit Trail"}},
      {u"", u"web01", 630, 0, {u"Syslog", u"LinuxAccountsMonitoring"}},
      {u"", u"sun9", 610, 0, {u"Solaris Audit"}},
  };
  return kComputers;
}

std::u16string text_of(std::mt19937& rng, const char* prefix, int range) {
  return widen_ascii(std::string(prefix) + std::to_string(rng() % unsigned(range)));
}

void set_crcs(full_event& e) {
  e.host_computer_crc = crc32_of_text(e.host_computer);
  e.computer_crc = crc32_of_text(e.computer);
  e.user_string1_crc = crc32_of_text(e.user_string1);
  e.user_string2_crc = crc32_of_text(e.user_string2);
  e.src_name_crc = crc32_of_text(e.src_name);
  e.category_name_crc = crc32_of_text(e.category_name);
  e.description_crc = crc32_of_text(e.description);
  for (auto& s : e.strings) s.crc = crc32_of_text(s.text);
  for (auto& f : e.named_fields) {
    f.name_crc = crc32_of_text(f.name);
    f.value_crc = crc32_of_text(f.value);
  }
}

full_event make_event(std::mt19937& rng, const computer_spec& c, const std::u16string& ds,
                      uint32_t time, uint32_t key) {
  full_event e;
  e.origin_flag = 1;
  e.host_computer = ascii_upper(c.name);
  e.platform_id = c.platform_id;
  e.under_data_source = ds;
  e.record_key = key;
  e.computer = c.name;
  e.user_string1 = text_of(rng, "user", 12);
  e.user_string2 = c.platform_id == 500 ? c.domain : u"";
  if (rng() % 4 == 0) e.user_binary = {1, 5, 0, 0, 0, 0, 0, 5, uint8_t(rng()), uint8_t(rng())};
  e.category = rng() % 16;
  e.src_name = text_of(rng, "Source-", 5);
  uint32_t id = 4600 + rng() % 40;
  e.event_id = c.platform_id == 610 ? id | 0x10000u : id;
  e.category_name = text_of(rng, "Category ", 8);
  e.event_time = time;
  e.stored_time = time - c.time_offset;
  e.record_sum = time;
  e.domain = c.platform_id == 500 ? c.domain : (c.platform_id == 630 ? u"LINUX" : u"SunOS");
  if (rng() % 3 != 0) e.description = text_of(rng, "Something happened #", 50);
  e.data.resize(rng() % 48);
  for (auto& b : e.data) b = uint8_t(rng());
  // Insertion strings: ordinals 1..n, sometimes with a gap (1, 2, 5).
  uint32_t n = rng() % 5;
  uint32_t ordinal = 0;
  for (uint32_t k = 0; k < n; ++k) {
    ordinal += (rng() % 6 == 0) ? 3 : 1;
    insertion_string s;
    s.ordinal = ordinal;
    s.text = text_of(rng, "arg", 30);
    e.strings.push_back(s);
  }
  e.string_slots = uint16_t(ordinal);
  e.string_count = uint32_t(e.strings.size());
  if (rng() % 5 == 0) {
    named_field f;
    f.name = text_of(rng, "Field", 4);
    f.value = text_of(rng, "value-", 20);
    e.named_fields.push_back(f);
  }
  e.named_count = uint32_t(e.named_fields.size());
  set_crcs(e);
  return e;
}

// ---- easy profile: the first realistic one (items pack about 5.2:1), kept to repeat its figures
// ----

const std::vector<computer_spec>& realistic_computers() {
  static const std::vector<computer_spec> kComputers = [] {
    std::vector<computer_spec> list;
    const char* windows[] = {"DC01",     "DC02",     "FS01",     "SQL01",    "EXCH01",
                             "WKS-0101", "WKS-0102", "WKS-0217", "WKS-0333", "APP07"};
    for (const char* name : windows) {
      list.push_back({u"CORP",
                      widen_ascii(name),
                      500,
                      3600,
                      {u"Security", u"System", u"Application", u"Directory Service"}});
    }
    list.push_back({u"", u"web01.corp.local", 630, 0, {u"Syslog", u"LinuxAccountsMonitoring"}});
    list.push_back({u"", u"db02.corp.local", 630, 0, {u"Syslog"}});
    return list;
  }();
  return kComputers;
}

std::string hex_text(std::mt19937& rng, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out(size_t(digits), '0');
  for (char& c : out) c = kHex[rng() % 16];
  return out;
}

// The groups are drawn last to first: the order in which the sample repositories were made.
std::string guid_text(std::mt19937& rng) {
  std::string group[5];
  const int digits[5] = {8, 4, 4, 4, 12};
  for (int i = 4; i >= 0; --i) group[i] = hex_text(rng, digits[i]);
  return "{" + group[0] + "-" + group[1] + "-" + group[2] + "-" + group[3] + "-" + group[4] + "}";
}

std::string ip_text(std::mt19937& rng) {
  return "10." + std::to_string(rng() % 4) + "." + std::to_string(rng() % 256) + "." +
         std::to_string(1 + rng() % 254);
}

template <typename T, size_t N>
const T& pick(std::mt19937& rng, const T (&list)[N]) {
  return list[rng() % N];
}

const char* const kUsers[] = {"jsmith",  "adoe",     "mmueller", "kwong",   "svc_backup",
                              "svc_sql", "pnovak",   "lgarcia",  "rkumar",  "tbrown",
                              "admin",   "helpdesk", "eevans",   "fmartin", "ghughes"};
const char* const kImages[] = {"C:\\Windows\\System32\\svchost.exe",
                               "C:\\Windows\\System32\\cmd.exe",
                               "C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe",
                               "C:\\Program Files\\Microsoft Office\\root\\Office16\\OUTLOOK.EXE",
                               "C:\\Program Files (x86)\\Google\\Chrome\\Application\\chrome.exe",
                               "C:\\Windows\\System32\\conhost.exe",
                               "C:\\Windows\\System32\\rundll32.exe",
                               "C:\\Windows\\System32\\wbem\\WmiPrvSE.exe"};
const char* const kServices[] = {"Windows Update",
                                 "Print Spooler",
                                 "Background Intelligent Transfer Service",
                                 "Windows Defender Antivirus Service",
                                 "Remote Registry",
                                 "SQL Server (MSSQLSERVER)",
                                 "Windows Event Log"};

// Sets string i (one-based ordinals, no gaps) of e.
void set_strings(full_event& e, const std::vector<std::string>& texts) {
  uint32_t ordinal = 0;
  for (const std::string& text : texts) {
    insertion_string s;
    s.ordinal = ++ordinal;
    s.text = widen_ascii(text);
    e.strings.push_back(std::move(s));
  }
  e.string_slots = uint16_t(ordinal);
  e.string_count = uint32_t(e.strings.size());
}

std::string easy_command_line(std::mt19937& rng, const std::string& image) {
  std::string line = "\"" + image + "\"";
  switch (rng() % 4) {
    case 0:
      line += " -NoProfile -ExecutionPolicy Bypass -File C:\\ProgramData\\Scripts\\inventory_" +
              hex_text(rng, 6) + ".ps1 -Computer " + ip_text(rng) + " -Log C:\\Temp\\inv_" +
              std::to_string(rng() % 100000) + ".log";
      break;
    case 1:
      line += " /c copy \\\\fs01\\share\\users\\" + std::string(pick(rng, kUsers)) +
              "\\Documents\\report_" + std::to_string(rng() % 10000) + ".xlsx C:\\Users\\" +
              pick(rng, kUsers) + "\\AppData\\Local\\Temp\\" + hex_text(rng, 8) + ".tmp";
      break;
    case 2:
      line += " --type=renderer --field-trial-handle=" + std::to_string(rng() % 100000) + "," +
              std::to_string(rng()) +
              " --lang=en-US --renderer-client-id=" + std::to_string(rng() % 400) +
              " --mojo-platform-channel-handle=" + std::to_string(rng() % 9000) + " /prefetch:1";
      break;
    default:
      line += " -k netsvcs -p -s " + std::string(rng() % 2 ? "Schedule" : "BITS");
      break;
  }
  return line;
}

void easy_windows_event(std::mt19937& rng, const computer_spec& c, const std::u16string& ds,
                        full_event& e) {
  const std::string computer = to_utf8(c.name) + ".corp.local";
  const std::string user = pick(rng, kUsers);
  std::vector<std::string> s;
  std::string description;
  if (ds == u"Security") {
    if (rng() % 3 != 0) {
      e.event_id = 4624;
      e.category_name = u"Logon";
      e.src_name = u"Microsoft-Windows-Security-Auditing";
      const std::string logon_id = "0x" + hex_text(rng, 7);
      s = {"S-1-5-18",
           computer + "$",
           "CORP",
           "0x3E7",
           "S-1-5-21-3623811015-3361044348-30300820-" + std::to_string(1000 + rng() % 5000),
           user,
           "CORP",
           logon_id,
           std::to_string(2 + rng() % 9),
           rng() % 2 ? "Kerberos" : "NtLmSsp ",
           rng() % 2 ? "Kerberos" : "NTLM",
           "WKS-0" + std::to_string(100 + rng() % 300),
           guid_text(rng),
           "-",
           "-",
           "0",
           "0x" + hex_text(rng, 3),
           "C:\\Windows\\System32\\lsass.exe",
           ip_text(rng),
           std::to_string(49152 + rng() % 16383),
           "%%1833",
           "-",
           "-",
           "-",
           "%%1843",
           "0x0",
           "%%1842"};
      description =
          "An account was successfully logged on.\r\n\r\nSubject:\r\n\tSecurity ID:\t\t"
          "S-1-5-18\r\n\tAccount Name:\t\t" +
          computer +
          "$\r\n\tLogon ID:\t\t0x3E7"
          "\r\n\r\nNew Logon:\r\n\tAccount Name:\t\t" +
          user + "\r\n\tLogon ID:\t\t" + logon_id;
    } else {
      e.event_id = 4688;
      e.category_name = u"Process Creation";
      e.src_name = u"Microsoft-Windows-Security-Auditing";
      const std::string image = pick(rng, kImages);
      s = {"S-1-5-21-3623811015-3361044348-30300820-" + std::to_string(1000 + rng() % 5000),
           user,
           "CORP",
           "0x" + hex_text(rng, 7),
           "0x" + hex_text(rng, 4),
           image,
           "%%1936",
           "0x" + hex_text(rng, 4),
           easy_command_line(rng, image),
           "S-1-0-0",
           "-",
           "-",
           "0x0",
           "C:\\Windows\\explorer.exe",
           "S-1-16-8192"};
      description = "A new process has been created.\r\n\r\nNew Process Name:\t" + image;
    }
  } else if (ds == u"Application" && rng() % 4 != 0) {
    e.src_name = u"Microsoft-Windows-Sysmon";
    const std::string image = pick(rng, kImages);
    if (rng() % 2) {
      e.event_id = 1;
      e.category_name = u"Process Create (rule: ProcessCreate)";
      s = {"-",
           "2023-11-14 10:" + std::to_string(rng() % 60) + ":" + std::to_string(rng() % 60),
           guid_text(rng),
           std::to_string(rng() % 20000),
           image,
           "10.0.19041.1",
           "-",
           "-",
           easy_command_line(rng, image),
           "C:\\Users\\" + user + "\\",
           "CORP\\" + user,
           guid_text(rng),
           "0x" + hex_text(rng, 6),
           "1",
           "Medium",
           "SHA256=" + hex_text(rng, 64) + ",IMPHASH=" + hex_text(rng, 32),
           guid_text(rng),
           std::to_string(rng() % 20000),
           "C:\\Windows\\explorer.exe"};
      description = "Process Create: " + image;
    } else {
      e.event_id = 3;
      e.category_name = u"Network connection detected (rule: NetworkConnect)";
      s = {"-",
           "2023-11-14 10:" + std::to_string(rng() % 60),
           guid_text(rng),
           std::to_string(rng() % 20000),
           image,
           "CORP\\" + user,
           rng() % 3 ? "tcp" : "udp",
           "true",
           "false",
           ip_text(rng),
           "-",
           std::to_string(49152 + rng() % 16383),
           "-",
           "false",
           ip_text(rng),
           "-",
           std::to_string(rng() % 2 ? 443 : 445),
           "https"};
      description = "Network connection detected: " + image;
    }
  } else if (ds == u"System") {
    e.src_name = u"Service Control Manager";
    e.category_name = u"None";
    const std::string service = pick(rng, kServices);
    if (rng() % 4 == 0) {
      e.event_id = 7045;
      s = {service, "C:\\Windows\\System32\\svchost.exe -k " + hex_text(rng, 6),
           "user mode service", "demand start", "LocalSystem"};
      description = "A service was installed in the system.\r\n\r\nService Name:  " + service;
    } else {
      e.event_id = 7036;
      s = {service, rng() % 2 ? "running" : "stopped", hex_text(rng, 8)};
      description = "The " + service + " service entered the " + s[1] + " state.";
    }
  } else {
    e.src_name = u"MsiInstaller";
    e.category_name = u"None";
    e.event_id = 1033 + rng() % 10;
    s = {"Product " + std::to_string(rng() % 40),
         std::to_string(rng() % 10) + ".0." + std::to_string(rng() % 5000),
         "1033",
         std::to_string(rng() % 1700),
         "Vendor " + std::to_string(rng() % 12),
         "(NULL)"};
    description = "Windows Installer installed the product. Product Name: " + s[0];
    if (rng() % 8 == 0) {
      e.data.resize(16 + rng() % 200);
      for (auto& b : e.data) b = uint8_t(rng() % 8);
    }
  }
  set_strings(e, s);
  e.description = widen_ascii(description);
  e.user_string1 = widen_ascii(user);
  e.user_string2 = c.domain;
  e.category = e.event_id % 16;
}

void easy_syslog_event(std::mt19937& rng, const std::u16string& ds, full_event& e) {
  static const char* const kDaemons[] = {"sshd",    "sudo",   "cron",
                                         "systemd", "kernel", "postfix/smtpd"};
  const std::string daemon = pick(rng, kDaemons);
  const std::string user = pick(rng, kUsers);
  const std::string pid = std::to_string(1000 + rng() % 60000);
  std::string line;
  if (daemon == "sshd") {
    line = "Accepted publickey for " + user + " from " + ip_text(rng) + " port " +
           std::to_string(32768 + rng() % 28000) + " ssh2: RSA SHA256:" + hex_text(rng, 43);
  } else if (daemon == "sudo") {
    line = user + " : TTY=pts/" + std::to_string(rng() % 8) + " ; PWD=/home/" + user +
           " ; USER=root ; COMMAND=/usr/bin/systemctl restart app" + std::to_string(rng() % 9);
  } else if (daemon == "cron") {
    line = "(" + user + ") CMD (/usr/local/bin/backup.sh --target /srv/backup/" + hex_text(rng, 8) +
           ")";
  } else {
    line = "session " + std::to_string(rng() % 100000) + " of user " + user + " started, id " +
           hex_text(rng, 16);
  }
  e.src_name = widen_ascii(daemon);
  e.category_name = ds == u"Syslog" ? u"authpriv" : u"accounts";
  e.event_id = 100 + rng() % 20;
  set_strings(e, {daemon + "[" + pid + "]", line});
  e.description = widen_ascii(daemon + ": " + line);
  e.user_string1 = widen_ascii(user);
  e.category = 4;
}

// What the easy and the realistic profile's events share: the computer, its data source, the
// times and the record key; the profile fills in the rest.
full_event collected_event(const computer_spec& c, const std::u16string& ds, uint32_t time,
                           uint32_t key) {
  full_event e;
  e.origin_flag = 1;
  e.host_computer = ascii_upper(c.name);
  e.platform_id = c.platform_id;
  e.os_major = c.platform_id == 500 ? 10 : 5;
  e.under_data_source = ds;
  e.record_key = key;
  e.computer = c.name;
  e.event_time = time;
  e.stored_time = time - c.time_offset;
  e.record_sum = time;
  e.domain = c.platform_id == 500 ? c.domain : u"LINUX";
  return e;
}

full_event make_easy_event(std::mt19937& rng, const computer_spec& c, const std::u16string& ds,
                           uint32_t time, uint32_t key) {
  full_event e = collected_event(c, ds, time, key);
  if (c.platform_id == 500) {
    easy_windows_event(rng, c, ds, e);
  } else {
    easy_syslog_event(rng, ds, e);
  }
  set_crcs(e);
  return e;
}

// ---- realistic profile ----
//
// Events as hard to pack as collected ones: most insertion strings differ from event to event
// (logon IDs, process IDs, ports, addresses, GUIDs, hashes, times to the millisecond, command
// lines with generated paths and arguments), users drawn from about a thousand accounts, hashes
// from a few thousand executables. The items pack about 4.2:1.

// A 64-bit mix of a number (the same on every platform): stable hashes and identifiers.
uint64_t mix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// digits hex digits drawn from the numbers that follow seed.
std::string stable_hex(uint64_t seed, int digits, bool lower) {
  const char* hex = lower ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string out;
  out.reserve(size_t(digits));
  uint64_t bits = 0;
  for (int i = 0; i < digits; ++i) {
    if (i % 16 == 0) bits = mix64(seed * 131 + uint64_t(i));
    out += hex[bits & 15];
    bits >>= 4;
  }
  return out;
}

std::string lower_hex(std::mt19937& rng, int digits) {
  return stable_hex((uint64_t(rng()) << 32) | rng(), digits, true);
}

std::string number(uint32_t value) { return std::to_string(value); }

// A hex number without leading zeros ("0x1f4").
std::string hex_number(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

// "2023-11-14 22:13:20.123" for a time in seconds since 1970 (UTC) and a millisecond.
std::string utc_text(uint32_t time, uint32_t millisecond) {
  const auto seconds = std::chrono::sys_seconds{std::chrono::seconds{time}};
  const auto day = std::chrono::floor<std::chrono::days>(seconds);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss clock{seconds - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d.%03u", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                int(clock.minutes().count()), int(clock.seconds().count()), millisecond % 1000);
  return text;
}

std::string inside_ip(std::mt19937& rng) {
  return "10." + number(rng() % 32) + "." + number(rng() % 256) + "." + number(1 + rng() % 254);
}

std::string outside_ip(std::mt19937& rng) {
  return number(1 + rng() % 223) + "." + number(rng() % 256) + "." + number(rng() % 256) + "." +
         number(1 + rng() % 254);
}

// A link-local or global IPv6 address ("fe80::1c2d:9:e4:3a0f", "2001:db8:4:...").
std::string ipv6_text(std::mt19937& rng) {
  const bool link_local = rng() % 2 == 0;
  std::string text = link_local ? "fe80:" : "2001:db8";
  for (int group = 0; group < (link_local ? 4 : 6); ++group) {
    text += ':';
    text += stable_hex(rng(), 1 + int(rng() % 4), true);
  }
  return text;
}

std::string any_guid(std::mt19937& rng) {
  const std::string h = lower_hex(rng, 32);
  return "{" + h.substr(0, 8) + "-" + h.substr(8, 4) + "-" + h.substr(12, 4) + "-" +
         h.substr(16, 4) + "-" + h.substr(20, 12) + "}";
}

std::string base64_text(std::mt19937& rng, size_t length) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out(length, 'A');
  for (char& c : out) c = kAlphabet[rng() % 64];
  return out;
}

const char* const kGiven[] = {"a", "b", "c", "d", "e", "f", "g", "h", "j", "k",
                              "l", "m", "n", "p", "r", "s", "t", "v", "w", "y"};
const char* const kSurnames[] = {
    "smith",    "doe",       "mueller", "wong",    "novak",   "garcia",   "kumar",  "brown",
    "evans",    "martin",    "hughes",  "schmidt", "rossi",   "dubois",   "silva",  "tanaka",
    "kowalski", "jensen",    "olsen",   "murphy",  "kelly",   "nguyen",   "chen",   "lopez",
    "fischer",  "weber",     "meyer",   "wagner",  "becker",  "hoffmann", "ivanov", "petrov",
    "berg",     "lindqvist", "costa",   "moreau",  "lambert", "fontaine", "bauer",  "richter",
    "klein",    "wolf",      "neumann", "young",   "walker",  "hall",     "allen",  "king",
    "wright",   "scott"};
const char* const kServiceAccounts[] = {"svc_backup", "svc_sql",  "svc_iis",       "svc_sccm",
                                        "svc_scan",   "svc_mail", "administrator", "helpdesk"};

// One of about a thousand accounts.
std::string account(std::mt19937& rng) {
  if (rng() % 10 == 0) return pick(rng, kServiceAccounts);
  return std::string(pick(rng, kGiven)) + pick(rng, kSurnames);
}

// The account's security identifier: the same for the same name.
std::string account_sid(const std::string& name) {
  uint64_t h = 1469598103934665603ull;
  for (char c : name) h = (h ^ uint8_t(c)) * 1099511628211ull;
  return "S-1-5-21-3623811015-3361044348-30300820-" + number(1100 + uint32_t(h % 48000));
}

std::string workstation(std::mt19937& rng) { return "WKS-" + number(1000 + rng() % 3000); }

struct executable {
  const char* path;
  const char* file_version;
  const char* description;
};

const executable kExecutables[] = {
    {"C:\\Windows\\System32\\svchost.exe", "10.0.19041.1806", "Host Process for Windows Services"},
    {"C:\\Windows\\System32\\cmd.exe", "10.0.19041.746", "Windows Command Processor"},
    {"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe", "10.0.19041.1682",
     "Windows PowerShell"},
    {"C:\\Program Files\\Microsoft Office\\root\\Office16\\OUTLOOK.EXE", "16.0.16827.20166",
     "Microsoft Outlook"},
    {"C:\\Program Files (x86)\\Google\\Chrome\\Application\\chrome.exe", "119.0.6045.124",
     "Google Chrome"},
    {"C:\\Windows\\System32\\conhost.exe", "10.0.19041.1503", "Console Window Host"},
    {"C:\\Windows\\System32\\rundll32.exe", "10.0.19041.746", "Windows host process (Rundll32)"},
    {"C:\\Windows\\System32\\wbem\\WmiPrvSE.exe", "10.0.19041.1320", "WMI Provider Host"},
    {"C:\\Windows\\System32\\msiexec.exe", "5.0.19041.2193", "Windows installer"},
    {"C:\\Windows\\System32\\taskhostw.exe", "10.0.19041.1806", "Host Process for Windows Tasks"},
    {"C:\\Program Files\\Git\\cmd\\git.exe", "2.42.0.2", "Git for Windows"},
    {"C:\\Windows\\System32\\reg.exe", "10.0.19041.1", "Registry Console Tool"},
};

std::string temp_path(std::mt19937& rng, const std::string& user) {
  return "C:\\Users\\" + user + "\\AppData\\Local\\Temp\\" + lower_hex(rng, 8 + rng() % 8);
}

std::string realistic_command_line(std::mt19937& rng, const std::string& image,
                                   const std::string& user) {
  std::string line = "\"" + image + "\"";
  switch (rng() % 9) {
    case 0:
      line += " -NoProfile -ExecutionPolicy Bypass -File C:\\ProgramData\\Scripts\\inventory_" +
              lower_hex(rng, 6) + ".ps1 -Computer " + inside_ip(rng) + " -Log C:\\Temp\\inv_" +
              number(rng() % 100000) + ".log";
      break;
    case 1:
      line += " /c copy \\\\fs01\\share\\users\\" + account(rng) + "\\Documents\\report_" +
              number(rng() % 100000) + ".xlsx " + temp_path(rng, user) + ".tmp";
      break;
    case 2:
      line += " --type=renderer --field-trial-handle=" + number(rng() % 100000) + "," +
              number(rng()) + "," + number(rng()) +
              ",262144 --lang=en-US --renderer-client-id=" + number(rng() % 400) +
              " --launch-time-ticks=" + number(rng()) + number(rng() % 1000) +
              " --mojo-platform-channel-handle=" + number(rng() % 9000) + " /prefetch:1";
      break;
    case 3:
      line += " -EncodedCommand " + base64_text(rng, 40 + 4 * (rng() % 40));
      break;
    case 4:
      line += " " + temp_path(rng, user) + "\\setup_" + number(rng() % 1000) + ".dll,#" +
              number(1 + rng() % 12) + " " + any_guid(rng);
      break;
    case 5:
      line += " /i \"" + temp_path(rng, user) + "\\package_" + lower_hex(rng, 6) +
              ".msi\" /qn /L*v C:\\Windows\\Temp\\msi_" + number(rng() % 100000) + ".log";
      break;
    case 6:
      line += " fetch origin --prune --progress C:\\src\\" + account(rng) + "\\repo" +
              number(rng() % 500);
      break;
    case 7:
      line += " query HKLM\\SOFTWARE\\Classes\\CLSID\\" + any_guid(rng) + " /v InprocServer32";
      break;
    default:
      line += " -k netsvcs -p -s " + std::string(rng() % 2 ? "Schedule" : "BITS");
      break;
  }
  return line;
}

void realistic_security_event(std::mt19937& rng, const std::string& computer,
                              const std::string& user, full_event& e, std::vector<std::string>& s,
                              std::string& description) {
  e.src_name = u"Microsoft-Windows-Security-Auditing";
  const uint32_t kind = rng() % 20;
  if (kind < 9) {
    e.event_id = 4624;
    e.category_name = u"Logon";
    const std::string logon_id = hex_number(0x100000 + rng() % 0x7FFFFFF);
    const bool kerberos = rng() % 2;
    const uint32_t where = rng() % 10;
    const std::string ip = where < 4   ? ipv6_text(rng)
                           : where < 8 ? inside_ip(rng)
                                       : outside_ip(rng);
    // A third of the logons are asked for by a signed-in account rather than the computer.
    const bool by_account = rng() % 3 == 0;
    const std::string subject = by_account ? account(rng) : computer + "$";
    s = {by_account ? account_sid(subject) : "S-1-5-18",
         subject,
         "CORP",
         by_account ? hex_number(0x100000 + rng() % 0x7FFFFFF) : "0x3e7",
         account_sid(user),
         user,
         "CORP",
         logon_id,
         number(2 + rng() % 9),
         kerberos ? "Kerberos" : "NtLmSsp ",
         kerberos ? "Kerberos" : "NTLM",
         workstation(rng),
         kerberos ? any_guid(rng) : "{00000000-0000-0000-0000-000000000000}",
         "-",
         kerberos ? "-" : "NTLM V2",
         kerberos ? "0" : "128",
         hex_number(0x200 + rng() % 0x3000),
         "C:\\Windows\\System32\\lsass.exe",
         ip,
         number(49152 + rng() % 16383),
         "%%1833",
         "-",
         "-",
         "-",
         "%%1843",
         rng() % 3 ? "0x0" : hex_number(0x100000 + rng() % 0x7FFFFFF),
         "%%1842"};
    description = "An account was successfully logged on.\r\n\tLogon ID:\t" + logon_id;
  } else if (kind < 13) {
    e.event_id = 4634;
    e.category_name = u"Logoff";
    const std::string logon_id = hex_number(0x100000 + rng() % 0x7FFFFFF);
    s = {account_sid(user), user, "CORP", logon_id, number(2 + rng() % 9)};
    description = "An account was logged off.";
  } else {
    e.event_id = 4688;
    e.category_name = u"Process Creation";
    const executable& image = pick(rng, kExecutables);
    const executable& parent = pick(rng, kExecutables);
    s = {account_sid(user),
         user,
         "CORP",
         hex_number(0x100000 + rng() % 0x7FFFFFF),
         hex_number(4 * (1 + rng() % 16000)),
         image.path,
         rng() % 3 ? "%%1936" : "%%1937",
         hex_number(4 * (1 + rng() % 16000)),
         realistic_command_line(rng, image.path, user),
         "S-1-0-0",
         "-",
         "-",
         "0x0",
         parent.path,
         rng() % 4 ? "S-1-16-8192" : "S-1-16-12288"};
    description = "A new process has been created.";
  }
}

void realistic_sysmon_event(std::mt19937& rng, uint32_t time, const std::string& user,
                            full_event& e, std::vector<std::string>& s, std::string& description) {
  e.src_name = u"Microsoft-Windows-Sysmon";
  const executable& image = pick(rng, kExecutables);
  const std::string when = utc_text(time, rng() % 1000);
  if (rng() % 2) {
    e.event_id = 1;
    e.category_name = u"Process Create (rule: ProcessCreate)";
    const executable& parent = pick(rng, kExecutables);
    s = {"-",
         when,
         any_guid(rng),
         number(4 * (1 + rng() % 16000)),
         image.path,
         image.file_version,
         image.description,
         "-",
         "-",
         realistic_command_line(rng, image.path, user),
         "C:\\Users\\" + user + "\\",
         "CORP\\" + user,
         any_guid(rng),
         hex_number(0x100000 + rng() % 0x7FFFFFF),
         number(1 + rng() % 3),
         rng() % 4 ? "Medium" : "High",
         "MD5=" + lower_hex(rng, 32) + ",SHA256=" + lower_hex(rng, 64) +
             ",IMPHASH=" + lower_hex(rng, 32),
         any_guid(rng),
         number(4 * (1 + rng() % 16000)),
         parent.path,
         realistic_command_line(rng, parent.path, user)};
    description = "Process Create: " + std::string(image.path);
  } else {
    e.event_id = 3;
    e.category_name = u"Network connection detected (rule: NetworkConnect)";
    const bool out = rng() % 4 != 0;
    const uint32_t port = out ? (rng() % 3 ? 443 : 80) : (rng() % 2 ? 445 : 3389);
    const bool ipv6 = rng() % 10 < 3;
    s = {"-",
         when,
         any_guid(rng),
         number(4 * (1 + rng() % 16000)),
         image.path,
         "CORP\\" + user,
         rng() % 5 ? "tcp" : "udp",
         out ? "true" : "false",
         ipv6 ? "true" : "false",
         ipv6 ? ipv6_text(rng) : inside_ip(rng),
         workstation(rng) + ".corp.local",
         number(49152 + rng() % 16383),
         "-",
         ipv6 ? "true" : "false",
         ipv6  ? ipv6_text(rng)
         : out ? outside_ip(rng)
               : inside_ip(rng),
         out ? "edge-" + lower_hex(rng, 6) + ".cdn.example.net" : "-",
         number(port),
         port == 443   ? "https"
         : port == 80  ? "http"
         : port == 445 ? "microsoft-ds"
                       : "ms-wbt-server"};
    description = "Network connection detected: " + std::string(image.path);
  }
}

void realistic_windows_event(std::mt19937& rng, const computer_spec& c, const std::u16string& ds,
                             uint32_t time, full_event& e) {
  const std::string computer = to_utf8(c.name) + ".corp.local";
  const std::string user = account(rng);
  std::vector<std::string> s;
  std::string description;
  if (ds == u"Security") {
    realistic_security_event(rng, computer, user, e, s, description);
  } else if (ds == u"Application" && rng() % 8 != 0) {
    realistic_sysmon_event(rng, time, user, e, s, description);
  } else if (ds == u"System") {
    e.src_name = u"Service Control Manager";
    e.category_name = u"None";
    const std::string service = pick(rng, kServices);
    if (rng() % 4 == 0) {
      e.event_id = 7045;
      s = {service,
           "\"" + temp_path(rng, account(rng)) + "\\svc_" + lower_hex(rng, 6) + ".exe\" -k",
           "user mode service", "demand start", "LocalSystem"};
      description = "A service was installed in the system.\r\n\r\nService Name:  " + service;
    } else {
      e.event_id = 7036;
      s = {service, rng() % 2 ? "running" : "stopped", stable_hex(rng(), 8, false) + "00000000"};
      description = "The " + service + " service entered the " + s[1] + " state.";
    }
  } else if (ds == u"Directory Service") {
    e.src_name = u"Microsoft-Windows-ActiveDirectory_DomainService";
    e.category_name = u"Field Engineering";
    e.event_id = 1644;
    s = {"DC=corp,DC=local",
         "( & (objectClass=user) (sAMAccountName=" + user + ") )",
         number(1 + rng() % 5000),
         number(rng() % 40),
         inside_ip(rng) + ":" + number(49152 + rng() % 16383),
         "subtree",
         "cn,mail,memberOf,userAccountControl,pwdLastSet",
         "idx_sAMAccountName:" + number(1 + rng() % 4) + ":N;",
         number(rng() % 90000),
         number(rng() % 4000),
         number(rng() % 2000),
         number(rng() % 300),
         number(rng() % 100),
         number(rng() % 900),
         "0",
         "CORP\\" + user};
    description = "Internal event: A client issued a search operation.";
  } else {
    e.src_name = u"MsiInstaller";
    e.category_name = u"None";
    e.event_id = 1033 + rng() % 10;
    s = {"Product " + number(rng() % 400),
         number(rng() % 10) + ".0." + number(rng() % 5000),
         "1033",
         number(rng() % 1700),
         "Vendor " + number(rng() % 40),
         any_guid(rng)};
    description = "Windows Installer installed the product. Product Name: " + s[0];
    if (rng() % 8 == 0) {
      e.data.resize(16 + rng() % 200);
      for (auto& b : e.data) b = uint8_t(rng());
    }
  }
  set_strings(e, s);
  e.description = widen_ascii(description);
  e.user_string1 = widen_ascii(user);
  e.user_string2 = c.domain;
  e.category = e.event_id % 16;
}

void realistic_syslog_event(std::mt19937& rng, const std::u16string& ds, uint32_t time,
                            full_event& e) {
  static const char* const kDaemons[] = {"sshd",          "sshd",         "sudo",
                                         "CRON",          "systemd",      "kernel",
                                         "postfix/smtpd", "postfix/qmgr", "systemd-logind"};
  const std::string daemon = pick(rng, kDaemons);
  const std::string user = account(rng);
  const std::string pid = number(1000 + rng() % 4000000);
  std::string line;
  if (daemon == "sshd") {
    switch (rng() % 3) {
      case 0:
        line = "Accepted publickey for " + user + " from " + inside_ip(rng) + " port " +
               number(32768 + rng() % 28000) + " ssh2: RSA SHA256:" + base64_text(rng, 43);
        break;
      case 1:
        line = "Failed password for invalid user " + std::string(pick(rng, kSurnames)) +
               number(rng() % 100) + " from " + outside_ip(rng) + " port " +
               number(1024 + rng() % 64000) + " ssh2";
        break;
      default:
        line = "pam_unix(sshd:session): session opened for user " + user +
               "(uid=" + number(1000 + rng() % 3000) + ") by (uid=0)";
        break;
    }
  } else if (daemon == "sudo") {
    line = user + " : TTY=pts/" + number(rng() % 8) + " ; PWD=/home/" + user +
           " ; USER=root ; COMMAND=/usr/bin/systemctl restart app" + number(rng() % 90) +
           ".service";
  } else if (daemon == "CRON") {
    line = "(" + user + ") CMD (/usr/local/bin/backup.sh --target /srv/backup/" +
           lower_hex(rng, 12) + " --since " + number(time - rng() % 86400) + ")";
  } else if (daemon == "kernel") {
    line = "[" + number(rng() % 9000000) + "." + number(100000 + rng() % 900000) +
           "] [UFW BLOCK] IN=eth0 OUT= MAC=" + lower_hex(rng, 12) + ":" + lower_hex(rng, 12) +
           ":08:00 SRC=" + outside_ip(rng) + " DST=" + inside_ip(rng) +
           " LEN=" + number(40 + rng() % 1400) +
           " TOS=0x00 PREC=0x00 TTL=" + number(32 + rng() % 96) + " ID=" + number(rng() % 65536) +
           " PROTO=TCP SPT=" + number(1024 + rng() % 64000) +
           " DPT=" + number(rng() % 2 ? 22 : 3389 + rng() % 10) +
           " WINDOW=" + number(rng() % 65536) + " RES=0x00 SYN URGP=0";
  } else if (daemon == "postfix/smtpd") {
    line = "NOQUEUE: reject: RCPT from unknown[" + outside_ip(rng) + "]: 554 5.7.1 <" + user +
           "@corp.local>: Relay access denied; from=<" + base64_text(rng, 10) +
           "@example.org> to=<" + user + "@corp.local> proto=ESMTP helo=<" + lower_hex(rng, 8) +
           ">";
  } else if (daemon == "postfix/qmgr") {
    line = stable_hex(rng(), 10, false) + ": from=<" + user +
           "@corp.local>, size=" + number(1000 + rng() % 2000000) +
           ", nrcpt=" + number(1 + rng() % 5) + " (queue active)";
  } else {
    line = "New session " + number(rng() % 1000000) + " of user " + user + ".";
  }
  e.src_name = widen_ascii(daemon);
  e.category_name = ds == u"Syslog" ? u"authpriv" : u"accounts";
  e.event_id = 100 + rng() % 20;
  set_strings(e, {daemon + "[" + pid + "]", line});
  e.description = widen_ascii(daemon);
  e.user_string1 = widen_ascii(user);
  e.category = 4;
}

full_event make_realistic_event(std::mt19937& rng, const computer_spec& c, const std::u16string& ds,
                                uint32_t time, uint32_t key) {
  full_event e = collected_event(c, ds, time, key);
  if (c.platform_id == 500) {
    realistic_windows_event(rng, c, ds, time, e);
  } else {
    realistic_syslog_event(rng, ds, time, e);
  }
  set_crcs(e);
  return e;
}

struct profile {
  const std::vector<computer_spec>& (*computers)();
  full_event (*make)(std::mt19937&, const computer_spec&, const std::u16string&, uint32_t,
                     uint32_t);
  size_t file_events;  // events per written file
  uint32_t time_step;  // seconds between events
};

const profile kSmall{computers, make_event, 250, 7};
const profile kEasy{realistic_computers, make_easy_event, 3000, 1};
const profile kRealistic{realistic_computers, make_realistic_event, 3000, 1};

// Files one batch under root and starts a new one.
int flush(RepTarget& target, const computer_spec& c, const std::u16string& ds, storage_item& item) {
  if (item.events.empty()) return 0;
  item.domain_name = c.platform_id == 500 ? c.domain : u"Unknown";
  item.computer_name = ascii_upper(c.name);
  item.platform_id = c.platform_id;
  item.ds_name = ds;
  item.batch_count = uint32_t(item.events.size());
  item.ds_total = item.batch_count;
  int failed = target.flush_items(std::move(item)) != 0 ? 1 : 0;
  item = storage_item{};
  return failed;
}

// Writes count events spread over every computer and data source below root, in files of at
// most kFileEvents events, so that directories hold several files.
int write_part(message_sink& messages, const profile& p, const std::u16string& root,
               std::mt19937& rng, uint32_t count, uint32_t start, uint32_t& key) {
  RepTarget target(messages, root);
  std::map<std::pair<size_t, size_t>, storage_item> batches;
  int failures = 0;
  for (uint32_t i = 0; i < count; ++i) {
    size_t ci = rng() % p.computers().size();
    const computer_spec& c = p.computers()[ci];
    size_t di = rng() % c.data_sources.size();
    storage_item& item = batches[{ci, di}];
    item.events.push_back(p.make(rng, c, c.data_sources[di], start + i * p.time_step, ++key));
    if (item.events.size() == p.file_events) {
      failures += flush(target, c, c.data_sources[di], item);
    }
  }
  for (auto& [k, item] : batches) {
    const computer_spec& c = p.computers()[k.first];
    failures += flush(target, c, c.data_sources[k.second], item);
  }
  return failures;
}

constexpr const char* kUsage =
    "usage: repgen [--profile small|easy|realistic] <repository_dir> [events=3000] [seed=1]\n"
    "       repgen -h | --help | --version\n"
    "Writes a repository of made-up events (events: 1 to 100000000; seed: 0 to 4294967295).\n"
    "Exit codes: 0 written, 1 some files could not be written, 2 usage error, 255 fatal stop.\n";
constexpr uint32_t kMaxEvents = 100000000;

// A count given as decimal digits only, from least to most.
bool parse_count(const char* text, uint64_t least, uint64_t most, uint32_t& value) {
  const std::string_view digits = text;
  if (digits.empty() || digits.size() > 10 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  const uint64_t number = std::strtoull(text, nullptr, 10);
  if (number < least || number > most) return false;
  value = uint32_t(number);
  return true;
}

int refuse(message_sink& messages, const std::string& problem) {
  messages.write(message_kind::error, message_stream::err, "repgen: " + problem + "\n" + kUsage);
  return 2;
}

int generate(message_sink& messages, int argc, char** argv) {
  const profile* p = &kSmall;
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    messages.write(message_kind::summary, message_stream::out, kUsage);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    messages.out(message_kind::summary) << "repgen " << version_number();
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--profile") == 0) {
    if (argc < 3) return refuse(messages, "--profile needs small, easy or realistic");
    if (std::strcmp(argv[2], "realistic") == 0) {
      p = &kRealistic;
    } else if (std::strcmp(argv[2], "easy") == 0) {
      p = &kEasy;
    } else if (std::strcmp(argv[2], "small") != 0) {
      return refuse(messages,
                    std::string("unknown profile ") + argv[2] + " (small, easy or realistic)");
    }
    argc -= 2;
    argv += 2;
  }
  if (argc < 2) return refuse(messages, "no repository directory given");
  if (argc > 4) return refuse(messages, std::string("too many arguments: ") + argv[4]);
  // An option is never taken for the directory ("--help" among others would become one).
  if (argv[1][0] == '-') return refuse(messages, std::string("unknown option ") + argv[1]);
  uint32_t events = 3000, seed = 1;
  if (argc > 2 && !parse_count(argv[2], 1, kMaxEvents, events)) {
    return refuse(messages, std::string("events must be a number from 1 to 100000000: ") + argv[2]);
  }
  if (argc > 3 && !parse_count(argv[3], 0, 4294967295u, seed)) {
    return refuse(messages, std::string("seed must be a number from 0 to 4294967295: ") + argv[3]);
  }
  std::u16string root;
  if (to_extended_path(messages, argv[1], root) != 0) return 2;
  std::mt19937 rng(seed);
  uint32_t key = 0;
  const uint32_t start = 1700000000;  // 2023-11-14
  uint32_t hot = events / 10;
  int failures = write_part(messages, *p, root + platform::kSeparator + u"Hot$", rng, hot,
                            start + (events - hot) * p->time_step, key);
  failures += write_part(messages, *p, root, rng, events - hot, start, key);
  messages.out(message_kind::summary) << "repgen: " << events << " events written to " << argv[1];
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace repcopy

int main(int argc, char** argv) {
  using namespace repcopy;
  platform::setup_console();
  // The arguments as UTF-8 (on Windows read from the wide command line), in the argv form.
  std::vector<std::string> args = platform::utf8_arguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& a : args) utf8_argv.push_back(a.data());
  utf8_argv.push_back(nullptr);
  try {
    stream_sink console(std::cout, std::cerr);
    return generate(console, int(args.size()), utf8_argv.data());
  } catch (const fatal_error& error) {
    print_fatal(error, std::cout, std::cerr);
    return kFatalExitCode;
  }
}
