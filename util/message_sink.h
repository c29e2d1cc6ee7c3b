#pragma once
// message_sink: where every line the libraries print goes. The entry point (repcopy, repgen,
// repdump) makes one and hands it down to the objects that print; none of them writes to the
// standard streams itself. Each call names the line's kind and its stream (standard output or
// error, as the line has always used) and carries one or more whole lines, each ending in '\n',
// with the bytes the console gets. What the sink does with them is its own affair: the program's
// console clears a progress line first, drops notices with -q and logs every line with its kind;
// a buffering sink holds the lines of a file read ahead on another thread for later; a null sink
// drops them.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace repcopy {

enum class message_kind { summary, notice, warning, error };
enum class message_stream { out, err };

// "summary", "notice", "warning", "error": the names the log uses.
std::string_view kind_name(message_kind kind);

class message_line;

class message_sink {
 public:
  virtual ~message_sink() = default;
  // lines: whole lines, each ending in '\n'. Must be safe to call from several threads.
  virtual void write(message_kind kind, message_stream stream, std::string_view lines) = 0;

  // One line built with <<, sent when the statement ends; the line end is added.
  //   messages.out(message_kind::notice) << "Datasource name not found: " << name;
  message_line out(message_kind kind);
  message_line err(message_kind kind);
};

class message_line {
 public:
  message_line(message_sink& sink, message_kind kind, message_stream stream)
      : sink_(sink), kind_(kind), stream_(stream) {}
  ~message_line() {
    text_ << '\n';
    sink_.write(kind_, stream_, text_.view());
  }
  message_line(const message_line&) = delete;
  message_line& operator=(const message_line&) = delete;

  template <class T>
  message_line& operator<<(const T& value) {
    text_ << value;
    return *this;
  }

 private:
  message_sink& sink_;
  message_kind kind_;
  message_stream stream_;
  std::ostringstream text_;
};

inline message_line message_sink::out(message_kind kind) {
  return message_line(*this, kind, message_stream::out);
}
inline message_line message_sink::err(message_kind kind) {
  return message_line(*this, kind, message_stream::err);
}

// Drops every line (fuzz targets, checks that report damage their own way, surveys).
class null_sink : public message_sink {
 public:
  void write(message_kind, message_stream, std::string_view) override {}
};
// One shared null sink.
message_sink& discard_messages();

// Writes each call's lines to one of two streams and flushes it (tools without a console of
// their own, tests).
class stream_sink : public message_sink {
 public:
  stream_sink(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  void write(message_kind kind, message_stream stream, std::string_view lines) override;

 private:
  std::mutex lock_;
  std::ostream& out_;
  std::ostream& err_;
};

// One line held by a buffering sink.
struct held_message {
  uint64_t position = 0;
  message_kind kind = message_kind::notice;
  message_stream stream = message_stream::out;
  std::string lines;
};

// Holds the lines written to it, each tagged with the position set last (for the read-ahead: the
// number of events the file had produced when the line was written), until they are replayed
// into another sink in order. Safe for several threads.
class buffering_sink : public message_sink {
 public:
  void write(message_kind kind, message_stream stream, std::string_view lines) override;
  void set_position(uint64_t position);
  // Moves the lines held so far to the end of out.
  void take(std::vector<held_message>& out);

 private:
  std::mutex lock_;
  // Set once per event by a reader, so it takes no lock: a line is tagged with the position its
  // writer set last, and lines written at once from other threads have no order with it anyway.
  std::atomic<uint64_t> position_{0};
  std::vector<held_message> held_;
};

// Writes one held line to sink with its kind and stream.
inline void replay(const held_message& m, message_sink& sink) {
  sink.write(m.kind, m.stream, m.lines);
}

}  // namespace repcopy
