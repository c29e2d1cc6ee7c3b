#pragma once
// read_ahead: reads repository files on helper threads, ahead of the consumer, and hands their
// events out in exactly the order one thread reading the files one after another would.
//
// The consumer's thread asks a path supplier (the repository walk) for the files in their order
// and queues them; helper threads take the queued files in that order, read and join each whole
// (inflate, record walks, events), pack each event as batches keep it (stored_event), and hand
// the events over in chunks. Packing on the helpers keeps each helper's event (the one the join
// builds into) on its own thread, and leaves the consumer little to do per event. next() gives the
// events of the oldest file first, then those of the next, and so on. The first event of a chunk
// names its source file; the others name none: they come from the file of the event before them. The lines a file's reading
// writes go to a buffering sink of that file, tagged with the number of events read so far, and
// next() replays them into the real sink at the place a serial run would print them: before the
// event they preceded, or after the file's last event. The supplier's own lines are placed the
// same way, before the first event of the following file.
//
// A spare helper (limits::spare_processor) reads only while a processor would otherwise be idle,
// so the reading that leads the copy gets both processors until the writers have work, and the
// writers have the processors to themselves after that.
//
// Bounds: at most `files` files are queued or being read, and events read but not yet taken
// hold at most about `bytes` bytes (each file may always hand over one chunk, so the oldest file
// never waits for the others). A helper whose file has events waiting waits for room. The files
// being read are held whole in memory, so their sizes count against the same bound: a helper
// starts a file only when its size fits beside the files being read and the events waiting,
// or when it is the oldest file (which the consumer waits for). So at most one file passes the
// bound, and a file larger than the bound is read with no other file but smaller ones beside it.
//
// An exception thrown while reading a file, or by the supplier, reappears in next() at its place
// in the order, after everything before it was handed out.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model/full_event.h"
#include "model/stored_event.h"
#include "util/message_sink.h"

namespace repcopy {

class read_ahead {
 public:
  // Gives the next file to read, in order, its lines written to messages; false when there are
  // no more. May throw.
  using path_supplier = std::function<bool(message_sink& messages, std::string& path)>;
  // Reads one file, pushes its events into the sink and writes its lines to messages. Called on
  // helper threads, several files at once: it must be safe for that.
  using file_reader = std::function<int32_t(message_sink& messages, const std::string& path,
                                            const event_sink& sink)>;

  struct limits {
    uint32_t files = 0;                 // queued or being read; 0: twice the threads, at least 4
    uint64_t bytes = 64ull << 20;       // events read and not yet taken
    uint32_t chunk_events = 512;        // a chunk is handed over at this many events
    uint64_t chunk_bytes = 4ull << 20;  // ... or this many bytes
    // The bytes a file takes in memory while it is read; by default its size on disk.
    std::function<uint64_t(const std::string& path)> file_bytes;
    // When set, one more helper reads, but starts a file only while this says a processor is
    // idle (at the start of a copy, before its writers have work); otherwise it waits, looking
    // again every kSpareLook. It is called from the helper threads.
    std::function<bool()> spare_processor;
  };
  static constexpr std::chrono::milliseconds kSpareLook{2};

  // messages gets every line, in file order; it must outlive this object.
  read_ahead(message_sink& messages, unsigned threads, path_supplier next_path, file_reader read,
             limits bounds);
  read_ahead(message_sink& messages, unsigned threads, path_supplier next_path, file_reader read)
      : read_ahead(messages, threads, std::move(next_path), std::move(read), limits{}) {}
  // Stops the helpers (a file being read is abandoned) and joins them.
  ~read_ahead();
  read_ahead(const read_ahead&) = delete;
  read_ahead& operator=(const read_ahead&) = delete;

  // 0 with the next event in out; -1 when every file has been handed out. Call from one thread
  // only (the one that owns the supplier). What out held before is freed later on a helper
  // thread.
  int32_t next(stored_event& out);

  // Largest amount of event bytes held at once so far (for tests and benchmarks).
  uint64_t peak_bytes() const;
  // Largest amount of file bytes being read at once so far (for tests and benchmarks).
  uint64_t peak_file_bytes() const;

 private:
  struct chunk {
    std::vector<stored_event> events;
    uint64_t bytes = 0;
  };
  struct job {
    std::string path;
    bool is_file = true;                // false: the end of the supplier's files
    std::vector<held_message> before;   // the supplier's lines before this file
    bool claimed = false;
    bool done = false;
    std::deque<chunk> chunks;  // handed over, not yet taken
    uint64_t held_bytes = 0;
    std::vector<held_message> messages;  // handed over with the chunks
    std::exception_ptr error;
  };
  class cancelled {};

  // Room a new chunk is given at once, so it does not regrow (and move its events) as it fills.
  size_t reserved_events() const { return std::min<size_t>(bounds_.chunk_events, 4096); }
  void fill_queue();
  void free_spent();
  void helper_loop(bool spare);
  void read_file(job& j);
  uint64_t start_file(job& j);
  void end_file(uint64_t bytes);
  void hand_over(job& j, chunk& c, buffering_sink& held, bool last);
  void print_messages_up_to(uint64_t position);
  void finish_front();
  void stop_helpers();

  message_sink& messages_;
  path_supplier next_path_;
  file_reader read_;
  limits bounds_;
  std::vector<std::thread> helpers_;

  mutable std::mutex lock_;
  std::condition_variable work_ready_;    // helpers: a file queued, room freed, or stop
  std::condition_variable events_ready_;  // consumer: a chunk handed over or a file done
  std::deque<std::unique_ptr<job>> queue_;
  std::vector<chunk> spent_;  // taken chunks holding the consumer's old events
  uint64_t held_bytes_ = 0;
  uint64_t peak_bytes_ = 0;
  uint64_t file_bytes_ = 0;  // sizes of the files being read
  uint64_t peak_file_bytes_ = 0;
  bool stop_ = false;

  // Consumer side, touched only by next().
  bool supplier_ended_ = false;
  buffering_sink supplier_output_;
  bool front_started_ = false;
  chunk current_;
  size_t current_index_ = 0;
  uint64_t delivered_ = 0;  // events of the front file handed out
  std::vector<held_message> front_messages_;
  size_t front_message_index_ = 0;
};

// Number of reading threads for a machine: half its logical processors, from 1 to 4.
unsigned default_read_threads(unsigned processors);

}  // namespace repcopy
