#pragma once
// Readers of the six string caches (layouts in records/record_format.h, descriptions in
// records/record_layouts.h). The counted-string caches use RepPartBuffer's walk and string_at(i);
// the category, computer and user caches walk their own record descriptions. Every walk checks
// that each length field and each record lies inside the item before reading it; accessors take
// a record number below ulCount() (others give an empty value) and are valid after a successful
// Load.

#include <cstdint>
#include <string>
#include <vector>

#include "records/rep_buffer.h"

namespace repcopy {

// A counted name followed by fixed fields (the category and computer caches).
class RepNameTailBuffer : public RepPartBuffer {
 protected:
  using RepPartBuffer::RepPartBuffer;

  // Indexes a record that starts with name.
  void index_name(uint32_t start, const counted_text& name);
  void ClearIndex() override;

  // Offset of the bytes after the name of record i (i < ulCount()).
  std::vector<uint32_t> tail_starts_;
};

class RepCatBuffer : public RepNameTailBuffer {
 public:
  RepCatBuffer(std::vector<uint8_t> data, uint64_t real_len);

  std::u16string name(uint32_t i) const;
  uint16_t category(uint32_t i) const;
  uint16_t category_marker(uint32_t i) const;  // written as 1, ignored on reading
  uint32_t event_id(uint32_t i) const;         // as stored; the join masks it per platform

 protected:
  bool WalkRecords() override;
};

class RepCompBuffer : public RepNameTailBuffer {
 public:
  RepCompBuffer(std::vector<uint8_t> data, uint64_t real_len);

  std::u16string name(uint32_t i) const;
  uint32_t time_offset(uint32_t i) const;

 protected:
  bool WalkRecords() override;
};

class RepUserBuffer : public RepPartBuffer {
 public:
  RepUserBuffer(std::vector<uint8_t> data, uint64_t real_len);

  std::u16string string1(uint32_t i) const;
  std::u16string string2(uint32_t i) const;
  std::vector<uint8_t> binary(uint32_t i) const;

 protected:
  bool WalkRecords() override;
  void ClearIndex() override;

 private:
  // record_starts_ holds the N1 fields; these the N2 and M fields.
  std::vector<uint32_t> second_starts_;
  std::vector<uint32_t> binary_starts_;
};

class RepDescBuffer : public RepPartBuffer {
 public:
  RepDescBuffer(std::vector<uint8_t> data, uint64_t real_len);
};

class RepInsBuffer : public RepPartBuffer {
 public:
  RepInsBuffer(std::vector<uint8_t> data, uint64_t real_len);
};

class RepSrcBuffer : public RepPartBuffer {
 public:
  RepSrcBuffer(std::vector<uint8_t> data, uint64_t real_len);
};

}  // namespace repcopy
