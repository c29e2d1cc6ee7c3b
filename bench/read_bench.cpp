// The read stage alone: walks a repository (hot part, then main part), reads and joins every
// file, packs each event as the copy's batches keep it and discards the events, once per thread count in turn, for several rounds. Prints each
// run, then the median time per thread count and its speed-up over the first count. Runs of
// different counts alternate, so that load from elsewhere on the machine hits them alike.
//   read_bench <repository> [rounds] [threads...]      (defaults: 5 rounds, threads 1 2)
// Every run must see the same events in the same order (a fingerprint of each event's key,
// times, CRCs and sizes); the bench fails otherwise.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "model/copy_outcome.h"
#include "source/rep_source2.h"
#include "util/message_sink.h"
#include "util/paths.h"

namespace {
// The library's lines (none for sound input) go to the process's own streams.
repcopy::message_sink& bench_console() {
  static repcopy::stream_sink console(std::cout, std::cerr);
  return console;
}
}  // namespace

namespace {

using namespace repcopy;

struct result {
  double seconds = 0;
  double cpu_seconds = 0;
  uint64_t events = 0;
  uint64_t fingerprint = 0;
};

uint64_t mix(uint64_t h, uint64_t v) { return (h ^ v) * 0x100000001B3ull; }

result read_repository(const std::u16string& root, unsigned threads) {
  result r;
  r.fingerprint = 0xCBF29CE484222325ull;
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu_start = std::clock();
  copy_outcome outcome;
  for (uint32_t mode : {RepSource2::kModeHot, RepSource2::kModeMain}) {
    RepSource2 source(bench_console(), root, mode, nullptr, &outcome);
    source.set_read_threads(threads);
    // The events come as the copy takes them, packed (stored_event); each replaces the last.
    for (stored_event e; source.next_stored(e) == 0;) {
      ++r.events;
      r.fingerprint = mix(r.fingerprint, e.record_key);
      r.fingerprint = mix(r.fingerprint, e.event_time);
      r.fingerprint = mix(r.fingerprint, e.computer_crc);
      r.fingerprint = mix(r.fingerprint, e.description_crc);
      r.fingerprint = mix(r.fingerprint, e.strings.size());
      r.fingerprint = mix(r.fingerprint, e.data.size());
    }
  }
  r.cpu_seconds = double(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: read_bench <repository> [rounds] [threads...]\n");
    return 2;
  }
  std::u16string root;
  if (to_extended_path(bench_console(), argv[1], root) != 0) return 2;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::vector<unsigned> counts;
  for (int i = 3; i < argc; ++i) counts.push_back(unsigned(std::max(1, std::atoi(argv[i]))));
  if (counts.empty()) counts = {1, 2};

  std::map<unsigned, std::vector<double>> times, cpu;
  uint64_t events = 0, fingerprint = 0;
  bool first = true, same = true;
  for (int round = 1; round <= rounds; ++round) {
    for (unsigned threads : counts) {
      const result r = read_repository(root, threads);
      std::printf("round %d, %u read thread(s): %.3f s, cpu %.3f s, %llu events, %.0f events/s\n",
                  round, threads, r.seconds, r.cpu_seconds, (unsigned long long)r.events,
                  double(r.events) / r.seconds);
      std::fflush(stdout);
      times[threads].push_back(r.seconds);
      cpu[threads].push_back(r.cpu_seconds);
      if (first) {
        events = r.events;
        fingerprint = r.fingerprint;
        first = false;
      } else if (r.events != events || r.fingerprint != fingerprint) {
        same = false;
      }
    }
  }
  const double base = median(times[counts[0]]);
  for (unsigned threads : counts) {
    const double m = median(times[threads]);
    std::printf("median, %u read thread(s): %.3f s (cpu %.3f s), %.0f events/s, speed-up %.2fx\n",
                threads, m, median(cpu[threads]), double(events) / m, base / m);
  }
  if (!same) {
    std::printf("runs saw different events\n");
    return 1;
  }
  std::printf("every run saw the same %llu events in the same order\n", (unsigned long long)events);
  return 0;
}
