// RepFileBuffer::Dump: the diagnostic listing of a loaded repository file.

#include <sstream>

#include "container/properties.h"
#include "container/rep_file_buffer.h"
#include "container/value_dump.h"
#include "util/text.h"

namespace repcopy {

namespace {

void dump_part_table(std::ostream& os, const footer_record& f) {
  os << "\ntbl_offset = " << value_dump(f.tbl_offset) << "\n";
  os << "\ntbl_len = " << value_dump(f.tbl_len) << "\n";
  for (const part_table_entry& e : f.part_table) {
    os << "\nname_len_tbl     = " << value_dump(e.name_len) << "\n";
    os << "\nname_tbl         = " << to_utf8(e.name) << "\n";
    os << "unpacked_len_tbl = " << value_dump(e.unpacked_len_tbl) << "\n";
    os << "item_offset      = " << value_dump(e.item_offset) << "\n";
    os << "packed_len       = " << value_dump(e.packed_len) << "\n";
    os << "Buffer_ID id     = " << value_dump(e.buffer_id) << "\n";
  }
}

void dump_buffers(std::ostream& os, const footer_record& f) {
  if (f.buffers.empty()) return;
  os << "========\nBuffers:\n========\n";
  for (const buffer_entry& b : f.buffers) {
    os << "buf = " << value_dump(uint64_t(reinterpret_cast<uintptr_t>(b.data.data()))) << "\n";
    os << "len = " << value_dump(b.packed_len) << "\n";
    os << "offset = " << value_dump(b.item_offset) << "\n";
    os << "id = " << value_dump(b.buffer_id) << "\n";
    os << "-----------------\n";
  }
}

// The listing of a record buffer, to be printed after the slot number on its first line.
class listing : public message_sink {
 public:
  void write(message_kind, message_stream, std::string_view lines) override { text += lines; }
  std::string text;
};

void dump_parts(std::ostream& os, const footer_record& f) {
  os << "======\nParts:\n======\n";
  for (const part_record& part : f.parts) {
    os << "Part index: " << part.index << "\n";
    for (size_t id = 0; id < part.slots.size(); ++id) {
      os << id << " : ";
      if (part.slots[id] != nullptr) {
        listing slot;
        part.slots[id]->Dump(slot);
        os << slot.text;
      } else {
        os << "nullptr\n";
      }
    }
    os << "-----------------\n";
  }
}

}  // namespace

// Printed as one piece: summary lines on standard output.
void RepFileBuffer::Dump(message_sink& messages) const {
  std::ostringstream os;
  os << "\n";
  if (footers_.size() != 1) {
    os << "===============\nmultifooter file: " << footers_.size() << "\n===============\n";
  }
  for (const footer_record& f : footers_) {
    os << "footer offset : " << value_dump(f.footer_offset) << "\n";
    os << "\nfooter length : " << value_dump(f.footer_len) << "\n";
  }
  for (const footer_record& f : footers_) {
    listing properties;
    dump_properties(properties, f);
    os << properties.text;
    dump_part_table(os, f);
    dump_buffers(os, f);
    dump_parts(os, f);
    for (const auto* filter : {f.filter_data.get(), f.filter_stat.get()}) {
      if (filter == nullptr) continue;
      listing text;
      filter->Dump(text);
      os << text.text;
    }
  }
  messages.write(message_kind::summary, message_stream::out, os.view());
}

}  // namespace repcopy
