#pragma once
// Fatal stops: places where the program cannot go on. Library code throws fatal_error with the
// marker the system prints for that place; nothing below the entry point prints it or ends the
// process. The entry point (app/run.cpp, and each tool's main) catches it, prints it with
// print_fatal and ends with kFatalExitCode (-1, 255 as the shell sees it). A fatal_error raised
// on a writer thread is carried to the main thread by the worker pool (copy/worker_pool.h).
//
// Handlers that turn other exceptions into a report must let fatal_error pass unchanged.

#include <exception>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>

#include "util/message_sink.h"

namespace repcopy {

inline constexpr int kFatalExitCode = -1;

class fatal_error : public std::exception {
 public:
  // marker goes to standard output exactly as given (no line end added), error_text after it to
  // standard error.
  explicit fatal_error(std::string marker, std::string error_text = {})
      : marker_(std::move(marker)), error_text_(std::move(error_text)) {}

  const char* what() const noexcept override { return marker_.c_str(); }
  const std::string& marker() const { return marker_; }
  const std::string& error_text() const { return error_text_; }

 private:
  std::string marker_;
  std::string error_text_;
};

// Throws fatal_error(text).
[[noreturn]] void fatal_stop(std::string_view text);

// Runs body; any exception it throws other than a fatal_error becomes fatal_error(marker). For
// the places whose only failure is an unexpected exception (an allocation that fails).
template <class Body>
decltype(auto) fatal_on_exception(std::string_view marker, Body&& body) {
  try {
    return body();
  } catch (const fatal_error&) {
    throw;
  } catch (...) {
    fatal_stop(marker);
  }
}

// The entry point's part: the marker on out, the error text on err, both flushed.
void print_fatal(const fatal_error& error, std::ostream& out, std::ostream& err);
// The same as error lines of a message sink.
void print_fatal(const fatal_error& error, message_sink& messages);

}  // namespace repcopy
