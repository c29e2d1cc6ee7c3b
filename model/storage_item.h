#pragma once
// storage_item: one batch of events of one data source of one computer, with the names and
// computer details the target needs to file it. The unit of work of the writer threads; it owns
// its events. The entry pointers refer into the event storage and are never followed by writers.
// A batch keeps its events as stored_events, each with one heap block of its own.

#include <cstdint>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/full_event.h"
#include "model/stored_event.h"

namespace repcopy {

struct domain_entry;
struct computer_entry;
struct ds_entry;

// The events of one batch in the order they were stored (the target sorts them by time). They
// lie in chunks of kChunkEvents records, one allocation each, that never move as the batch grows:
// a deque of these records took one allocation of 512 bytes for each 384-byte event, so storing
// an event cost a heap block more and every pass of the writers over a batch read a quarter more
// memory than the events hold.
class event_batch {
  using chunk = std::vector<stored_event>;  // reserved for kChunkEvents, never grown past it

  template <bool Const>
  class iterator_of {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = stored_event;
    using difference_type = std::ptrdiff_t;
    using batch_type = std::conditional_t<Const, const event_batch, event_batch>;
    using reference = std::conditional_t<Const, const stored_event&, stored_event&>;
    using pointer = std::conditional_t<Const, const stored_event*, stored_event*>;

    iterator_of() = default;
    iterator_of(batch_type* batch, size_t position) : batch_(batch), position_(position) {}
    reference operator*() const { return (*batch_)[position_]; }
    pointer operator->() const { return &(*batch_)[position_]; }
    iterator_of& operator++() {
      ++position_;
      return *this;
    }
    iterator_of operator++(int) {
      iterator_of before = *this;
      ++position_;
      return before;
    }
    bool operator==(const iterator_of& other) const { return position_ == other.position_; }

   private:
    batch_type* batch_ = nullptr;
    size_t position_ = 0;
  };

 public:
  using iterator = iterator_of<false>;
  using const_iterator = iterator_of<true>;
  static constexpr size_t kChunkEvents = 32;

  event_batch() = default;
  // A batch moved from is empty, as the storage expects of the batch it hands out.
  event_batch(event_batch&& other) noexcept
      : chunks_(std::move(other.chunks_)), size_(std::exchange(other.size_, 0)) {
    other.chunks_.clear();
  }
  event_batch& operator=(event_batch&& other) noexcept {
    if (this != &other) {
      chunks_ = std::move(other.chunks_);
      size_ = std::exchange(other.size_, 0);
      other.chunks_.clear();
    }
    return *this;
  }
  event_batch(const event_batch&) = delete;
  event_batch& operator=(const event_batch&) = delete;
  event_batch(std::initializer_list<full_event> events) {
    for (const full_event& e : events) push_back(e);
  }
  // n events with every field empty.
  explicit event_batch(size_t n) {
    for (size_t i = 0; i < n; ++i) {
      room().emplace_back();
      ++size_;
    }
  }

  // Stores a copy of the event.
  void push_back(const full_event& e) {
    room().emplace_back(e);
    ++size_;
  }
  void push_back(stored_event&& e) {
    room().push_back(std::move(e));
    ++size_;
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void clear() {
    chunks_.clear();
    size_ = 0;
  }
  void swap(event_batch& other) noexcept {
    chunks_.swap(other.chunks_);
    std::swap(size_, other.size_);
  }
  // Orders the events by event_time exactly as std::sort over the events with that comparison
  // does, equal times included (the order the written files have always had). The sort runs
  // over (time, position) pairs, which cost a fraction of moving whole events about, and each
  // event then moves once to its place.
  void sort_by_event_time();

  stored_event& operator[](size_t i) { return chunks_[i / kChunkEvents][i % kChunkEvents]; }
  const stored_event& operator[](size_t i) const {
    return chunks_[i / kChunkEvents][i % kChunkEvents];
  }
  stored_event& front() { return (*this)[0]; }
  const stored_event& front() const { return (*this)[0]; }
  stored_event& back() { return (*this)[size_ - 1]; }
  const stored_event& back() const { return (*this)[size_ - 1]; }
  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size_}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

 private:
  // The chunk the next event goes into: every chunk but the last is full, so that event i is in
  // chunk i / kChunkEvents (also when storing an event threw and left an empty last chunk).
  chunk& room() {
    if (chunks_.empty() || chunks_.back().size() == kChunkEvents) {
      chunks_.emplace_back().reserve(kChunkEvents);
    }
    return chunks_.back();
  }

  std::vector<chunk> chunks_;
  size_t size_ = 0;
};

struct storage_item {
  domain_entry* domain = nullptr;
  computer_entry* computer = nullptr;
  ds_entry* p_ds = nullptr;
  std::u16string domain_name;
  std::u16string computer_name;
  uint32_t platform_id = 0;
  uint32_t os_major = 0;
  uint32_t os_minor = 0;
  uint32_t computer_type = 0;
  std::u16string ds_name;
  uint32_t ds_total = 0;
  uint32_t batch_count = 0;
  uint64_t footprint = 0;  // memory held by the events (stored_event::bytes), 0 when not counted
  event_batch events;
  // The source files its events were read from, in the order met (a file again after another
  // is listed again), so that a batch that cannot be written can name them.
  std::vector<std::shared_ptr<const std::string>> source_files;
  // On the last batch of its data source in a run (taken after the reading ended): how many
  // batches the data source gave in the run, this one included; 0 on every other batch. Earlier
  // batches may still be in a writer's hands when the last one is written.
  uint32_t group_batches = 0;
};

}  // namespace repcopy
