#include "source/rep_source2.h"

#include <utility>

#include "source/rep_file_source.h"

namespace repcopy {

RepSource2::RepSource2(message_sink& messages, std::u16string root, uint32_t mode,
                       const filter_config* filter, copy_outcome* outcome, file_processor process,
                       visit_set* visits)
    : messages_(messages),
      filter_(filter),
      outcome_(outcome),
      process_(std::move(process)),
      walk_(std::move(root), mode, filter, outcome, visits) {
  if (!process_) {
    process_ = [this](message_sink& messages, const std::string& path, const event_sink& sink) {
      return process_repository_file(messages, path, filter_, outcome_, sink);
    };
  }
}

RepSource2::~RepSource2() = default;

int32_t RepSource2::next_stored(stored_event& out) {
  if (ended_ || !walk_.valid()) return -1;
  if (!read_ahead_) {
    read_ahead::limits bounds;
    if (read_threads_ == 1) {
      bounds.files = spare_ ? kSpareReaderFiles : kOneReaderFiles;
      bounds.bytes = spare_ ? kSpareReaderBytes : kOneReaderBytes;
    }
    bounds.spare_processor = spare_;
    read_ahead_ = std::make_unique<read_ahead>(
        messages_, read_threads_,
        [this](message_sink& messages, std::string& path) {
          return walk_.next_path(messages, path);
        },
        process_, bounds);
  }
  int32_t r;
  try {
    r = read_ahead_->next(out);
  } catch (...) {
    ended_ = true;
    read_ahead_.reset();
    throw;
  }
  if (r != 0) {
    ended_ = true;
    read_ahead_.reset();  // joins the helper threads
    return -1;
  }
  return 0;
}

}  // namespace repcopy
