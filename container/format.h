#pragma once
// The repository file container ("*.rep"). All integers are little-endian; offsets are absolute
// byte offsets from the start of the file; there is no padding except the header's reserved bytes.
//
//   [0, 512)                         header
//   [512, last_footer_offset)        packed items, back to back
//   [last_footer_offset, file end)   footer (part table and property block)
//
// Header (512 bytes):
//   0    16  file magic            7B 19 35 19 B9 AB A5 4D A7 09 EA 27 19 E4 F3 64; readers test
//                                  only the first u32, 0x1935197B
//   16   16  file GUID             Windows GUID byte order
//   32    8  last_footer_offset    u64
//   40    4  last_footer_len       u32; last_footer_offset + last_footer_len == file length
//   44  468  reserved              zero
//
// Packed item (one internal file; a gzip member with a 4-byte signature):
//   0     4  signature             "EDRP"; readers test only "ED"
//   4     1  method                8 (deflate)
//   5     1  flags                 8 (a name follows)
//   6     5  reserved              zero
//   11    1  system                11 when "PlatformID" is 500, else 3
//   12  n+1  name                  8-bit, NUL-terminated, e.g. "0_events.dat"
//   13+n  c  data                  raw deflate stream
//   13+n+c 4 crc32                 CRC-32 of the unpacked data
//   17+n+c 4 unpacked_len          u32
//   packed_len = 21 + n + c
//
// Footer (a chain is possible; each footer names the one before it):
//   0     8  previous footer offset  u64, 0 = none
//   8     4  previous footer length  u32
//   12    8  tbl_len                 u64 (its position is called tbl_offset)
//   20    t  part table entries
//   20+t  8  property_len            u64 (its position is called property_offset)
//   28+t  p  property block          name/value pairs
//   footer length = 28 + tbl_len + property_len
//
// Part table entry (28 + 2n bytes):
//   0     4  name_len_tbl            u32, UTF-16 code units
//   4    2n  name_tbl                UTF-16LE, no terminator
//   4+2n  8  unpacked_len_tbl        u64
//   12+2n 8  item_offset             u64
//   20+2n 8  packed_len              u64
//
// Property pair:
//   0     4  name length             u32, UTF-16 code units
//   4    2n  name                    UTF-16LE
//   4+2n  4  value length            u32
//   8+2n 2v  value                   UTF-16LE
//
// Buffer ID: the four code units before the first "." of an entry name (the first four when
// the "." stands below position 4) give 0..14 from kBufferKeys (records/record_format.h); otherwise
// the item's first four bytes give -2 (a repository file stored as is), -1 ("EDRP": a packed
// repository file, a nested file) or -3 (unknown). IDs 0..12 belong to a part numbered by the
// name's digits before "_".

#include <cstdint>
#include <string_view>

#include "records/record_format.h"

namespace repcopy {

inline constexpr uint64_t kHeaderSize = 512;
inline constexpr uint32_t kFileMagic = 0x1935197B;
inline constexpr uint8_t kFileMagicBytes[16] = {0x7B, 0x19, 0x35, 0x19, 0xB9, 0xAB, 0xA5, 0x4D,
                                                0xA7, 0x09, 0xEA, 0x27, 0x19, 0xE4, 0xF3, 0x64};
inline constexpr uint64_t kHeaderGuidPos = 16;
inline constexpr uint64_t kHeaderLastFooterOffsetPos = 32;
inline constexpr uint64_t kHeaderLastFooterLenPos = 40;

inline constexpr std::string_view kItemSignature = "EDRP";
inline constexpr uint16_t kItemSignatureShort = 0x4445;  // "ED"
inline constexpr uint8_t kItemMethodDeflate = 8;
inline constexpr uint8_t kItemFlagName = 8;
inline constexpr uint64_t kItemSystemPos = 11;
inline constexpr uint8_t kItemSystemWindows = 11;
inline constexpr uint8_t kItemSystemOther = 3;
inline constexpr uint32_t kPlatformWindows = 500;
inline constexpr uint64_t kItemNamePos = 12;
inline constexpr uint64_t kItemTrailerSize = 8;  // crc32, unpacked_len
// Header with an empty name (12 + NUL) and the trailer: no item can be shorter.
inline constexpr uint64_t kItemMinSize = kItemNamePos + 1 + kItemTrailerSize;
// An item unpacks into a u32 count of bytes.
inline constexpr uint32_t kMaxUnpackedLen = 0xFFFFFFFF;

inline constexpr uint64_t kFooterPrevOffsetPos = 0;
inline constexpr uint64_t kFooterPrevLenPos = 8;
inline constexpr uint64_t kFooterTblLenPos = 12;  // tbl_offset = footer offset + 12
inline constexpr uint64_t kFooterHeadSize = 20;   // up to the first part table entry
inline constexpr uint64_t kPropertyLenSize = 8;   // property_len, ahead of the property pairs
inline constexpr uint64_t kFooterFixedSize = kFooterHeadSize + kPropertyLenSize;
inline constexpr uint64_t kPartEntryFixedSize = 28;

inline constexpr int32_t kBufferIdNested = -1;   // packed item holding a repository file
inline constexpr int32_t kBufferIdRawFile = -2;  // repository file stored as is
inline constexpr int32_t kBufferIdUnknown = -3;  // unknown content, or still to be detected
// The numbering, names and keys of the internal files and their write order belong to the
// internal files' own format header.
using record_file::kBufferIdCount;
using record_file::kBufferKeys;
using record_file::kItemNames;
using record_file::kItemWriteOrder;
using record_file::kPartBufferCount;

}  // namespace repcopy
