#include "copy/existing_events.h"

#include <algorithm>

namespace repcopy {

void existing_events::merge() {
  if (pending_.empty()) return;
  std::sort(pending_.begin(), pending_.end());
  std::vector<entry> merged;
  merged.reserve(entries_.size() + pending_.size());
  size_t i = 0;
  size_t j = 0;
  while (i < entries_.size() || j < pending_.size()) {
    if (j == pending_.size() || (i < entries_.size() && entries_[i].hash < pending_[j])) {
      merged.push_back(entries_[i++]);
      continue;
    }
    const event_hash h = pending_[j];
    uint32_t count = 0;
    if (i < entries_.size() && entries_[i].hash == h) count = entries_[i++].count;
    while (j < pending_.size() && pending_[j] == h) {
      ++count;
      ++j;
    }
    merged.push_back({h, count});
  }
  entries_.swap(merged);
  std::vector<event_hash>().swap(pending_);
}

bool existing_events::take(const event_hash& h) {
  merge();
  auto it = std::lower_bound(entries_.begin(), entries_.end(), h,
                             [](const entry& e, const event_hash& v) { return e.hash < v; });
  if (it == entries_.end() || it->hash != h || it->count == 0) return false;
  --it->count;
  return true;
}

std::vector<uint32_t> existing_events::take_all(
    std::span<const std::pair<event_hash, uint32_t>> sorted) {
  merge();
  std::vector<uint32_t> taken;
  const size_t n = entries_.size();
  size_t at = 0;  // every entry before it is below the hashes still to come
  for (const auto& [hash, position] : sorted) {
    if (at < n && entries_[at].hash < hash) {
      // Gallop: double the step while the entry there is still below, then search inside the last
      // step (its end is at or above the hash, or the end of the array).
      size_t below = at;
      size_t step = 1;
      while (below + step < n && entries_[below + step].hash < hash) {
        below += step;
        step *= 2;
      }
      const auto end = entries_.begin() + ptrdiff_t(std::min(n, below + step));
      at = size_t(std::lower_bound(entries_.begin() + ptrdiff_t(below) + 1, end, hash,
                                   [](const entry& e, const event_hash& v) { return e.hash < v; }) -
                  entries_.begin());
    }
    if (at < n && entries_[at].hash == hash && entries_[at].count > 0) {
      --entries_[at].count;
      taken.push_back(position);
    }
  }
  return taken;
}

size_t existing_events::distinct() {
  merge();
  return entries_.size();
}

}  // namespace repcopy
