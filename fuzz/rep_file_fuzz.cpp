// Feeds arbitrary bytes to RepFileBuffer with every load flag set, so that every record buffer
// is built and loaded, and reads nested files the way the file source does.

#include <cstddef>
#include <cstdint>

#include "container/rep_data_buffer.h"
#include "container/rep_file_buffer.h"
#include "util/message_sink.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace repcopy;
  RepFileBuffer file(repcopy::discard_messages(), byte_span(data, size), kAllLoadFlags);
  if (file.Load() != 0) return 0;
  for (;;) {
    const buffer_entry& entry = file.NextBufferEntry();
    if (!entry.has_data()) break;
    RepDataBuffer item(repcopy::discard_messages(), entry);
    buffer_entry unpacked = item.UnpackAsEntry();
    if (!unpacked.has_data()) continue;
    RepFileBuffer nested(repcopy::discard_messages(), std::move(unpacked), kAllLoadFlags);
    nested.Load();
  }
  file.DestroyParts();
  return 0;
}
