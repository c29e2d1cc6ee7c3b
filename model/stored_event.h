#pragma once
// stored_event: an event as it waits in a batch for its writer. It holds what a full_event holds,
// but its strings, binary values and insertion-string and named-field tables all live in one heap
// block of its own, so storing an event costs one allocation instead of one per field, and
// freeing a written batch costs one free per event. It has full_event's fields
// (model/event_fields.h); texts are views and tables are spans into the block. The writers set the
// cache record numbers (the *_index members of the event, its strings and its fields) while they
// serialize.
//
// Move-only: the views point into the block, which moves with the event.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "model/full_event.h"

namespace repcopy {

using stored_string = insertion_string_of<row_text>;
using stored_field = named_field_of<row_text>;

struct stored_event : event_fields<std::u16string_view, std::span<const uint8_t>,
                                   std::span<stored_string>, std::span<stored_field>> {
  stored_event() = default;
  // Copies every field of the event into one block. Without with_source_file the event names no
  // source file: a reader that hands out many events of one file names it on the first of them
  // only (read_ahead), since sharing the name costs an atomic count on each event made and freed.
  explicit stored_event(const full_event& e, bool with_source_file = true);
  stored_event(stored_event&&) noexcept = default;
  stored_event& operator=(stored_event&&) noexcept = default;
  void reset() = delete;  // a stored event is replaced, never reset: its block goes with it

  // Whether the event holds a block (not so once moved from, nor when it has nothing to keep).
  bool holds_block() const { return block_ != nullptr; }

  // The full_event with the same content (for tests and tools).
  full_event to_full_event() const;
  // Two sums over the insertion strings, taken when the event is stored, so that the writers can
  // size their items without walking every event's table of strings again: the strings' text
  // units, and how many strings have an ordinal other than the one after the string before
  // them (the first string's predecessor counts as ordinal 0).
  uint64_t string_text_units() const { return string_text_units_; }
  uint32_t string_ordinal_breaks() const { return string_ordinal_breaks_; }

  // Bytes of memory the event holds: the record and its block, each counted with the allocator's
  // overhead of a heap block of its own. Batches have always been cut by this count, so it stays
  // what it was although the memory is now a little less: a batch keeps its records in chunks,
  // and the block counts its rows at their former sizes (kCountedStringRow, kCountedFieldRow).
  // The copy bounds batches and queues with it.
  static constexpr uint64_t kBlockOverhead = 16;
  static constexpr uint64_t kCountedStringRow = 32;
  static constexpr uint64_t kCountedFieldRow = 48;
  uint64_t bytes() const {
    return sizeof(stored_event) + kBlockOverhead +
           (counted_block_size_ ? counted_block_size_ + kBlockOverhead : 0);
  }

 private:
  // Tables first, then binary values, then texts.
  std::unique_ptr<std::byte[]> block_;
  size_t counted_block_size_ = 0;  // the block's size with rows counted at their former sizes
  uint64_t string_text_units_ = 0;
  uint32_t string_ordinal_breaks_ = 0;
};

// bytes() counts the record's own size, and batches are cut by it: on 64-bit machines that size
// is part of what a copy writes, so a field added must take the place of padding.
static_assert(sizeof(void*) != 8 || sizeof(stored_event) == 384,
              "stored_event's size decides where batches are cut");
// The rows the writers walk most: an insertion string's is 24 bytes (it counts as 32).
static_assert(sizeof(void*) != 8 || (sizeof(stored_string) == 24 && sizeof(stored_field) == 40));

}  // namespace repcopy
