#include "filters/event_id_filter.h"

#include <algorithm>

#include "filters/time_window.h"
#include "util/leading_int.h"

namespace repcopy {

std::vector<uint32_t> build_id_list(std::string_view text) {
  // Read as a stream of comma-terminated pieces: the piece that meets the end of the text is
  // appended too, even when it is empty.
  std::vector<uint32_t> ids;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string_view piece = text.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    ids.push_back(uint32_t(leading_int32(piece)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return ids;
}

void set_id_filter(filter_config& filter, uint32_t kind, std::string_view text) {
  filter.id_kind = kind;
  filter.ids = build_id_list(text);
  filter.id_on = true;
}

bool id_passes(const filter_config& filter, uint32_t event_id) {
  if (!filter.id_on) return true;
  const bool listed = std::find(filter.ids.begin(), filter.ids.end(), event_id) != filter.ids.end();
  return listed ? filter.id_kind == kIdWhiteList : filter.id_kind == kIdBlackList;
}

}  // namespace repcopy
