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

// The shard test of events, for a stream in which one computer's events come in runs: the answer
// for the last name is kept.
class shard_test {
 public:
  explicit shard_test(const filter_config& filter) : filter_(filter) {}
  bool passes(std::u16string_view name) {
    if (filter_.shard_count < 2) return true;
    if (!known_ || name != last_name_) {
      last_name_ = name;
      last_result_ = computer_in_shard(filter_, name);
      known_ = true;
    }
    return last_result_;
  }

 private:
  const filter_config& filter_;
  bool known_ = false;
  std::u16string last_name_;
  bool last_result_ = true;
};

}  // namespace repcopy
