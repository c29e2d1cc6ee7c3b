#include "audit/show.h"

#include <exception>
#include <iostream>

#include "container/rep_data_buffer.h"
#include "container/rep_file_buffer.h"
#include "container/value_dump.h"
#include "platform/platform.h"
#include "util/read_file.h"
#include "util/text.h"

namespace repcopy {

namespace {

// Nested files inside nested files are followed this deep; the format has no limit, a forged
// file could otherwise recurse without end.
constexpr int kMaxNesting = 8;

bool show_file(RepFileBuffer& file, int depth) {
  std::cout << "last_footer_offset = " << value_dump(file.last_footer_offset()) << "\n";
  std::cout << "last_footer_len = " << value_dump(file.last_footer_len()) << "\n";
  const int32_t loaded = file.Load();
  std::cout << "Load = " << loaded << ", kind = " << file.kind() << "\n";
  if (file.ready()) file.Dump();  // a file whose chain failed has no footers worth listing
  bool sound = loaded == 0;
  const uint64_t nested = file.CountBufferEntries();
  for (uint64_t n = 0; n < nested; ++n) {
    const buffer_entry& entry = file.NextBufferEntry();
    if (!entry.has_data()) break;
    RepDataBuffer item(entry);
    buffer_entry unpacked = item.UnpackAsEntry();
    item.Dump();
    std::cout << "======== nested file " << n + 1 << " of " << nested << ": " << item.name()
              << " ========\n";
    if (!unpacked.has_data()) {
      std::cout << "(not a repository file)\n";
      sound = false;
      continue;
    }
    if (depth == kMaxNesting) {
      std::cout << "(nested deeper than " << kMaxNesting << " levels, not shown)\n";
      continue;
    }
    RepFileBuffer inner(std::move(unpacked), kAllLoadFlags);
    sound &= show_file(inner, depth + 1);
    std::cout << "======== end of nested file " << n + 1 << " ========\n";
  }
  return sound;
}

}  // namespace

int run_show(const std::vector<std::string>& native_files) {
  int result = 0;
  for (const std::string& path : native_files) {
    std::cout << "==== " << platform::display_name(path) << " ====\n";
    std::vector<uint8_t> image;
    bool read = false;
    try {
      source_file_reader reader;
      read = reader.open(path) && reader.read_all(image);
    } catch (const std::exception&) {
      read = false;
    }
    if (!read) {
      std::cout << "cannot be read\n";
      result = 1;
      continue;
    }
    RepFileBuffer file(byte_span(image), kAllLoadFlags);
    if (!show_file(file, 0)) result = 1;
    std::cout.flush();
  }
  return result;
}

}  // namespace repcopy
