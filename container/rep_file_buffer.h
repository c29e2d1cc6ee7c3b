#pragma once
// RepFileBuffer: one repository file image. Construction checks the header and walks the
// footer chain; Load parses each footer's part table and properties, decides the file's kind and,
// for event data, unpacks the items into record buffers grouped by part.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "container/damage_note.h"
#include "container/footer.h"
#include "records/rep_buffer.h"

namespace repcopy {

class RepDataBuffer;

class RepFileBuffer : public RepBuffer {
 public:
  // Results of Load (kind()).
  static constexpr int32_t kKindNotLoaded = 0;
  static constexpr int32_t kKindEventData = 1;
  static constexpr int32_t kKindActiveSegment = 2;
  static constexpr int32_t kKindPositionFile = 3;
  static constexpr int32_t kKindEmpty = 4;
  // Longest footer chain accepted: a guard against a forged chain of tiny footers.
  static constexpr size_t kMaxFooters = 65536;

  // The reader's messages (what it finds wrong, on standard output) go to messages, which must
  // outlive this object.
  // Over an image that must outlive this object and everything built from it.
  RepFileBuffer(message_sink& messages, byte_span image, const load_flags& flags);
  RepFileBuffer(message_sink& messages, byte_span image)
      : RepFileBuffer(messages, image, kAllLoadFlags) {}
  // Owns the image; its first real_len bytes are the file.
  RepFileBuffer(message_sink& messages, byte_buffer image, uint64_t real_len,
                const load_flags& flags);
  // Over the item of a nested-file entry (UnpackAsEntry), taking over the bytes it owns; an
  // entry without owned bytes refers to an image that must outlive this object.
  RepFileBuffer(message_sink& messages, buffer_entry entry, const load_flags& flags);

  // 0 on success (see kind()), -1 on any failure, including every exception on the way. Call
  // once.
  int32_t Load() override;
  // Footers, properties, part tables, buffer entries and parts, as summary lines.
  void Dump(message_sink& messages) const override;

  // The header sum and the footer chain were sound; Load returns -1 at once otherwise.
  bool ready() const { return ready_; }
  int32_t kind() const { return kind_; }
  uint64_t last_footer_offset() const { return last_footer_offset_; }
  uint32_t last_footer_len() const { return last_footer_len_; }
  const load_flags& flags() const { return flags_; }
  // Oldest footer first.
  std::deque<footer_record>& footers() { return footers_; }
  const std::deque<footer_record>& footers() const { return footers_; }

  // Items found damaged by the last Load: unpack status other than 0 (bad bounds, signature
  // or name, inflate error, CRC mismatch), entries of unknown Buffer ID, nested-file entries
  // outside the image, and a part table cut short (the load then fails). A file can load with
  // damaged items; each part records its own (part_record::damaged_items).
  uint32_t damage_count() const { return damage_count_; }
  // Every damage found from now on is also handed to listener, with whether the data ends
  // early. With a listener, the items that the load flags leave out are still unpacked and
  // checked (and then dropped), so that a check sees every item of the file.
  void set_damage_listener(damage_listener listener);

  // Hands out the nested-file entries of all footers, oldest footer first, one per call; then
  // an entry with no data (has_data() false) on every further call.
  const buffer_entry& NextBufferEntry();
  // Number of nested-file entries over all footers.
  uint64_t CountBufferEntries() const;
  // Destroys the parts of every footer (record buffers and their unpacked data).
  void DestroyParts();

 private:
  void CheckHeader();
  bool ScanFooters();
  bool ReadPartTable(footer_record& footer);
  void BuildBuffers(footer_record& footer);
  int32_t LoadFooters();
  void note(bool truncated, std::string what);
  void check_item(const RepDataBuffer& item, const part_table_entry& e);

  message_sink& messages_;
  byte_buffer owned_;
  load_flags flags_;
  int32_t kind_ = kKindNotLoaded;
  uint64_t last_footer_offset_ = 0;
  uint32_t last_footer_len_ = 0;
  std::deque<footer_record> footers_;
  bool ready_ = false;
  uint32_t damage_count_ = 0;
  size_t cursor_footer_ = 0;
  size_t cursor_entry_ = 0;
  damage_listener listener_;
  std::vector<damage_note> header_damage_;  // found before a listener could be set
};

}  // namespace repcopy
