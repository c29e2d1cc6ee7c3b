#include "filters/shard.h"

#include <charconv>

namespace repcopy {

uint64_t computer_name_hash(std::u16string_view name) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (char16_t c : name) {
    if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
    for (uint8_t byte : {uint8_t(c & 0xFF), uint8_t(c >> 8)}) {
      h ^= byte;
      h *= 0x100000001B3ull;
    }
  }
  return h;
}

bool computer_in_shard(const filter_config& filter, std::u16string_view name) {
  if (filter.shard_count < 2) return true;
  return computer_name_hash(name) % filter.shard_count == filter.shard_index;
}

namespace {

bool parse_u32(std::string_view text, uint32_t& out) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;  // no sign, no blank
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool parse_shard(std::string_view text, uint32_t& index, uint32_t& count) {
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return false;
  uint32_t k = 0, n = 0;
  if (!parse_u32(text.substr(0, slash), k) || !parse_u32(text.substr(slash + 1), n)) return false;
  if (k >= n) return false;
  index = k;
  count = n;
  return true;
}

}  // namespace repcopy
