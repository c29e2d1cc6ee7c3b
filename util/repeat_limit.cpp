#include "util/repeat_limit.h"

#include <algorithm>

namespace repcopy {

bool repeat_limit::admit(const std::string& kind, bool to_error) {
  std::lock_guard<std::mutex> hold(lock_);
  auto [it, added] = kinds_.try_emplace(kind);
  if (added) {
    it->second.order = kinds_.size();
    it->second.to_error = to_error;
  }
  return ++it->second.seen <= kShownRepeats;
}

std::vector<repeat_limit::closing_line> repeat_limit::take_closing_lines() {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<std::pair<uint64_t, closing_line>> ordered;
  for (const auto& [kind, c] : kinds_) {
    if (c.seen <= kShownRepeats) continue;
    ordered.push_back({c.order,
                       {c.to_error, "\u2026 and " + std::to_string(c.seen - kShownRepeats) +
                                        " more like this: " + kind}});
  }
  kinds_.clear();
  std::sort(ordered.begin(), ordered.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<closing_line> lines;
  for (auto& [order, line] : ordered) lines.push_back(std::move(line));
  return lines;
}

repeat_limit& failure_repeats() {
  static repeat_limit limit;
  return limit;
}

}  // namespace repcopy
