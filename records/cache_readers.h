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

// Each reader indexes its record starts in one walk and reads a record back with the same
// description when asked for a field.
class RepCatBuffer : public RepPartBuffer {
 public:
  RepCatBuffer(byte_buffer data, uint64_t real_len);

  std::u16string name(uint32_t i) const;
  uint16_t category(uint32_t i) const;
  uint16_t category_marker(uint32_t i) const;  // written as 1, ignored on reading
  uint32_t event_id(uint32_t i) const;         // as stored; the join masks it per platform

 protected:
  bool WalkRecords() override;
};

class RepCompBuffer : public RepPartBuffer {
 public:
  RepCompBuffer(byte_buffer data, uint64_t real_len);

  std::u16string name(uint32_t i) const;
  uint32_t time_offset(uint32_t i) const;

 protected:
  bool WalkRecords() override;
};

class RepUserBuffer : public RepPartBuffer {
 public:
  RepUserBuffer(byte_buffer data, uint64_t real_len);

  std::u16string string1(uint32_t i) const;
  std::u16string string2(uint32_t i) const;
  std::vector<uint8_t> binary(uint32_t i) const;
  // The same into out, reusing its memory.
  void string2(uint32_t i, std::u16string& out) const;
  void binary(uint32_t i, std::vector<uint8_t>& out) const;

 protected:
  bool WalkRecords() override;
};

class RepDescBuffer : public RepPartBuffer {
 public:
  RepDescBuffer(byte_buffer data, uint64_t real_len);
};

class RepInsBuffer : public RepPartBuffer {
 public:
  RepInsBuffer(byte_buffer data, uint64_t real_len);
};

class RepSrcBuffer : public RepPartBuffer {
 public:
  RepSrcBuffer(byte_buffer data, uint64_t real_len);
};

}  // namespace repcopy
