#include "model/storage_item.h"

#include <algorithm>
#include <vector>

#include "util/prefetch.h"

namespace repcopy {

void event_batch::sort_by_event_time() {
  struct keyed {
    uint32_t time;
    uint32_t position;
  };
  std::vector<keyed> order(size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = {(*this)[i].event_time, uint32_t(i)};
  const auto earlier = [](const keyed& a, const keyed& b) { return a.time < b.time; };
  // Most batches come in time order already (a data source's files are read in turn). With no
  // two times equal that order is the only sorted one, and no event moves. (With equal times
  // std::sort may still exchange them, and the written order is the one it gives.)
  if (std::adjacent_find(order.begin(), order.end(), [](const keyed& a, const keyed& b) {
        return a.time >= b.time;
      }) == order.end()) {
    return;
  }
  // std::sort's steps depend only on what the comparisons answer, so over the pairs it leaves
  // the events in the order it leaves them in when it sorts the events themselves.
  std::sort(order.begin(), order.end(), earlier);
  // order[i].position is the event that belongs at i; follow each cycle of that permutation,
  // marking a place done by pointing it at itself. The events of a cycle lie all over the batch,
  // so a second cursor runs kAhead steps ahead on the same cycle (in `order`, which the cache
  // holds) and asks for each event it passes, which the first reaches kAhead moves later.
  constexpr size_t kAhead = 8;
  for (size_t start = 0; start < order.size(); ++start) {
    if (order[start].position == start) continue;
    stored_event held = std::move((*this)[start]);
    size_t ahead = start;
    bool ahead_done = false;
    const auto step_ahead = [&] {
      if (ahead_done) return;
      ahead = order[ahead].position;
      if (ahead == start) {
        ahead_done = true;
        return;
      }
      prefetch_range(&(*this)[ahead], sizeof(stored_event));
    };
    for (size_t k = 0; k < kAhead; ++k) step_ahead();
    size_t at = start;
    for (;;) {
      const size_t from = order[at].position;
      order[at].position = uint32_t(at);
      if (from == start) {
        (*this)[at] = std::move(held);
        break;
      }
      step_ahead();
      (*this)[at] = std::move((*this)[from]);
      at = from;
    }
  }
}

}  // namespace repcopy
