// RepFileBuffer::Dump: the diagnostic listing of a loaded repository file.

#include <iostream>

#include "container/properties.h"
#include "container/rep_file_buffer.h"
#include "container/value_dump.h"
#include "util/text.h"

namespace repcopy {

namespace {

void dump_part_table(const footer_record& f) {
  std::cout << "\ntbl_offset = " << value_dump(f.tbl_offset) << "\n";
  std::cout << "\ntbl_len = " << value_dump(f.tbl_len) << "\n";
  for (const part_table_entry& e : f.part_table) {
    std::cout << "\nname_len_tbl     = " << value_dump(e.name_len) << "\n";
    std::cout << "\nname_tbl         = " << to_utf8(e.name) << "\n";
    std::cout << "unpacked_len_tbl = " << value_dump(e.unpacked_len_tbl) << "\n";
    std::cout << "item_offset      = " << value_dump(e.item_offset) << "\n";
    std::cout << "packed_len       = " << value_dump(e.packed_len) << "\n";
    std::cout << "Buffer_ID id     = " << value_dump(e.buffer_id) << "\n";
  }
}

void dump_buffers(const footer_record& f) {
  if (f.buffers.empty()) return;
  std::cout << "========\nBuffers:\n========\n";
  for (const buffer_entry& b : f.buffers) {
    std::cout << "buf = " << value_dump(uint64_t(reinterpret_cast<uintptr_t>(b.data.data())))
              << "\n";
    std::cout << "len = " << value_dump(b.packed_len) << "\n";
    std::cout << "offset = " << value_dump(b.item_offset) << "\n";
    std::cout << "id = " << value_dump(b.buffer_id) << "\n";
    std::cout << "-----------------\n";
  }
}

void dump_parts(const footer_record& f) {
  std::cout << "======\nParts:\n======\n";
  for (const part_record& part : f.parts) {
    std::cout << "Part index: " << part.index << "\n";
    for (size_t id = 0; id < part.slots.size(); ++id) {
      std::cout << id << " : ";
      if (part.slots[id] != nullptr) {
        part.slots[id]->Dump();
      } else {
        std::cout << "nullptr\n";
      }
    }
    std::cout << "-----------------\n";
  }
}

}  // namespace

void RepFileBuffer::Dump() const {
  std::cout << "\n";
  if (footers_.size() != 1) {
    std::cout << "===============\nmultifooter file: " << footers_.size() << "\n===============\n";
  }
  for (const footer_record& f : footers_) {
    std::cout << "footer offset : " << value_dump(f.footer_offset) << "\n";
    std::cout << "\nfooter length : " << value_dump(f.footer_len) << "\n";
  }
  for (const footer_record& f : footers_) {
    dump_properties(f);
    dump_part_table(f);
    dump_buffers(f);
    dump_parts(f);
    if (f.filter_data != nullptr) f.filter_data->Dump();
    if (f.filter_stat != nullptr) f.filter_stat->Dump();
  }
  std::cout.flush();
}

}  // namespace repcopy
