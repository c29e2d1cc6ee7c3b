#pragma once
// repdump verify: loads every repository file and makes every check the readers know (header
// sum, footer chain, part tables, properties, every item unpacked with its CRC, every record
// walk, every cache index, every event joined) and reports each damaged file on one line.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "container/damage_note.h"

namespace repcopy {

struct file_check {
  uint64_t events = 0;              // events the file yields
  std::vector<damage_note> damage;  // empty for a sound file
};

// Reads and checks one file (a native path); the readers' own messages are silenced.
file_check check_rep_file(const std::string& native);
file_check check_rep_file(const std::u16string& path);

// The report line of a damaged file: "<path>: truncated|corrupt: what; what ...".
std::string damage_line(const std::u16string& path, const std::vector<damage_note>& damage);

// Checks every file of the native paths (directories walked); one line per damaged file on
// out, then "verify: F file(s), E event(s), D damaged". 0 when all is sound, 1 when anything is
// damaged: a path that does not exist, a directory that cannot be listed and a "*.rep" entry
// that cannot be read count as damaged, each with its own line
// ("<path>: unreadable: <system message>").
int run_verify(const std::vector<std::string>& native_paths, std::ostream& out);
int run_verify(const std::vector<std::u16string>& paths, std::ostream& out);

}  // namespace repcopy
