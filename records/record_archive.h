#pragma once
// The three archives that one record description (records/record_layouts.h) runs through. A
// description names its fields in order; the archive decides what happens to each:
//
//   walk_archive    reads from a bounded cursor: numbers are read, a counted string or a byte
//                   run is only located (where it starts, how long it is) and skipped; the
//                   readers' one pass over an item, and the decoding of one record
//   size_archive    counts the bytes the fields take: the writers' size estimate
//   write_archive   writes into the span writer's fixed area: the writers' serializer
//
// Every archive has the same operations, so a description cannot read one layout and write
// another. A walk that runs out of bytes, or a write that runs out of room, fails and stays
// failed; later operations do nothing.

#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "model/stored_event.h"
#include "records/record_format.h"
#include "records/span_writer.h"
#include "records/string_words.h"
#include "util/bytes.h"

namespace repcopy {

// A counted string (u32 N, N UTF-16LE code units). Writing and sizing use text; a walk sets at
// (the offset of N) and units.
struct counted_text {
  std::u16string_view text;
  uint32_t at = 0;
  uint32_t units = 0;
};

// A run of bytes whose length an earlier field holds. Writing and sizing use bytes; a walk sets
// bytes to the run inside the item.
struct byte_run {
  byte_span bytes;
};

// The string words of an events record (records/string_words.h). Writing and sizing use words;
// a walk sets at (the offset of the first word) and count, taking words as a reader does.
struct word_run {
  std::span<const uint32_t> words;
  uint32_t at = 0;
  uint32_t count = 0;
};

// The (name, value) record-number pairs of a field list record. Writing and sizing use the
// event's named fields; a walk sets at (the offset of the first pair).
struct pair_run {
  std::span<const stored_field> fields;
  uint32_t at = 0;
};

class walk_archive {
 public:
  explicit walk_archive(byte_span data, size_t pos = 0) : r_(data, pos) {}

  bool ok() const { return ok_; }
  size_t pos() const { return r_.pos(); }
  bool at_end() const { return r_.at_end(); }

  void u16(uint16_t& v) { ok_ = ok_ && r_.u16(v); }
  void u32(uint32_t& v) { ok_ = ok_ && r_.u32(v); }
  void u64(uint64_t& v) { ok_ = ok_ && r_.u64(v); }
  void zeros(uint32_t n) { ok_ = ok_ && r_.skip(n); }
  void text(counted_text& t) {
    if (!ok_) return;
    t.at = uint32_t(r_.pos());
    ok_ = r_.u32(t.units) && r_.skip(uint64_t(t.units) * 2);
  }
  void bytes(byte_run& b, uint32_t length) { ok_ = ok_ && r_.bytes(length, b.bytes); }
  // Word 0 belongs to every record with slots; later words only while string_slots, read as a
  // signed 16-bit number, allows more than one, up to and including a TERMINATOR.
  void words(word_run& w, uint16_t string_slots) {
    if (!ok_) return;
    w.at = uint32_t(r_.pos());
    w.count = 0;
    const uint32_t limit = string_word_limit(string_slots);
    while (w.count < limit) {
      uint32_t word = 0;
      if (!r_.u32(word)) {
        ok_ = false;
        return;
      }
      ++w.count;
      if (word == TERMINATOR) break;
    }
  }
  void pairs(pair_run& p, uint32_t count) {
    if (!ok_) return;
    p.at = uint32_t(r_.pos());
    ok_ = r_.skip(uint64_t(count) * record_file::kFieldPairSize);
  }

 private:
  byte_reader r_;
  bool ok_ = true;
};

class size_archive {
 public:
  constexpr uint64_t size() const { return size_; }

  constexpr void u16(const uint16_t&) { size_ += 2; }
  constexpr void u32(const uint32_t&) { size_ += 4; }
  constexpr void u64(const uint64_t&) { size_ += 8; }
  constexpr void zeros(uint32_t n) { size_ += n; }
  constexpr void text(const counted_text& t) { size_ += 4 + 2 * uint64_t(t.text.size()); }
  constexpr void bytes(const byte_run& b, uint32_t) { size_ += b.bytes.size(); }
  constexpr void words(const word_run& w, uint16_t) { size_ += 4 * uint64_t(w.words.size()); }
  constexpr void pairs(const pair_run& p, uint32_t) {
    size_ += uint64_t(record_file::kFieldPairSize) * p.fields.size();
  }

 private:
  uint64_t size_ = 0;
};

class write_archive {
 public:
  explicit write_archive(span_writer& w) : w_(w) {}

  bool ok() const { return w_.ok(); }

  void u16(const uint16_t& v) { w_.u16(v); }
  void u32(const uint32_t& v) { w_.u32(v); }
  void u64(const uint64_t& v) { w_.u64(v); }
  void zeros(uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) w_.u8(0);
  }
  void text(const counted_text& t) { w_.counted_utf16(t.text); }
  void bytes(const byte_run& b, uint32_t) { w_.bytes(b.bytes); }
  void words(const word_run& w, uint16_t) {
    for (uint32_t word : w.words) w_.u32(word);
  }
  void pairs(const pair_run& p, uint32_t) {
    for (const stored_field& f : p.fields) {
      w_.u32(f.name_index);
      w_.u32(f.value_index);
    }
  }

 private:
  span_writer& w_;
};

// Runs the description of record through the archive. A description is a static member
// template fields(archive, record) of the record type, so that one list serves the walk (a
// record to fill) and the writer (a record to read from).
template <class Archive, class Record>
constexpr void describe(Archive& a, Record&& record) {
  std::remove_cvref_t<Record>::fields(a, record);
}

// The size of a record as its description counts it.
template <class Record>
constexpr uint64_t record_size(const Record& record) {
  size_archive a;
  describe(a, record);
  return a.size();
}

}  // namespace repcopy
