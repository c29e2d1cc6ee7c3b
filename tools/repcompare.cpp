// repcompare: reads two event repositories with repcopy's own reader and compares their events
// (hot and main parts together, in a fixed order, cache record numbers aside, since every writer
// numbers its caches anew). Exit code 0 when both hold the same events, 1 when they differ, 2 on
// a usage error. Used to compare the copies made by builds for different systems.
//
//   repcompare <repository_a> <repository_b>

#include <algorithm>
#include <iostream>
#include <string>
#include <tuple>
#include <vector>

#include "container/full_event.h"
#include "copy/rep_source2.h"
#include "platform/platform.h"
#include "util/paths.h"

namespace repcopy {
namespace {

full_event content_of(full_event e) {
  e.src_index = e.cat_index = e.comp_index = e.user_index = e.desc_index = 0;
  for (auto& s : e.strings) s.cache_index = 0;
  for (auto& f : e.named_fields) f.name_index = f.value_index = 0;
  return e;
}

std::vector<full_event> read_repository(const std::u16string& root) {
  std::vector<full_event> events;
  for (uint32_t mode : {RepSource2::kModeHot, RepSource2::kModeMain}) {
    RepSource2 source(root, mode);
    for (full_event e; source.next_event(e) == 0; e.reset()) {
      events.push_back(content_of(std::move(e)));
    }
  }
  std::sort(events.begin(), events.end(), [](const full_event& a, const full_event& b) {
    return std::tie(a.record_key, a.event_time, a.computer, a.under_data_source) <
           std::tie(b.record_key, b.event_time, b.computer, b.under_data_source);
  });
  return events;
}

}  // namespace
}  // namespace repcopy

int main(int argc, char** argv) {
  using namespace repcopy;
  platform::setup_console();
  const std::vector<std::string> args = platform::utf8_arguments(argc, argv);
  if (args.size() != 3) {
    std::cerr << "usage: repcompare <repository_a> <repository_b>" << std::endl;
    return 2;
  }
  std::u16string a, b;
  if (to_extended_path(args[1], a) != 0 || to_extended_path(args[2], b) != 0) return 2;
  const std::vector<full_event> left = read_repository(a), right = read_repository(b);
  const auto [la, rb] = std::mismatch(left.begin(), left.end(), right.begin(), right.end());
  if (la == left.end() && rb == right.end()) {
    std::cout << "repcompare: " << left.size() << " events, all equal" << std::endl;
    return 0;
  }
  std::cout << "repcompare: " << left.size() << " and " << right.size()
            << " events; they differ at event " << (la - left.begin()) << " (record key "
            << (la != left.end() ? la->record_key : rb->record_key) << ")" << std::endl;
  return 1;
}
