#include "audit/show.h"

#include <exception>

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

bool show_file(message_sink& messages, RepFileBuffer& file, int depth) {
  messages.out(message_kind::summary)
      << "last_footer_offset = " << value_dump(file.last_footer_offset());
  messages.out(message_kind::summary) << "last_footer_len = " << value_dump(file.last_footer_len());
  const int32_t loaded = file.Load();
  messages.out(message_kind::summary) << "Load = " << loaded << ", kind = " << file.kind();
  if (file.ready()) file.Dump(messages);  // a file whose chain failed has no footers worth listing
  bool sound = loaded == 0;
  const uint64_t nested = file.CountBufferEntries();
  for (uint64_t n = 0; n < nested; ++n) {
    const buffer_entry& entry = file.NextBufferEntry();
    if (!entry.has_data()) break;
    RepDataBuffer item(messages, entry);
    buffer_entry unpacked = item.UnpackAsEntry();
    item.Dump(messages);
    messages.out(message_kind::summary) << "======== nested file " << n + 1 << " of " << nested
                                        << ": " << item.name() << " ========";
    if (!unpacked.has_data()) {
      messages.out(message_kind::summary) << "(not a repository file)";
      sound = false;
      continue;
    }
    if (depth == kMaxNesting) {
      messages.out(message_kind::summary)
          << "(nested deeper than " << kMaxNesting << " levels, not shown)";
      continue;
    }
    RepFileBuffer inner(messages, std::move(unpacked), kAllLoadFlags);
    sound &= show_file(messages, inner, depth + 1);
    messages.out(message_kind::summary) << "======== end of nested file " << n + 1 << " ========";
  }
  return sound;
}

}  // namespace

int run_show(message_sink& messages, const std::vector<std::string>& native_files) {
  int result = 0;
  for (const std::string& path : native_files) {
    messages.out(message_kind::summary) << "==== " << platform::display_name(path) << " ====";
    std::vector<uint8_t> image;
    bool read = false;
    try {
      source_file_reader reader;
      read = reader.open(path) && reader.read_all(image);
    } catch (const std::exception&) {
      read = false;
    }
    if (!read) {
      messages.out(message_kind::summary) << "cannot be read";
      result = 1;
      continue;
    }
    RepFileBuffer file(messages, byte_span(image), kAllLoadFlags);
    if (!show_file(messages, file, 0)) result = 1;
  }
  return result;
}

}  // namespace repcopy
