#pragma once
// Sharding a copy by computer: N processes started with --shard 0/N ... --shard N-1/N copy
// disjoint sets of computers of one source repository, together exactly what one unsharded run
// copies, with no coordination between them (the target files carry fresh GUIDs in their names).
//
// A computer belongs to shard FNV-1a-64(name) mod N, where name is the computer name upper-cased
// (ASCII a-z to A-Z, as the reader keys computers) and the hash runs over its UTF-16LE bytes:
// offset basis 0xCBF29CE484222325, prime 0x100000001B3, each byte XORed in before the multiply.
// "SRV01" (and "srv01") hashes to 0x7FF68859B5F7E47B.

#include <cstdint>
#include <string>
#include <string_view>

#include "model/filter_config.h"

namespace repcopy {

uint64_t computer_name_hash(std::u16string_view name);  // upper-cases as it goes

// True when the filter copies this computer: always without sharding (shard_count below 2).
bool computer_in_shard(const filter_config& filter, std::u16string_view name);

// The text "K/N" of --shard: two decimal numbers without sign or blanks, 0 <= K < N, N below
// 2^32. False (outputs unchanged) for anything else.
bool parse_shard(std::string_view text, uint32_t& index, uint32_t& count);

}  // namespace repcopy
