#pragma once
// The copy driver: on the calling thread it pulls events from each source in turn, batches them
// in the event storage and hands every batch taken out to the writer pool, which gives it to
// the target. Reading is sequential; writing runs on the pool's threads.

#include <cstdint>
#include <functional>
#include <vector>

#include "copy/event_storage.h"
#include "copy/worker_pool.h"
#include "model/copy_outcome.h"
#include "model/source_and_target.h"

namespace repcopy {

// Sources deliver only the events that pass the run's filter (time window, EventID list, shard):
// the source is the one place an event is tested, and the driver copies all it is given.
//
// Returns 0 once every event has been read, every batch written and every writer joined (the
// pool is finished). A batch the target fails to write (nonzero result, or an exception) and an
// event too large for any batch are counted in outcome; the run goes on. When an exception
// leaves the driver, the pool is aborted (queued batches dropped and counted as failed, writers
// joined) before it propagates.
//
// stop_requested (may be empty) is asked before every event. Once it says yes, reading stops,
// the writers finish the batch in hand, queued batches and the batches still in the storage are
// not written: they are counted as not written in outcome and taken off their data sources'
// totals, so the summary counts only what reached the target. Returns kCopyStopped then.
//
// A target that reports itself full (CommonTarget::full) stops the copy the same way, since every
// later file would fail too; returns kCopyTargetFull then (kCopyStopped when a stop was also
// requested).
inline constexpr int32_t kCopyStopped = 1;
inline constexpr int32_t kCopyTargetFull = 2;
int32_t run_copy_driver(message_sink& messages, worker_pool& pool, event_storage& storage,
                        const std::vector<CommonSource*>& sources, CommonTarget& target,
                        copy_outcome& outcome, const std::function<bool()>& stop_requested = {});

}  // namespace repcopy
