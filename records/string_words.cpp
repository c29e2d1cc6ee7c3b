#include "records/string_words.h"

namespace repcopy {

uint32_t string_word_limit(uint16_t string_slots) {
  if (string_slots == 0) return 0;
  if (int16_t(string_slots) <= 1) return 1;
  return string_slots;
}

std::vector<decoded_slot> decode_string_words(std::span<const uint32_t> words,
                                              uint16_t string_slots, bool* cut_short) {
  std::vector<decoded_slot> slots;
  decode_string_words(words, string_slots, slots, cut_short);
  return slots;
}

void decode_string_words(std::span<const uint32_t> words, uint16_t string_slots,
                         std::vector<decoded_slot>& slots, bool* cut_short) {
  if (cut_short != nullptr) *cut_short = false;
  slots.clear();
  uint32_t ordinal = 0;
  size_t j = 0;
  while (ordinal < string_slots && j < words.size()) {
    uint32_t w = words[j];
    if (w == TERMINATOR) break;
    if (w != NO_STRING && (w & EXPLICIT_FLAG)) {
      if (j + 1 >= words.size()) {  // the position word is not part of the record
        if (cut_short != nullptr) *cut_short = true;
        break;
      }
      ordinal = words[j + 1];
      ++j;
      w &= ~EXPLICIT_FLAG;
    }
    ++ordinal;
    slots.push_back({ordinal, w});
    ++j;
  }
}

uint32_t RealIndexCount(const stored_event& event) {
  // A word per string, an explicit position word where an ordinal breaks the run, and a
  // TERMINATOR while the slots allow one more word.
  uint64_t words = event.strings.size() + uint64_t(event.string_ordinal_breaks());
  if (words < string_word_limit(event.string_slots)) ++words;
  return uint32_t(words);
}

}  // namespace repcopy
