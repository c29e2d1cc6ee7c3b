// Pushes many small events through the event storage, the copy driver and the writer pool into a
// target that writes nothing, and prints the throughput and the peaks that bound memory.
// Usage: storage_bench [events] [writer threads]

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "copy/copy_driver.h"
#include "copy/event_storage.h"
#include "copy/worker_pool.h"
#include "model/copy_outcome.h"
#include "model/full_event.h"
#include "model/source_and_target.h"
#include "platform/platform.h"
#include "util/message_sink.h"

namespace {
// The library's lines (none for sound input) go to the process's own streams.
repcopy::message_sink& bench_console() {
  static repcopy::stream_sink console(std::cout, std::cerr);
  return console;
}
}  // namespace

namespace {

using namespace repcopy;

// Events of 8 computers x 6 data sources in a fixed rotation, 48 bytes of data each.
class synthetic_source : public CommonSource {
 public:
  explicit synthetic_source(uint32_t count) : count_(count) {
    for (int c = 0; c < 8; ++c) hosts_.push_back(u"HOST" + std::u16string(1, u'A' + c));
    for (const char16_t* ds : {u"Security", u"System", u"Application", u"Setup", u"DNS", u"Web"})
      sources_.push_back(ds);
  }
  int32_t next_stored(stored_event& out) override {
    if (next_ == count_) return 1;
    const uint32_t i = next_++;
    full_event& e = event_;
    e.origin_flag = 1;
    e.host_computer = hosts_[i % hosts_.size()];
    e.computer = e.host_computer;
    e.under_data_source = sources_[(i / 3) % sources_.size()];
    e.domain = u"CORP";
    e.platform_id = 500;
    e.event_id = 4624;
    e.event_time = 1700000000 + i;
    e.record_key = i;
    e.src_name = u"Microsoft-Windows-Security-Auditing";
    e.data.assign(48, static_cast<uint8_t>(i));
    out = stored_event(e);
    return 0;
  }

 private:
  uint32_t count_;
  uint32_t next_ = 0;
  full_event event_;  // reused from event to event
  std::vector<std::u16string> hosts_;
  std::vector<std::u16string> sources_;
};

class null_target : public CommonTarget {
 public:
  int32_t flush_items(storage_item item) override {
    events_.fetch_add(item.events.size(), std::memory_order_relaxed);
    batches_.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  uint64_t events() const { return events_.load(); }
  uint64_t batches() const { return batches_.load(); }

 private:
  std::atomic<uint64_t> events_{0};
  std::atomic<uint64_t> batches_{0};
};

}  // namespace

int main(int argc, char** argv) {
  const uint32_t count =
      argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 2000000u;
  const unsigned processors = platform::logical_processor_count();
  const int32_t threads = argc > 2
                              ? std::atoi(argv[2])
                              : static_cast<int32_t>(processors >= 4 ? processors - 1 : processors);
  synthetic_source source(count);
  null_target target;
  worker_pool pool(bench_console(), threads);
  event_storage storage;
  copy_outcome outcome;

  const auto start = std::chrono::steady_clock::now();
  run_copy_driver(bench_console(), pool, storage, {&source}, target, outcome);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const worker_pool::stats stats = pool.statistics();
  std::cout << "events:             " << target.events() << " in " << target.batches()
            << " batches, " << threads << " writer thread(s)" << std::endl;
  std::cout << "seconds:            " << seconds << std::endl;
  std::cout << "events/second:      " << static_cast<uint64_t>(target.events() / seconds)
            << std::endl;
  std::cout << "peak pending:       " << storage.peak_pending() << " (limit "
            << storage.pending_limit() << ")" << std::endl;
  std::cout << "peak queued events: " << stats.peak_queued_events << " (bound "
            << pool.event_bound() << ")" << std::endl;
  return target.events() == count && outcome.complete() ? 0 : 1;
}
