// Feeds arbitrary bytes to RepFileBuffer with every load flag set, so that every record buffer
// is built and loaded, and reads nested files the way the file source does.

#include <cstddef>
#include <cstdint>

#include "container/rep_data_buffer.h"
#include "container/rep_file_buffer.h"
#include "fuzz/quiet_console.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::silence_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace repcopy;
  RepFileBuffer file(byte_span(data, size), kAllLoadFlags);
  if (file.Load() != 0) return 0;
  for (;;) {
    const buffer_entry& entry = file.NextBufferEntry();
    if (!entry.has_data()) break;
    RepDataBuffer item(entry);
    buffer_entry unpacked = item.UnpackAsEntry();
    if (!unpacked.has_data()) continue;
    RepFileBuffer nested(std::move(unpacked), kAllLoadFlags);
    nested.Load();
  }
  file.DestroyParts();
  return 0;
}
