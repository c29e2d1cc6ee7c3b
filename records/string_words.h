#pragma once
// The string word array of an events record: the event's insertion strings as indexes into
// 0_ins.cache. Each 32-bit word is one of
//   TERMINATOR (0x02000000)   ends the array before string_slots words are reached;
//   NO_STRING (0xFFFFFFFF)    a slot without text (read, never written);
//   x with EXPLICIT_FLAG set  cache index x without the flag; the NEXT word holds the string's
//                             zero-based position (ordinal - 1);
//   any other x               cache index x; ordinal = previous ordinal + 1 (the first is 1).
// Cache indexes therefore stay below 0x01000000.
//
// A reader takes W words: 0 when string_slots is 0; otherwise word 0, and, when word 0 is not
// TERMINATOR and string_slots as a signed 16-bit number is above 1, further words up to
// string_slots in all, stopping right after a TERMINATOR. The writer adds a TERMINATOR exactly
// when the words for its strings are fewer than that limit, so a reader finds exactly the words
// written.

#include <cstdint>
#include <span>
#include <vector>

#include "model/stored_event.h"

namespace repcopy {

inline constexpr uint32_t TERMINATOR = 0x02000000;
inline constexpr uint32_t NO_STRING = 0xFFFFFFFF;
inline constexpr uint32_t EXPLICIT_FLAG = 0x01000000;

struct decoded_slot {
  uint32_t ordinal;      // one-based
  uint32_t cache_index;  // record in 0_ins.cache; NO_STRING for a slot without text
  bool operator==(const decoded_slot&) const = default;
};

// The most words a reader takes for a record with this string_slots (before any TERMINATOR).
uint32_t string_word_limit(uint16_t string_slots);

// Decodes the W words of one record. Stops at TERMINATOR, once the ordinal reaches
// string_slots, or at the end of words. An explicit-position word whose position word lies past
// the record's words is damage: that string is dropped and *cut_short (when given) set.
std::vector<decoded_slot> decode_string_words(std::span<const uint32_t> words,
                                              uint16_t string_slots, bool* cut_short = nullptr);
// The same into slots (cleared first, its memory reused).
void decode_string_words(std::span<const uint32_t> words, uint16_t string_slots,
                         std::vector<decoded_slot>& slots, bool* cut_short = nullptr);

// Number of words the writer puts into the event's record: one per string, one more per
// string whose ordinal does not follow the previous one, and a TERMINATOR when that is fewer
// than string_word_limit(string_slots). An event with string_slots > 0 and no strings gets a
// single TERMINATOR.
uint32_t RealIndexCount(const stored_event& event);

}  // namespace repcopy
