#pragma once
// The run's filter record: a time window (both bounds inclusive, seconds since 1970 UTC), an
// EventID white or black list, and the shard of computers to copy. Built once from the command
// line, then only read.

#include <cstdint>
#include <vector>

namespace repcopy {

struct filter_config {
  bool time_on = false;
  uint32_t time_kind = 0;  // 1 days back, 2 hours back, 3 from only, 4 to only, 5 from and to
  uint32_t time_from = 0;
  uint32_t time_to = 0xFFFFFFFF;
  bool id_on = false;
  uint32_t id_kind = 0;  // 1 black list (-j), 2 white list (-i)
  std::vector<uint32_t> ids;
  // --shard K/N: only computers whose name hashes to shard_index (filters/shard.h); 0 or 1
  // shards copy everything.
  uint32_t shard_index = 0;
  uint32_t shard_count = 0;
};

}  // namespace repcopy
