// The whole read path over a small tree: the input becomes two repository files, one in the hot
// part and one in the main part of a temporary source repository (the first byte chooses whether
// the second file is a link to the first, and whether a directory link loops back to the root).
// Both parts are walked with one visit set, every event goes through the event storage, and the
// counts must add up: nothing read twice, nothing lost between reader and storage.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "copy/event_storage.h"
#include "source/rep_source2.h"
#include "util/message_sink.h"

namespace {

namespace fs = std::filesystem;

fs::path root() {
  static const fs::path r =
      fs::temp_directory_path() / ("repcopy_tree_fuzz_" + std::to_string(::getpid()));
  return r;
}

void write(const fs::path& p, const uint8_t* data, size_t n) {
  std::ofstream(p, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(n));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace repcopy;
  if (size < 3) return 0;
  const uint8_t control = data[0];
  size_t first = size_t(data[1]) | (size_t(data[2]) << 8);
  data += 3;
  size -= 3;
  if (first > size) first = size;

  std::error_code ec;
  fs::remove_all(root(), ec);
  const fs::path hot = root() / "Hot$/Environment$/Domain$/D$/Computer$/C$";
  const fs::path main = root() / "Environment$/Domain$/D$/Computer$/C$";
  fs::create_directories(hot);
  fs::create_directories(main);
  write(hot / "a.rep", data, first);
  if (control & 1) {
    fs::create_symlink(hot / "a.rep", main / "b.rep");  // the same file under a second name
  } else {
    write(main / "b.rep", data + first, size - first);
  }
  if (control & 2) fs::create_directory_symlink(root(), root() / "Environment$/loop");

  copy_outcome outcome;
  filter_config filter;
  filter.time_on = control & 4;
  filter.time_from = 100;
  filter.time_to = 2000000000;
  visit_set visits;
  RepSource2 hot_part(repcopy::discard_messages(), root().u16string(), RepSource2::kModeHot,
                      &filter, &outcome, {}, &visits);
  RepSource2 main_part(repcopy::discard_messages(), root().u16string(), RepSource2::kModeMain,
                       &filter, &outcome, {}, &visits);
  event_storage storage;
  uint64_t read = 0, read_main = 0;
  for (RepSource2* source : {&hot_part, &main_part}) {
    stored_event e;
    while (source->next_stored(e) == 0) {
      ++read;
      if (source == &main_part) ++read_main;
      storage_item item;
      if (storage.add(e, item) != kStorageAdded) {
        while (storage.take_largest(item) == 0) item = {};
      }
    }
  }
  storage_item item;
  while (storage.take_largest(item) == 0) item = {};
  if (storage.total_added() > read) __builtin_trap();
  if ((control & 1) && read_main != 0) __builtin_trap();  // the linked file was read twice
  fs::remove_all(root(), ec);
  return 0;
}
