#include "container/rep_file_buffer.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "container/buffer_id.h"
#include "container/format.h"
#include "container/properties.h"
#include "container/rep_data_buffer.h"
#include "util/hex_dump.h"
#include "util/text.h"

namespace repcopy {

RepFileBuffer::RepFileBuffer(message_sink& messages, byte_span image, const load_flags& flags)
    : RepBuffer(image, kBufferIdRawFile), messages_(messages), flags_(flags) {
  CheckHeader();
}

RepFileBuffer::RepFileBuffer(message_sink& messages, byte_buffer image, uint64_t real_len,
                             const load_flags& flags)
    : RepBuffer(byte_span(), kBufferIdRawFile),
      messages_(messages),
      owned_(std::move(image)),
      flags_(flags) {
  data_ = byte_span(owned_.data(), size_t(std::min<uint64_t>(real_len, owned_.size())));
  CheckHeader();
}

RepFileBuffer::RepFileBuffer(message_sink& messages, buffer_entry entry, const load_flags& flags)
    : RepBuffer(entry.item_bytes(), kBufferIdRawFile), messages_(messages), flags_(flags) {
  owned_ = std::move(entry.owner);  // the heap block, and so data_, stays where it is
  CheckHeader();
}

void RepFileBuffer::CheckHeader() {
  if (data_.size() < kHeaderSize) {
    messages_.out(message_kind::notice)
        << "File too short for its header: " << data_.size() << " < " << kHeaderSize << " bytes";
    note(true, "shorter than its 512-byte header (" + std::to_string(data_.size()) + " bytes)");
    return;
  }
  byte_reader r(data_, kHeaderLastFooterOffsetPos);
  r.u64(last_footer_offset_);
  r.u32(last_footer_len_);
  const uint64_t size = data_.size();
  if (last_footer_offset_ > size || size - last_footer_offset_ != last_footer_len_) {
    messages_.out(message_kind::notice) << "last_footer_offset + last_footer_len != buffer_len :"
                                        << last_footer_offset_ + last_footer_len_ << " != " << size;
    // A footer said to end past the end of the file is what a cut-off copy looks like.
    const uint64_t end = last_footer_offset_ + last_footer_len_;
    const bool past_end = last_footer_offset_ > size || end > size;
    note(past_end,
         std::string(past_end ? "the header names a footer ending at "
                              : "header sum wrong: the footer named by the header ends at ") +
             std::to_string(end) + " but the file has " + std::to_string(size) + " bytes");
    return;
  }
  if (!ScanFooters()) {
    messages_.out(message_kind::notice) << "ScanFooters() error";
    note(false, "footer chain broken");
    return;
  }
  ready_ = true;
}

bool RepFileBuffer::ScanFooters() {
  footers_.clear();
  uint64_t offset = last_footer_offset_;
  uint64_t len = last_footer_len_;
  for (;;) {
    footer_record f;
    f.footer_offset = offset;
    f.footer_len = len;
    f.tbl_offset = offset + kFooterTblLenPos;
    footers_.push_front(std::move(f));

    byte_reader r(data_);
    uint64_t prev_offset = 0;
    uint32_t prev_len = 0;
    if (!r.seek(offset) || !r.u64(prev_offset)) {
      messages_.out(message_kind::notice)
          << "Current buffer offset " << offset + 8 << " is out of range " << data_.size();
      return false;
    }
    if (!r.u32(prev_len)) {
      messages_.out(message_kind::notice)
          << "Current buffer offset " << offset + 12 << " is out of range " << data_.size();
      return false;
    }
    if (prev_offset == 0) return true;
    // An earlier footer ends before the footer that names it begins: the walk moves strictly
    // towards the start of the file and so cannot loop.
    if (prev_offset >= offset || prev_len > offset - prev_offset) {
      messages_.out(message_kind::notice)
          << "Previous footer at " << prev_offset << " (length " << prev_len
          << ") does not lie before the footer at " << offset;
      return false;
    }
    if (prev_len < kFooterFixedSize) {
      messages_.out(message_kind::notice)
          << "Previous footer at " << prev_offset << " too short: length " << prev_len << " < "
          << kFooterFixedSize;
      return false;
    }
    if (footers_.size() >= kMaxFooters) {
      messages_.out(message_kind::notice)
          << "Footer chain longer than " << kMaxFooters << " footers";
      return false;
    }
    offset = prev_offset;
    len = prev_len;
  }
}

bool RepFileBuffer::ReadPartTable(footer_record& f) {
  f.part_table.clear();
  // The footer lies inside the image: the scan checked the chain and the header the last one.
  byte_reader r(data_.first(size_t(f.footer_end())));
  if (!r.seek(f.tbl_offset) || !r.u64(f.tbl_len)) {
    messages_.out(message_kind::notice)
        << "Footer at " << f.footer_offset << " too short: footer length " << f.footer_len;
    note(false, "footer at " + std::to_string(f.footer_offset) + " too short");
    return false;
  }
  if (f.tbl_len > r.remaining() || r.remaining() - f.tbl_len < 8) {
    messages_.out(message_kind::notice)
        << "Part table at tbl_offset " << f.tbl_offset << ": tbl_len " << f.tbl_len
        << " passes the end of the footer " << f.footer_end();
    note(false, "part table of the footer at " + std::to_string(f.footer_offset) +
                    " passes the end of its footer");
    return false;
  }
  const size_t table_end = r.pos() + size_t(f.tbl_len);
  f.property_offset = table_end;
  byte_reader t(data_.first(table_end), r.pos());
  while (!t.at_end()) {
    const size_t entry_pos = t.pos();
    part_table_entry e;
    uint32_t name_len = 0;
    if (!t.u32(name_len) || !t.utf16(name_len, e.name) || !t.u64(e.unpacked_len_tbl) ||
        !t.u64(e.item_offset) || !t.u64(e.packed_len)) {
      // The entries that follow cannot be found and the parts they belong to would be joined
      // with items missing: the file does not load.
      messages_.out(message_kind::notice)
          << "Part table entry at " << entry_pos << " runs past the end of the table " << table_end;
      ++damage_count_;
      note(false,
           "part table entry at " + std::to_string(entry_pos) + " runs past the end of the table");
      return false;
    }
    e.name_len = name_len;
    if (auto id = classify_by_name(e.name)) {
      e.buffer_id = *id;
    } else {
      byte_span at =
          e.item_offset < data_.size() ? data_.subspan(size_t(e.item_offset)) : byte_span();
      e.buffer_id = classify_by_content(at);
    }
    f.part_table.push_back(std::move(e));
  }
  return true;
}

namespace {

// The 8-bit name inside a packed item against the UTF-16 name of its part table entry.
bool same_name(const RepDataBuffer& item, const part_table_entry& e) {
  const std::string& inside = item.name();
  if (inside.size() != e.name.size()) return false;
  for (size_t i = 0; i < inside.size(); ++i) {
    if (char16_t(uint8_t(inside[i])) != e.name[i]) return false;
  }
  return true;
}

}  // namespace

void RepFileBuffer::BuildBuffers(footer_record& f) {
  f.parts.clear();
  f.buffers.clear();
  f.filter_data.reset();
  f.filter_stat.reset();
  std::unordered_map<int32_t, size_t> part_at;  // Part index to position in f.parts
  for (const part_table_entry& e : f.part_table) {
    const int32_t id = e.buffer_id;
    if (id < kBufferIdNested) {
      messages_.out(message_kind::notice) << "Unknown Buffer ID = " << id;
      ++damage_count_;
      note(false, "item " + to_utf8(e.name) + " holds unknown content");
      continue;
    }
    if (id == kBufferIdNested) {
      if (e.item_offset > data_.size() || e.packed_len > data_.size() - e.item_offset) {
        messages_.out(message_kind::notice)
            << "Truncated nested file: item_offset " << e.item_offset << " + packed_len "
            << e.packed_len << " passes the end of the file (" << data_.size() << " bytes)";
        ++damage_count_;
        note(true, "nested file " + to_utf8(e.name) + " passes the end of the file");
        continue;
      }
      buffer_entry b;
      b.data = data_;
      b.item_offset = e.item_offset;
      b.packed_len = e.packed_len;
      b.buffer_id = kBufferIdUnknown;
      f.buffers.push_back(std::move(b));
      continue;
    }
    if (id < kPartBufferCount) {
      RepDataBuffer item(messages_, data_, e.packed_len, e.item_offset);
      const int32_t index = part_index_of(e.name);  // throws for a name without a number
      auto [it, added] = part_at.try_emplace(index, f.parts.size());
      if (added) f.parts.push_back(part_record{index, {}});
      if (f.load_flags[size_t(id)] == 0) {
        if (listener_) item.Load(), check_item(item, e);
        continue;
      }
      f.parts[it->second].slots[size_t(id)] = item.CreateRecordBuffer(id);
      // An item whose own name is not its entry's was moved or renamed: it is another part's
      // or another cache's content, and nothing else would tell.
      const bool misnamed = item.layout().fault == item_fault::none && !same_name(item, e);
      if (item.status() != 0 || misnamed) {
        ++damage_count_;
        ++f.parts[it->second].damaged_items;
      }
      check_item(item, e);
      if (misnamed && item.status() == 0 && listener_) {
        note(false, "item " + to_utf8(e.name) + " is named " + item.name() + " inside");
      }
      continue;
    }
    if ((id == record_file::kFilterDatId || id == record_file::kFilterStatId) &&
        f.load_flags[size_t(id)] != 0) {
      RepDataBuffer item(messages_, data_, e.packed_len, e.item_offset);
      (id == record_file::kFilterDatId ? f.filter_data : f.filter_stat) =
          item.CreateRecordBuffer(id);
      if (item.status() != 0) ++damage_count_;
      check_item(item, e);
    } else if (listener_) {
      RepDataBuffer item(messages_, data_, e.packed_len, e.item_offset);
      item.Load();
      check_item(item, e);
    }
  }
}

int32_t RepFileBuffer::LoadFooters() {
  for (footer_record& f : footers_) {
    if (!ReadPartTable(f)) return -1;
    f.properties.clear();
    std::string why;
    if (parse_property_block(messages_, f, data_, &why) == 0) {
      hex_dump(messages_, data_, data_.size());
      note(false, "property block of the footer at " + std::to_string(f.footer_offset) + ": " +
                      (why.empty() ? std::string("empty") : why));
      return -1;
    }
    if (f.part_table.empty()) {
      if (!has_property(f, u"ActiveSegmentId")) {
        note(false, "empty part table without ActiveSegmentId");
        return -1;
      }
      kind_ = kKindActiveSegment;
      return 0;
    }
    if (has_property(f, u"PrevPositionGUID")) {
      kind_ = kKindPositionFile;
      return 0;
    }
    const std::u16string* count = get_property(f, u"EventsCount");
    if (count != nullptr && parse_ulong(*count, 10) == 0) {
      kind_ = kKindEmpty;
      return 0;
    }
    kind_ = kKindEventData;
    for (size_t id = 0; id < flags_.size(); ++id) f.load_flags[id] = flags_[id];
    BuildBuffers(f);
    for (part_record& part : f.parts) {
      for (auto& slot : part.slots) {
        if (slot != nullptr && slot->Load() < 0) {
          note(false, "records of part " + std::to_string(part.index) + " " +
                          RepPartBuffer::class_name(slot->buffer_id()) + " do not fill their item");
          return -1;
        }
      }
    }
  }
  return 0;
}

int32_t RepFileBuffer::Load() {
  kind_ = kKindNotLoaded;
  damage_count_ = 0;
  if (!ready_) return -1;
  int32_t rc = -1;
  try {
    rc = LoadFooters();
  } catch (const std::invalid_argument&) {  // a Part index or EventsCount without a number
    note(false, "a part index or EventsCount is not a number");
    rc = -1;
  } catch (const std::out_of_range&) {
    note(false, "a part index or EventsCount is out of range");
    rc = -1;
  } catch (const std::exception&) {
    note(false, "the file could not be loaded");
    rc = -1;
  }
  if (rc != 0) kind_ = kKindNotLoaded;
  return rc;
}

void RepFileBuffer::set_damage_listener(damage_listener listener) {
  listener_ = std::move(listener);
  if (listener_) {
    for (const damage_note& n : header_damage_) listener_(n);
  }
  header_damage_.clear();
}

void RepFileBuffer::note(bool truncated, std::string what) {
  damage_note n{truncated, std::move(what)};
  if (listener_) {
    listener_(n);
  } else if (!ready_) {
    header_damage_.push_back(std::move(n));  // only construction reports while not ready
  }
}

// Reports an item whose unpack failed, telling a cut-off item from a damaged one.
void RepFileBuffer::check_item(const RepDataBuffer& loaded, const part_table_entry& e) {
  if (!listener_) return;
  const std::string name = to_utf8(e.name);
  switch (loaded.layout().fault) {
    case item_fault::out_of_range:
      return note(true, "item " + name + " passes the end of the file (item_offset " +
                            std::to_string(e.item_offset) + " + packed_len " +
                            std::to_string(e.packed_len) + " > " + std::to_string(data_.size()) +
                            ")");
    case item_fault::too_short:
      return note(false, "item " + name + " shorter than an item header and trailer");
    case item_fault::bad_signature:
      return note(false, "item " + name + " has a wrong signature");
    case item_fault::unterminated_name:
      return note(false, "item " + name + " has an unterminated name");
    case item_fault::none:
      break;
  }
  if (loaded.status() == -5) {
    note(false, "item " + name + ": CRC mismatch (stored " + std::to_string(loaded.crc32()) +
                    ", computed " + std::to_string(loaded.crc32_real()) + ")");
  } else if (loaded.status() != 0) {
    note(false, "item " + name + " does not inflate");
  }
}

const buffer_entry& RepFileBuffer::NextBufferEntry() {
  static const buffer_entry kNoEntry;
  while (cursor_footer_ < footers_.size()) {
    const std::vector<buffer_entry>& entries = footers_[cursor_footer_].buffers;
    if (cursor_entry_ < entries.size()) return entries[cursor_entry_++];
    ++cursor_footer_;
    cursor_entry_ = 0;
  }
  return kNoEntry;
}

uint64_t RepFileBuffer::CountBufferEntries() const {
  uint64_t n = 0;
  for (const footer_record& f : footers_) n += f.buffers.size();
  return n;
}

void RepFileBuffer::DestroyParts() {
  for (footer_record& f : footers_) repcopy::DestroyParts(f);
}

void DestroyParts(footer_record& footer) { footer.parts.clear(); }

}  // namespace repcopy
