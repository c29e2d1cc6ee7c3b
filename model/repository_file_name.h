#pragma once
// The name of a repository file, as the writer builds it (111 characters):
//
//   0    1  "S"
//   1   14  CollectionTime   YYYYMMDDhhmmss, UTC
//   15  14  DataFromTime     the first event's event_time
//   29  14  DataToTime       the last event's event_time
//   43  32  CollectionGUID   hexadecimal digits, no separators
//   75  32  SessionGUID
//   107  4  ".rep"
//
// The time filter reads the two event times from a name before it opens the file.

#include <cstddef>
#include <string_view>

namespace repcopy {

inline constexpr std::string_view kFileNamePrefix = "S";
inline constexpr std::string_view kFileNameExtension = ".rep";
inline constexpr size_t kFileTimeDigits = 14;
inline constexpr size_t kFileGuidDigits = 32;
inline constexpr size_t kFileCollectionTimeOffset = 1;
inline constexpr size_t kFileFirstTimeOffset = kFileCollectionTimeOffset + kFileTimeDigits;  // 15
inline constexpr size_t kFileLastTimeOffset = kFileFirstTimeOffset + kFileTimeDigits;        // 29
inline constexpr size_t kFileGuidsOffset = kFileLastTimeOffset + kFileTimeDigits;            // 43
inline constexpr size_t kRepositoryFileNameLength =
    kFileGuidsOffset + 2 * kFileGuidDigits + kFileNameExtension.size();  // 111

static_assert(kFileFirstTimeOffset == 15 && kFileLastTimeOffset == 29 &&
              kRepositoryFileNameLength == 111);

}  // namespace repcopy
