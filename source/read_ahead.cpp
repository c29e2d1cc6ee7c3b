#include "source/read_ahead.h"

#include <algorithm>
#include <utility>

#include "platform/platform.h"

namespace repcopy {

unsigned default_read_threads(unsigned processors) { return std::clamp(processors / 2, 1u, 4u); }

read_ahead::read_ahead(message_sink& messages, unsigned threads, path_supplier next_path,
                       file_reader read, limits bounds)
    : messages_(messages),
      next_path_(std::move(next_path)),
      read_(std::move(read)),
      bounds_(bounds) {
  if (threads < 1) threads = 1;
  if (bounds_.files == 0) bounds_.files = std::max(4u, 2 * threads);
  if (bounds_.chunk_events == 0) bounds_.chunk_events = 1;
  helpers_.reserve(threads + 1);
  for (unsigned i = 0; i < threads; ++i) helpers_.emplace_back([this] { helper_loop(false); });
  if (bounds_.spare_processor) helpers_.emplace_back([this] { helper_loop(true); });
}

read_ahead::~read_ahead() { stop_helpers(); }

void read_ahead::stop_helpers() {
  {
    std::lock_guard<std::mutex> l(lock_);
    stop_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& t : helpers_)
    if (t.joinable()) t.join();
}

uint64_t read_ahead::peak_bytes() const {
  std::lock_guard<std::mutex> l(lock_);
  return peak_bytes_;
}

uint64_t read_ahead::peak_file_bytes() const {
  std::lock_guard<std::mutex> l(lock_);
  return peak_file_bytes_;
}

// Waits until the file fits the byte bound beside the files being read and the events waiting,
// or is the oldest file, and counts it as being read. Returns its bytes. Throws cancelled on a
// stop.
uint64_t read_ahead::start_file(job& j) {
  uint64_t bytes = 0;
  if (bounds_.file_bytes) {
    bytes = bounds_.file_bytes(j.path);
  } else if (!platform::file_size(j.path, bytes)) {
    bytes = 0;  // the reader reports the file
  }
  std::unique_lock<std::mutex> l(lock_);
  work_ready_.wait(l, [&] {
    return stop_ || queue_.front().get() == &j ||
           file_bytes_ + held_bytes_ + bytes <= bounds_.bytes;
  });
  if (stop_) throw cancelled{};
  file_bytes_ += bytes;
  peak_file_bytes_ = std::max(peak_file_bytes_, file_bytes_);
  return bytes;
}

void read_ahead::end_file(uint64_t bytes) {
  {
    std::lock_guard<std::mutex> l(lock_);
    file_bytes_ -= bytes;
  }
  work_ready_.notify_all();
}

// Asks the supplier for files until the queue is full. Its output is kept for the file it
// precedes; its end (or its exception) becomes the last entry of the queue.
void read_ahead::fill_queue() {
  while (!supplier_ended_ && queue_.size() < bounds_.files) {
    auto j = std::make_unique<job>();
    bool more = false;
    try {
      more = next_path_(supplier_output_, j->path);
    } catch (...) {
      j->error = std::current_exception();
    }
    supplier_output_.take(j->before);
    if (!more) {
      supplier_ended_ = true;
      j->is_file = false;
      j->claimed = j->done = true;
    }
    {
      std::lock_guard<std::mutex> l(lock_);
      queue_.push_back(std::move(j));
    }
    work_ready_.notify_all();  // helpers waiting for room wait on it too
  }
}

int32_t read_ahead::next(stored_event& out) {
  for (;;) {
    if (current_index_ < current_.events.size()) {
      print_messages_up_to(delivered_);
      // The caller's previous event goes back into the chunk, to be freed by a helper; one the
      // caller moved on (the copy stores every event) holds nothing, and is simply replaced.
      stored_event& next = current_.events[current_index_++];
      if (out.holds_block()) {
        std::swap(out, next);
      } else {
        out = std::move(next);
      }
      ++delivered_;
      return 0;
    }
    fill_queue();
    if (queue_.empty()) return -1;
    job& front = *queue_.front();  // only this thread adds or removes entries
    if (!front_started_) {
      front_started_ = true;
      for (const held_message& m : front.before) replay(m, messages_);
    }
    {
      std::unique_lock<std::mutex> l(lock_);
      events_ready_.wait(l, [&] { return !front.chunks.empty() || front.done; });
      for (held_message& m : front.messages) front_messages_.push_back(std::move(m));
      front.messages.clear();
      if (!front.chunks.empty()) {
        if (!current_.events.empty()) spent_.push_back(std::move(current_));
        current_ = std::move(front.chunks.front());
        front.chunks.pop_front();
        current_index_ = 0;
        front.held_bytes -= current_.bytes;
        held_bytes_ -= current_.bytes;
        l.unlock();
        work_ready_.notify_all();
        continue;
      }
    }
    finish_front();
  }
}

void read_ahead::print_messages_up_to(uint64_t position) {
  while (front_message_index_ < front_messages_.size() &&
         front_messages_[front_message_index_].position <= position) {
    replay(front_messages_[front_message_index_++], messages_);
  }
}

// The front file has handed everything over: its last messages, then its exception if any.
void read_ahead::finish_front() {
  print_messages_up_to(UINT64_MAX);
  std::exception_ptr error;
  {
    std::lock_guard<std::mutex> l(lock_);
    error = queue_.front()->error;
    queue_.pop_front();
  }
  front_started_ = false;
  front_messages_.clear();
  front_message_index_ = 0;
  {
    std::lock_guard<std::mutex> l(lock_);
    if (!current_.events.empty()) spent_.push_back(std::move(current_));
  }
  work_ready_.notify_all();
  current_ = chunk{};
  current_index_ = 0;
  delivered_ = 0;
  if (error) std::rethrow_exception(error);
}

// The consumer's old events are freed on the helper threads, which made them: that keeps the
// allocator's per-thread caches full, where freeing on the consumer's thread sends every block
// back across threads.
void read_ahead::free_spent() {
  std::vector<chunk> spent;
  {
    std::lock_guard<std::mutex> l(lock_);
    spent.swap(spent_);
  }
}

void read_ahead::helper_loop(bool spare) {
  for (;;) {
    free_spent();
    job* j = nullptr;
    {
      std::unique_lock<std::mutex> l(lock_);
      // Files are taken in queue order, so the oldest unread file is always being read.
      const auto ready = [&] {
        if (stop_ || !spent_.empty()) return true;
        if (spare && !bounds_.spare_processor()) return false;
        for (const std::unique_ptr<job>& q : queue_) {
          if (!q->claimed) {
            j = q.get();
            return true;
          }
        }
        return false;
      };
      if (spare) {
        while (!work_ready_.wait_for(l, kSpareLook, ready)) {
        }
      } else {
        work_ready_.wait(l, ready);
      }
      if (stop_) return;
      if (j == nullptr) continue;  // woken to free spent events
      j->claimed = true;
    }
    read_file(*j);
  }
}

void read_ahead::read_file(job& j) {
  uint64_t file_bytes = 0;
  try {
    file_bytes = start_file(j);
  } catch (const cancelled&) {
    return;
  }
  // The file is out of memory once the reader returns, before the last hand-over lets the
  // consumer move on to the next file.
  struct release {
    read_ahead& self;
    uint64_t bytes;
    void now() { self.end_file(std::exchange(bytes, 0)); }
    ~release() {
      if (bytes != 0) now();
    }
  } release_file{*this, file_bytes};
  buffering_sink held;
  chunk c;
  c.events.reserve(reserved_events());
  uint64_t produced = 0;
  const event_sink sink = [&](full_event& e) {
    // Only a chunk's first event names the file (stored_event's constructor tells why); the
    // others come from the file of the event handed out before them.
    stored_event& stored = c.events.emplace_back(e, c.events.empty());
    c.bytes += stored.bytes();
    held.set_position(++produced);
    if (c.events.size() >= bounds_.chunk_events || c.bytes >= bounds_.chunk_bytes)
      hand_over(j, c, held, false);
  };
  try {
    read_(held, j.path, sink);
  } catch (const cancelled&) {
    return;
  } catch (...) {
    std::lock_guard<std::mutex> l(lock_);
    j.error = std::current_exception();
  }
  release_file.now();
  hand_over(j, c, held, true);
}

// Gives the events and messages gathered so far to the consumer. Before the last hand-over of a
// file, waits while other files' events fill the byte bound, unless this file has nothing
// waiting (so the file the consumer is taking from always moves on).
void read_ahead::hand_over(job& j, chunk& c, buffering_sink& held, bool last) {
  free_spent();
  {
    std::unique_lock<std::mutex> l(lock_);
    if (!last) {
      work_ready_.wait(
          l, [&] { return stop_ || j.chunks.empty() || held_bytes_ + c.bytes <= bounds_.bytes; });
      if (stop_) throw cancelled{};
    }
    if (!c.events.empty()) {
      j.held_bytes += c.bytes;
      held_bytes_ += c.bytes;
      peak_bytes_ = std::max(peak_bytes_, held_bytes_);
      j.chunks.push_back(std::move(c));
    }
    held.take(j.messages);
    if (last) j.done = true;
  }
  events_ready_.notify_one();
  c = chunk{};
  if (!last) c.events.reserve(reserved_events());
}

}  // namespace repcopy
