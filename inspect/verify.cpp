#include "inspect/verify.h"

#include <ostream>

#include "inspect/muted_output.h"
#include "inspect/rep_files.h"
#include "platform/platform.h"
#include "source/rep_file_source.h"
#include "util/text.h"

namespace repcopy {

namespace {

// Names of a damaged file are listed up to this many, then counted.
constexpr size_t kMaxNotesPerLine = 4;

}  // namespace

file_check check_rep_file(const std::u16string& path) {
  file_check check;
  muted_output muted;
  RepFileSource source(nullptr, RepFileImage(platform::native_path(path)));
  source.set_damage_listener([&check](const damage_note& n) { check.damage.push_back(n); });
  source.ProcessFile([&check](const full_event&) { ++check.events; });
  return check;
}

std::string damage_line(const std::u16string& path, const std::vector<damage_note>& damage) {
  bool truncated = false;
  for (const damage_note& n : damage) truncated |= n.truncated;
  std::string line = to_utf8(path) + (truncated ? ": truncated: " : ": corrupt: ");
  for (size_t i = 0; i < damage.size() && i < kMaxNotesPerLine; ++i) {
    if (i != 0) line += "; ";
    line += damage[i].what;
  }
  if (damage.size() > kMaxNotesPerLine) {
    line += "; and " + std::to_string(damage.size() - kMaxNotesPerLine) + " more";
  }
  return line;
}

int run_verify(const std::vector<std::u16string>& paths, std::ostream& out) {
  const rep_file_list list = list_rep_files(paths);
  uint64_t events = 0, damaged = 0;
  for (const std::u16string& missing : list.missing) {
    out << to_utf8(missing) << ": no such file or directory" << std::endl;
    ++damaged;
  }
  for (const std::u16string& path : list.files) {
    const file_check check = check_rep_file(path);
    events += check.events;
    if (check.damage.empty()) continue;
    ++damaged;
    out << damage_line(path, check.damage) << std::endl;
  }
  out << "verify: " << list.files.size() << " file(s), " << events << " event(s), " << damaged
      << " damaged" << std::endl;
  return damaged == 0 ? 0 : 1;
}

}  // namespace repcopy
