#include "app/usage.h"

#include <cstdio>
#include <iostream>

#include "platform/platform.h"
#include "util/bytes.h"
#include "version.h"

namespace repcopy {

namespace {

constexpr size_t kFixedInfoSearchStart = 38;  // after wLength, wValueLength, wType and the key
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;

std::optional<std::array<uint16_t, 4>> own_version() {
  if (!platform::kHasVersionResource) {
    return std::array<uint16_t, 4>{REPCOPY_VERSION_MAJOR, REPCOPY_VERSION_MINOR,
                                   REPCOPY_VERSION_PATCH, REPCOPY_VERSION_TWEAK};
  }
  std::vector<uint8_t> block;
  if (!platform::own_version_resource(block)) return std::nullopt;
  return resource_file_version(block);
}

}  // namespace

std::optional<std::array<uint16_t, 4>> resource_file_version(std::span<const uint8_t> block) {
  if (block.size() < 4 || load_le16(block.data() + 2) == 0) return std::nullopt;
  size_t at = kFixedInfoSearchStart;
  while (at + 2 <= block.size() && load_le16(block.data() + at) == 0) at += 2;
  // Signature, structure version, then the file version's high and low double words.
  if (at + 16 > block.size() || load_le32(block.data() + at) != kFixedInfoSignature) {
    return std::nullopt;
  }
  const uint32_t high = load_le32(block.data() + at + 8), low = load_le32(block.data() + at + 12);
  return std::array<uint16_t, 4>{uint16_t(high >> 16), uint16_t(high), uint16_t(low >> 16),
                                 uint16_t(low)};
}

std::string version_number() {
  const auto v = own_version();
  if (!v) return "";
  char version[64];
  std::snprintf(version, sizeof version, "%d.%d.%d.%02d", (*v)[0], (*v)[1], (*v)[2], (*v)[3]);
  return version;
}

std::string banner_text() {
  std::string title = "repcopy - event repository copy";
  if (const std::string v = version_number(); !v.empty()) title += " " + v;
  return title + "\nCopies events between event repositories; the source is never changed.\n\n";
}

std::string version_line() {
  const std::string banner = banner_text();
  return banner.substr(0, banner.find('\n') + 1);
}

void print_banner(message_sink& messages) {
  messages.write(message_kind::notice, message_stream::err, banner_text());
}

std::string_view program_name(const char* argv0) {
  std::string_view path = argv0 ? argv0 : "";
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string more_options_text() {
  std::string text;
  text += "\n\n     Other options:";
  text += "\n-n, --dry-run              - Read, filter and pack as a copy would, write nothing;";
  text += "\n                             print the files and bytes a copy would write";
  text += "\n-q, --quiet                - Only warnings and errors: no banner, no summary tree,";
  text += "\n                             no notices, no elapsed time, no progress";
  text += "\n--json <file>              - Write a JSON summary to <file>; with \"-\" it goes to";
  text += "\n                             standard output instead of the summary tree";
  text += "\n--log <file>               - Append every line of the run, with its UTC time and";
  text += "\n                             kind, to <file> (whatever -q says)";
  text += "\n--threads <N>              - Number of writer threads (1 to 256)";
  text +=
      "\n--level <N>                - Compression level, 1 (fastest) to 12 (smallest); default 6";
  text += "\n--read-threads <N>         - Threads that read source files (1 to 64)";
  text += "\n--shard <K/N>              - Copy only the computers of shard K of N";
  text += "\n--allow-duplicates         - Write every event, also those the target already holds";
  text += "\n--help                     - Print this help";
  text += "\n--version                  - Print the version";
  text += "\n     Exit codes: 0 all copied, 2 usage error (nothing done), 3 not all copied,";
  text += "\n                 130 interrupted, 255 fatal stop";
  return text;
}

std::string usage_text(std::string_view program) {
  std::string text;
  text += "Makes events copy from source repository to target one.\n";
  text += "Or calculates target repository size.\n";
  text += "\nUsage:\n\n";
  text += program;
  text += " [-h -v]";
  text += "\n                   [-d <how_many_days_back>]";
  text += "\n                   [-r <how_many_hours_back>]";
  text += "\n                   [-f <YYYY[MM[DD[HH[mm[ss]]]]]>]";
  text += "\n                   [-t <YYYY[MM[DD[HH[mm[ss]]]]]>]";
  text += "\n                   [-i <id1,id2,id3...>]";
  text += "\n                   [-j <id1,id2,id3...>]";
  text += "\n                   <source repository_path> <target repository_path>\n";
  text += "\n-h                 - Print this help";
  text += "\n-v                 - Verbose mode";
  text += "\n     Time filters:";
  text += "\n-d <how_many_days_back>    - Results for this many past days, beginning";
  text += "\n                             with 12:00 AM UTC on the earliest matching day";
  text += "\n-r <how_many_hours_back>   - Results for this many past hours, beginning";
  text += "\n                             with the start of the earliest matching hour (UTC)";
  text +=
      "\n-f <YYYY[MM[DD[HH[mm[ss]]]]]> - Results starting from this date and time (UTC, inclusive)";
  text += "\n-t <YYYY[MM[DD[HH[mm[ss]]]]]> - Results up to this date and time (UTC, inclusive)";
  text += "\n     The -f and -t filter options can be used together.\n";
  text += "\n     EventID filters:";
  text +=
      "\n-i <id1,id2,id3...>        - 'White list' of EventID (will be included), comma "
      "separated.";
  text +=
      "\n-j <id1,id2,id3...>        - 'Black list' of EventID (will be excluded), comma "
      "separated.";
  text += "\n     Of -i and -j, the one given last is used.";
  text += more_options_text();
  text += "\n";
  return text;
}

void print_usage(message_sink& messages, std::string_view program) {
  messages.write(message_kind::summary, message_stream::out, usage_text(program));
}

}  // namespace repcopy
