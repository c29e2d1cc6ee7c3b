#include "util/console_capture.h"

#include <atomic>
#include <iostream>
#include <list>
#include <mutex>
#include <streambuf>

namespace repcopy {

namespace {

thread_local console_capture* active_capture = nullptr;
std::atomic<console_guard*> active_guard{nullptr};

// Sits in front of a standard stream's own buffer. It has no buffer of its own, so every write
// reaches overflow or xsputn on the writing thread and goes to that thread's capture, if any.
class redirecting_buf : public std::streambuf {
 public:
  redirecting_buf(std::streambuf* real, bool to_error) : real_(real), to_error_(to_error) {}
  std::streambuf* real() const { return real_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (console_capture* capture = active_capture) {
      const char ch = traits_type::to_char_type(c);
      capture->append(to_error_, &ch, 1);
      return c;
    }
    const char ch = traits_type::to_char_type(c);
    return pass(&ch, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (console_capture* capture = active_capture) {
      capture->append(to_error_, s, size_t(n));
      return n;
    }
    return pass(s, n);
  }
  int sync() override { return active_capture != nullptr ? 0 : real_->pubsync(); }

 private:
  std::streamsize pass(const char* s, std::streamsize n) {
    console_guard* guard = active_guard.load();
    if (guard == nullptr) return real_->sputn(s, n);
    std::streamsize written = n;  // dropped text counts as written
    if (guard->begin_write(to_error_, std::string_view(s, size_t(n)))) {
      written = real_->sputn(s, n);
    }
    guard->end_write(to_error_, n > 0 && s[n - 1] == '\n');
    return written;
  }

  std::streambuf* real_;
  bool to_error_;
};

}  // namespace

void console_capture::append(bool to_error, const char* text, size_t n) {
  if (texts_.empty() || texts_.back().position != position_ || texts_.back().to_error != to_error)
    texts_.push_back(captured_text{position_, to_error, {}});
  texts_.back().text.append(text, n);
}

void console_capture::take(std::vector<captured_text>& out) {
  for (captured_text& t : texts_) out.push_back(std::move(t));
  texts_.clear();
}

namespace {

// The redirecting buffers put in front of the standard streams. At exit, before the streams are
// flushed for the last time, the streams get their own buffers back.
class redirections {
 public:
  ~redirections() {
    release(std::cout);
    release(std::cerr);
  }
  void install(std::ostream& stream, bool to_error) {
    std::lock_guard<std::mutex> l(lock_);
    if (dynamic_cast<redirecting_buf*>(stream.rdbuf()) != nullptr) return;
    buffers_.emplace_back(stream.rdbuf(), to_error);
    stream.rdbuf(&buffers_.back());
  }

 private:
  static void release(std::ostream& stream) {
    while (auto* ours = dynamic_cast<redirecting_buf*>(stream.rdbuf())) stream.rdbuf(ours->real());
  }
  std::mutex lock_;
  std::list<redirecting_buf> buffers_;  // stable addresses
};

}  // namespace

// A stream whose buffer was replaced since (a test sending output elsewhere) gets a new
// redirecting buffer in front of its new one.
void install_console_capture() {
  static redirections installed;
  installed.install(std::cout, false);
  installed.install(std::cerr, true);
}

void set_console_guard(console_guard* guard) { active_guard.store(guard); }

capture_scope::capture_scope(console_capture* capture) : previous_(active_capture) {
  active_capture = capture;
}

capture_scope::~capture_scope() { active_capture = previous_; }

void print_captured(const captured_text& text) {
  std::ostream& os = text.to_error ? std::cerr : std::cout;
  os.write(text.text.data(), std::streamsize(text.text.size()));
  os.flush();
}

}  // namespace repcopy
