#pragma once
// RepBuffer: the base of every reader of repository file data. RepPartBuffer: one unpacked
// internal file viewed as records; the base record layout is the counted string (string_record
// of records/record_layouts.h). Subclasses (records/) replace WalkRecords and ClearIndex for
// their own layouts. The walk is one pass with the layout's description: it checks each record
// against the end of the item, counts it and indexes it. Index vectors hold byte offsets into
// the buffer, checked by the walk.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records/record_layouts.h"
#include "util/byte_buffer.h"
#include "util/bytes.h"
#include "util/message_sink.h"

namespace repcopy {

class RepBuffer {
 public:
  RepBuffer(byte_span data, int32_t buffer_id) : data_(data), buffer_id_(buffer_id) {}
  virtual ~RepBuffer() = default;
  RepBuffer(const RepBuffer&) = delete;
  RepBuffer& operator=(const RepBuffer&) = delete;

  // Parses the bytes; 0 on success, a negative status on failure.
  virtual int32_t Load() { return 0; }
  // Diagnostic listing, as summary lines on standard output.
  virtual void Dump(message_sink& /*messages*/) const {}

  byte_span bytes() const { return data_; }
  uint64_t buffer_len() const { return data_.size(); }
  int32_t buffer_id() const { return buffer_id_; }
  uint32_t ulCount() const { return ulCount_; }

 protected:
  byte_span data_;
  int32_t buffer_id_;
  uint32_t ulCount_ = 0;
};

class RepPartBuffer : public RepBuffer {
 public:
  // Takes ownership of the unpacked item. buffer_len is the number of bytes actually inflated
  // (real_len), not the padded vector size, so an empty item holds zero records.
  RepPartBuffer(byte_buffer unpacked, uint64_t real_len, int32_t buffer_id);

  // WalkRecords; fails (-1), with no index but ulCount() the records walked, unless the walk
  // ends exactly at buffer_len.
  int32_t Load() override;
  // "id = ", class name, buffer_len, ulCount, then a hex dump of the whole buffer.
  void Dump(message_sink& messages) const override;

  // Base layout: the string of record i (i < ulCount()).
  std::u16string string_at(uint32_t i) const;
  // The same into out, reusing its memory (the event join reuses one event's strings).
  void string_at(uint32_t i, std::u16string& out) const;

  // Class name printed by Dump for a Buffer ID 0 to 14 ("N/A" otherwise).
  static const char* class_name(int32_t buffer_id);

 protected:
  // Walks the records from offset 0, counting them into ulCount_ and indexing them; false as
  // soon as a record would pass the end.
  virtual bool WalkRecords();
  // Drops the index after a failed walk.
  virtual void ClearIndex();

  // The walk of items made of Record alone: describes one record after the other until the end,
  // calling on_record(start, record) for each and counting it. False when a record does not fit.
  template <class Record, class OnRecord>
  bool walk_each(OnRecord&& on_record) {
    walk_archive a(data_);
    while (!a.at_end()) {
      const uint32_t start = uint32_t(a.pos());
      Record record;
      describe(a, record);
      if (!a.ok()) return false;
      on_record(start, record);
      ++ulCount_;
    }
    return true;
  }
  // The walk that indexes the start of every record.
  template <class Record>
  bool walk_starts() {
    return walk_each<Record>(
        [this](uint32_t start, const Record&) { record_starts_.push_back(start); });
  }
  // Record i read back with its description; nullopt for a record number not indexed.
  template <class Record>
  std::optional<Record> record_at(uint32_t i) const {
    if (i >= record_starts_.size()) return std::nullopt;
    walk_archive a(data_, record_starts_[i]);
    Record record;
    describe(a, record);
    if (!a.ok()) return std::nullopt;
    return record;
  }
  // Reads the string of a counted-string record starting at offset (already validated).
  std::u16string counted_string_at(uint32_t offset) const;
  void counted_string_at(uint32_t offset, std::u16string& out) const;

  std::vector<uint32_t> record_starts_;

 private:
  byte_buffer owned_;
};

}  // namespace repcopy
