#pragma once
// Holding back console output. Files read on helper threads print their messages (damaged
// items, missing properties, hex dumps) through std::cout and std::cerr like everything else;
// while a console_capture is active on a thread, what that thread writes to either stream is
// kept in the capture instead, tagged with the capture's position (the number of events the
// thread had produced when the text was written). The reader prints the texts later, each just
// before the event it preceded, so the console shows what a serial run shows.
//
// Only std::cout and std::cerr are redirected, and only after install_console_capture(); other
// threads, and the capturing thread outside its capture_scope, write through as before.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace repcopy {

// One stretch of text written to one stream at one position.
struct captured_text {
  uint64_t position = 0;
  bool to_error = false;  // std::cerr, else std::cout
  std::string text;
};

class console_capture {
 public:
  void set_position(uint64_t position) { position_ = position; }
  void append(bool to_error, const char* text, size_t n);
  // Moves the texts captured so far to the end of out.
  void take(std::vector<captured_text>& out);
  bool empty() const { return texts_.empty(); }

 private:
  uint64_t position_ = 0;
  std::vector<captured_text> texts_;
};

// Puts a redirecting buffer in front of the buffers of std::cout and std::cerr unless one is
// there already. Call it while no other thread writes to them.
void install_console_capture();

// While alive, the calling thread's output goes to capture (null: straight through). Scopes
// nest; the previous target comes back on destruction.
class capture_scope {
 public:
  explicit capture_scope(console_capture* capture);
  ~capture_scope();
  capture_scope(const capture_scope&) = delete;
  capture_scope& operator=(const capture_scope&) = delete;

 private:
  console_capture* previous_;
};

// What text passing through to the console meets: an object that may drop it or keep a copy, or
// that must take away other text it draws on the terminal (a progress line) first. begin_write is
// called with the text before it passes through to std::cout or std::cerr (outside a capture),
// end_write after it with whether the text ended a line; when begin_write returns false the text
// is dropped. end_write is called either way. Both run on the writing thread.
class console_guard {
 public:
  virtual ~console_guard() = default;
  virtual bool begin_write(bool to_error, std::string_view text) = 0;
  virtual void end_write(bool to_error, bool line_ended) = 0;
};

// Sets the guard (null: none). Writes reach it only once install_console_capture() has run.
void set_console_guard(console_guard* guard);

// Writes a captured text to its stream and flushes it.
void print_captured(const captured_text& text);

}  // namespace repcopy
