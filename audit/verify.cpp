#include "audit/verify.h"

#include <ostream>

#include "audit/rep_files.h"
#include "platform/platform.h"
#include "source/rep_file_source.h"
#include "util/text.h"

namespace repcopy {

namespace {

// Names of a damaged file are listed up to this many, then counted.
constexpr size_t kMaxNotesPerLine = 4;

}  // namespace

file_check check_rep_file(const std::u16string& path) {
  return check_rep_file(platform::native_path(path));
}

file_check check_rep_file(const std::string& native) {
  file_check check;
  RepFileSource source(discard_messages(), nullptr, RepFileImage(native));
  source.set_damage_listener([&check](const damage_note& n) { check.damage.push_back(n); });
  source.ProcessFile([&check](const full_event&) { ++check.events; });
  return check;
}

namespace {

std::string damage_line_of(const std::string& shown, const std::vector<damage_note>& damage) {
  bool truncated = false;
  for (const damage_note& n : damage) truncated |= n.truncated;
  std::string line = shown + (truncated ? ": truncated: " : ": corrupt: ");
  for (size_t i = 0; i < damage.size() && i < kMaxNotesPerLine; ++i) {
    if (i != 0) line += "; ";
    line += damage[i].what;
  }
  if (damage.size() > kMaxNotesPerLine) {
    line += "; and " + std::to_string(damage.size() - kMaxNotesPerLine) + " more";
  }
  return line;
}

}  // namespace

std::string damage_line(const std::u16string& path, const std::vector<damage_note>& damage) {
  return damage_line_of(to_utf8(path), damage);
}

int run_verify(const std::vector<std::u16string>& paths, std::ostream& out) {
  std::vector<std::string> natives;
  for (const std::u16string& p : paths) natives.push_back(platform::native_path(p));
  return run_verify(natives, out);
}

int run_verify(const std::vector<std::string>& native_paths, std::ostream& out) {
  const rep_file_list list = list_rep_files(native_paths);
  uint64_t events = 0, damaged = 0;
  for (const std::string& missing : list.missing) {
    out << platform::display_name(missing) << ": no such file or directory" << std::endl;
    ++damaged;
  }
  for (const auto& [path, why] : list.unreadable) {
    out << platform::display_name(path) << ": unreadable: " << why << std::endl;
    ++damaged;
  }
  for (const std::string& path : list.files) {
    const file_check check = check_rep_file(path);
    events += check.events;
    if (check.damage.empty()) continue;
    ++damaged;
    out << damage_line_of(platform::display_name(path), check.damage) << std::endl;
  }
  out << "verify: " << list.files.size() << " file(s), " << events << " event(s), " << damaged
      << " damaged" << std::endl;
  return damaged == 0 ? 0 : 1;
}

}  // namespace repcopy
