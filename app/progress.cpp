#include "app/progress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "app/json_summary.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "util/paths.h"

namespace repcopy {

namespace {

// "512", "51.2k", "5.1M".
std::string short_count(uint64_t n) {
  char buf[32];
  if (n < 10000) {
    std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(n));
  } else if (n < 10000000) {
    std::snprintf(buf, sizeof buf, "%.1fk", double(n) / 1e3);
  } else {
    std::snprintf(buf, sizeof buf, "%.1fM", double(n) / 1e6);
  }
  return buf;
}

// "m:ss", or "h:mm:ss" from an hour on.
std::string clock_text(uint64_t seconds) {
  char buf[32];
  if (seconds >= 3600) {
    std::snprintf(buf, sizeof buf, "%llu:%02llu:%02llu",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60),
                  static_cast<unsigned long long>(seconds % 60));
  } else {
    std::snprintf(buf, sizeof buf, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  }
  return buf;
}

// Erases the terminal line the cursor stands on.
constexpr const char* kClearLine = "\r\033[K";

}  // namespace

std::string progress_text(const progress_figures& f, unsigned columns) {
  const double seconds = double(f.elapsed_ns) / 1e9;
  // The events the source holds, estimated from those read per byte read; once everything is
  // read, the events read.
  double events_total = 0;
  if (f.bytes_read > 0 && f.bytes_total > f.bytes_read) {
    events_total = double(f.events_read) * double(f.bytes_total) / double(f.bytes_read);
  } else if (f.bytes_read > 0) {
    events_total = double(f.events_read);
  }
  const double done = events_total > 0 ? std::min(1.0, double(f.events_written) / events_total) : 0;
  const unsigned percent = unsigned(done * 100);
  const double rate = seconds > 0 ? double(f.unpacked_bytes_read) / 1e6 / seconds : 0;
  const uint64_t events_per_second = seconds > 0 ? uint64_t(double(f.events_written) / seconds) : 0;
  std::string left = "-:--";
  if (done > 0) left = clock_text(uint64_t(seconds * (1 - done) / done));
  const std::string read = short_count(f.events_read), written = short_count(f.events_written),
                    per_second = short_count(events_per_second);
  // The whole line, then shorter forms for narrower terminals; cut as the last resort.
  char full[256], medium[256], compact[256];
  std::snprintf(full, sizeof full,
                "%u%% %llu/%llu files, events %s read %s written, %.1f MB/s, %s ev/s, %s (%s left)",
                percent, static_cast<unsigned long long>(f.files_read),
                static_cast<unsigned long long>(f.files_total), read.c_str(), written.c_str(), rate,
                per_second.c_str(), clock_text(uint64_t(seconds)).c_str(), left.c_str());
  std::snprintf(medium, sizeof medium,
                "%u%% events %s read %s written, %.1f MB/s, %s ev/s, %s left", percent,
                read.c_str(), written.c_str(), rate, per_second.c_str(), left.c_str());
  std::snprintf(compact, sizeof compact, "%u%% %s written, %.1f MB/s, %s ev/s, %s left", percent,
                written.c_str(), rate, per_second.c_str(), left.c_str());
  const size_t fits = columns > 1 ? columns - 1 : 0;
  for (const char* text : {full, medium}) {
    if (std::strlen(text) <= fits) return text;
  }
  std::string text = compact;
  if (text.size() > fits) text.resize(fits);
  return text;
}

console_output& plain_console() {
  static console_output console;
  return console;
}

console_output::console_output(bool drop_notices)
    : console_output(std::cout, std::cerr, drop_notices) {}

console_output::console_output(std::ostream& out, std::ostream& err, bool drop_notices)
    : out_(out), err_(err), drop_notices_(drop_notices) {}

console_output::~console_output() {
  if (log_ != nullptr) std::fclose(log_);
}

void console_output::write(message_kind kind, message_stream stream, std::string_view lines) {
  std::lock_guard<std::mutex> hold(lock_);
  if (log_ != nullptr) {
    for (size_t start = 0; start < lines.size();) {
      size_t end = lines.find('\n', start);
      if (end == std::string_view::npos) end = lines.size();
      log_locked(kind_name(kind), lines.substr(start, end - start));
      start = end + 1;
    }
  }
  if (kind == message_kind::notice && drop_notices_) return;
  const bool redraw = shown_;
  clear_locked();
  std::ostream& os = stream == message_stream::err ? err_ : out_;
  os.write(lines.data(), std::streamsize(lines.size()));
  os.flush();
  if (redraw) {
    err_ << kClearLine << progress_ << std::flush;
    shown_ = true;
  }
}

void console_output::set_drop_notices(bool drop) {
  std::lock_guard<std::mutex> hold(lock_);
  drop_notices_ = drop;
}

bool console_output::open_log(const std::string& path, std::string& error) {
  std::u16string wide;
  std::FILE* file = nullptr;
  if (to_extended_path(*this, path, wide) == 0) {
    file = platform::open_for_appending(wide);
  }
  if (file == nullptr) {
    error = platform::system_error_message(platform::last_error());
    return false;
  }
  std::lock_guard<std::mutex> hold(lock_);
  log_ = file;
  return true;
}

void console_output::log_line(message_kind kind, std::string_view line) {
  std::lock_guard<std::mutex> hold(lock_);
  if (log_ != nullptr) log_locked(kind_name(kind), line);
}

void console_output::log_locked(std::string_view kind, std::string_view line) {
  const std::string stamp = iso_time_text(platform::system_time_as_filetime());
  std::fprintf(log_, "%s %.*s %.*s\n", stamp.c_str(), int(kind.size()), kind.data(),
               int(line.size()), line.data());
  std::fflush(log_);
}

void console_output::draw_progress(const std::string& text) {
  std::lock_guard<std::mutex> hold(lock_);
  progress_ = text;
  err_ << kClearLine << text << std::flush;
  shown_ = true;
}

void console_output::clear_progress() {
  std::lock_guard<std::mutex> hold(lock_);
  clear_locked();
}

void console_output::clear_locked() {
  if (!shown_) return;
  err_ << kClearLine << std::flush;
  shown_ = false;
}

progress_line::progress_line(const run_counters& counters, std::function<uint64_t()> written,
                             console_output& console)
    : counters_(counters),
      written_(std::move(written)),
      console_(console),
      start_ns_(platform::monotonic_nanoseconds()),
      thread_([this] { run(); }) {}

progress_figures progress_line::figures() const {
  progress_figures f;
  f.files_read = counters_.files_read.load();
  f.files_total = counters_.files_total.load();
  f.bytes_read = counters_.bytes_read.load();
  f.bytes_total = counters_.bytes_total.load();
  f.events_read = counters_.events_read.load();
  f.unpacked_bytes_read = counters_.unpacked_bytes_read.load();
  f.events_written = written_ ? written_() : 0;
  f.elapsed_ns = platform::monotonic_nanoseconds() - start_ns_;
  return f;
}

void progress_line::run() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!stopping_) {
    const unsigned columns = platform::standard_error_columns();
    console_.draw_progress(progress_text(figures(), columns != 0 ? columns : kDefaultColumns));
    wake_.wait_for(hold, std::chrono::nanoseconds(kIntervalNs), [this] { return stopping_; });
  }
  console_.clear_progress();
}

void progress_line::stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace repcopy
