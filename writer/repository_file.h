#pragma once
// Writing one repository file: the fifteen internal files of a batch, packed, laid out behind the
// header and followed by the footer (part table and property block).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/extended_path.h"
#include "records/segment.h"
#include "util/message_sink.h"
#include "writer/file_props.h"
#include "writer/write_options.h"

namespace repcopy {

using segment_factory = std::function<std::unique_ptr<segment>(int32_t buffer_id)>;

// Results of create_repository_file besides 0.
inline constexpr int32_t kFileNotCreated = -3;  // create, close or final rename failed
inline constexpr int32_t kFileGuidFailed = -4;  // no file GUID
inline constexpr int32_t kItemNotPacked = -12;  // an internal file could not be compressed
inline constexpr int32_t kItemWrittenShort = -14;
inline constexpr int32_t kTargetFull = -15;  // no space (or quota) left for the file
inline constexpr int32_t kTargetRefused = -16;  // the target refuses writing (read-only, access)

// Why a file failed when the target itself can take no more (kTargetFull, kTargetRefused): the
// system's error code and the path it was refused for.
struct target_failure {
  int code = 0;
  std::string path;  // native
};
// kTargetFull or kTargetRefused for the codes that stop every later file too, else otherwise.
int32_t target_result(int code, int32_t otherwise);
inline constexpr int32_t kPathNotBuilt = -27;    // the file path would not fit
inline constexpr int32_t kFooterTooLong = -28;   // part table and properties past 4 GiB
inline constexpr int32_t kItemOverflowed = -29;  // a writer would pass its own size estimate

// Suffix of a file while it is written; the walk only picks up names ending in ".rep".
inline constexpr std::string_view kPartialSuffix = ".tmp";

// The footer of a file whose items are already placed: the 20-byte footer head with the part
// table behind it (entries in items' order), then the property block. Sized to their content.
std::vector<uint8_t> part_table_region(const std::vector<const segment*>& items);

// Builds and writes one repository file for events (sorted by event_time) into directory (a
// native path), which must exist. The file is written under its name + ".tmp" and renamed when
// complete; on failure nothing is left. 0, or one of the codes above. factory makes the writer
// of each Buffer ID; options give the compression and, with dry_run, build and pack everything
// but create no file (the directory need not exist). file_bytes, when given, receives the size
// of the file written or that would be. failure, when given, receives the system error and the
// path of a failed create or write.
// Once every item is serialized the events are freed, before the items are packed: the batch
// comes back empty from a file that got that far (written, failed or a dry run).
// An unexpected exception is a fatal stop: fatal_error "=create_repository_file=\nMark = N\n"
// (N tells how far the file got), with "Mark = N\n" for standard error; a fatal_error from
// below passes unchanged.
int32_t create_repository_file(message_sink& messages, event_batch& events, const file_props& props,
                               const std::string& directory,
                               const segment_factory& factory = create_segment,
                               const write_options& options = {}, uint64_t* file_bytes = nullptr,
                               target_failure* failure = nullptr);

}  // namespace repcopy
