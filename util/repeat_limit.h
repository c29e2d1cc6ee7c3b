#pragma once
// Repeated identical failures (the same operation failing with the same system error for batch
// after batch): the first kShownRepeats of a kind are printed in full, the others only counted,
// and at the end of the run one line "… and N more like this: <kind>" per kind says how many were
// left out, on the stream the kind's lines went to. Thread-safe.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace repcopy {

inline constexpr uint64_t kShownRepeats = 3;

class repeat_limit {
 public:
  // Whether this occurrence of kind is to be printed in full.
  bool admit(const std::string& kind, bool to_error);
  // One line per kind with occurrences left out, in the order the kinds first came; the
  // counts start again.
  struct closing_line {
    bool to_error;
    std::string text;
  };
  std::vector<closing_line> take_closing_lines();

 private:
  struct count {
    uint64_t order = 0, seen = 0;
    bool to_error = false;
  };
  std::mutex lock_;
  std::map<std::string, count> kinds_;
};

// The process's limit for the failures the writers print.
repeat_limit& failure_repeats();

}  // namespace repcopy
