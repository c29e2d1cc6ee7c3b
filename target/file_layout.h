#pragma once
// Byte layout of a repository file as the target writes it (all integers little-endian).
//
// Whole file:
//   0 .. 511                      header
//   512 .. footer offset - 1      packed items, back to back
//   footer offset .. end          footer (exactly one)
//
// Header (512 bytes):
//   0   16  file magic 7B 19 35 19 B9 AB A5 4D A7 09 EA 27 19 E4 F3 64
//   16  16  file GUID (Windows GUID byte order)
//   32   8  last_footer_offset
//   40   4  last_footer_len
//   44 468  zero
//
// Packed item (a gzip member with "EDRP" in place of the two gzip identification bytes):
//   0    4  "EDRP"
//   4    1  method 0x08 (deflate)
//   5    1  flags 0x08 (a name follows)
//   6    5  zero (time stamp and extra flags)
//   11   1  system: 11 for PlatformID 500, else 3
//   12 n+1  8-bit item name and NUL
//   13+n c  raw deflate stream
//   ..   4  CRC-32 of the unpacked data
//   ..   4  unpacked length
//
// Footer:
//   0    8  previous footer offset (0: none)
//   8    4  previous footer length
//   12   8  tbl_len
//   20      part table entries: u32 name length, UTF-16LE name, u64 unpacked length,
//           u64 item offset, u64 packed length
//   20+tbl_len  8  property_len
//   28+tbl_len     property pairs: u32 name length, UTF-16LE name, u32 value length, value
//
// last_footer_offset + last_footer_len is the file length.

#include <array>
#include <cstdint>

namespace repcopy {

inline constexpr uint32_t kFileHeaderSize = 512;
inline constexpr std::array<uint8_t, 16> kFileMagic = {
    0x7B, 0x19, 0x35, 0x19, 0xB9, 0xAB, 0xA5, 0x4D, 0xA7, 0x09, 0xEA, 0x27, 0x19, 0xE4, 0xF3, 0x64};
inline constexpr uint32_t kHeaderGuidOffset = 16;
inline constexpr uint32_t kHeaderFooterOffset = 32;
inline constexpr uint32_t kHeaderFooterLength = 40;

inline constexpr std::array<uint8_t, 4> kItemSignature = {'E', 'D', 'R', 'P'};
inline constexpr uint8_t kItemMethodDeflate = 0x08;
inline constexpr uint8_t kItemFlagName = 0x08;
inline constexpr uint32_t kItemFixedHeaderSize = 12;  // the name and its NUL follow
inline constexpr uint32_t kItemTrailerSize = 8;
inline constexpr uint8_t kSystemWindows = 11;
inline constexpr uint8_t kSystemUnix = 3;
inline constexpr uint32_t kPlatformWindows = 500;

inline constexpr uint32_t kFooterHeadSize = 20;   // previous offset, previous length, tbl_len
inline constexpr uint32_t kPropertyHeadSize = 8;  // property_len

// Writer positions in the order their items stand in the file.
inline constexpr std::array<int, 15> kFileOrder = {0, 1, 2,  11, 7,  3, 8, 6,
                                                   4, 5, 12, 13, 14, 9, 10};
// Writers whose item is left out of the file when it is empty.
inline constexpr bool omitted_when_empty(int position) { return position >= 12 && position <= 14; }

}  // namespace repcopy
