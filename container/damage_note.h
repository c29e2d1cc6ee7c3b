#pragma once
// What a reader found wrong in one repository file, for a caller that wants to report it itself
// (the checking tool) rather than read the diagnostics printed on standard output.

#include <functional>
#include <string>

namespace repcopy {

struct damage_note {
  bool truncated = false;  // the data ends early; otherwise it is corrupt
  std::string what;        // one line, without the file's path
};

// Called once per damage found; may be empty (no one listens).
using damage_listener = std::function<void(const damage_note&)>;

}  // namespace repcopy
