#include "util/message_sink.h"

namespace repcopy {

std::string_view kind_name(message_kind kind) {
  switch (kind) {
    case message_kind::summary:
      return "summary";
    case message_kind::notice:
      return "notice";
    case message_kind::warning:
      return "warning";
    case message_kind::error:
      break;
  }
  return "error";
}

message_sink& discard_messages() {
  static null_sink sink;
  return sink;
}

void stream_sink::write(message_kind, message_stream stream, std::string_view lines) {
  std::lock_guard<std::mutex> hold(lock_);
  std::ostream& os = stream == message_stream::err ? err_ : out_;
  os.write(lines.data(), std::streamsize(lines.size()));
  os.flush();
}

void buffering_sink::write(message_kind kind, message_stream stream, std::string_view lines) {
  std::lock_guard<std::mutex> hold(lock_);
  held_.push_back(
      held_message{position_.load(std::memory_order_relaxed), kind, stream, std::string(lines)});
}

void buffering_sink::set_position(uint64_t position) {
  position_.store(position, std::memory_order_relaxed);
}

void buffering_sink::take(std::vector<held_message>& out) {
  std::lock_guard<std::mutex> hold(lock_);
  for (held_message& m : held_) out.push_back(std::move(m));
  held_.clear();
}

}  // namespace repcopy
