#pragma once
// The process's own services: stop signals, the standard streams as descriptors, a terminal
// test and a monotonic clock. Kept apart from the file-system layer in platform.h.

#include <cstdint>
#include <string>
#include <string_view>

namespace repcopy::platform {

// Installs handlers for SIGINT and SIGTERM that only note the request; a second signal of the
// same kind ends the process the default way. Safe to call more than once.
void install_stop_handlers();
// True once a stop signal has arrived (or request_stop was called).
bool stop_requested();
// For tests: set or clear the stop request as a signal would.
void request_stop();
void clear_stop_request();

// Whole-text writes to a standard stream descriptor, bypassing every stream buffer. Partial
// writes are continued; a failing write is given up silently (nothing can be reported).
void write_standard_error(std::string_view text);
bool standard_error_is_terminal();
// Columns of the terminal on standard error; 0 when it is none or does not say.
unsigned standard_error_columns();

// Standard output kept for one writer: the streams are flushed, a duplicate of the standard
// output descriptor is returned, and standard output then goes to standard error, so that every
// other line printed there ends up on standard error. -1 when the descriptors cannot be
// duplicated (standard output then stays as it was).
int set_aside_standard_output();
// Writes all of text to a descriptor from set_aside_standard_output; false on failure.
bool write_descriptor(int descriptor, std::string_view text);

// Nanoseconds of a clock that never steps back.
uint64_t monotonic_nanoseconds();

}  // namespace repcopy::platform
