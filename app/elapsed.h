#pragma once
// The elapsed-time line on standard output: whole seconds, ".", three digits of milliseconds
// (a difference of 123456789 FILETIME units prints "12.345").

#include <cstdint>
#include <string>

#include "util/message_sink.h"

namespace repcopy {

// The line without its line end. A clock that stepped back (end before start) shows 0.000.
std::string elapsed_text(uint64_t start_filetime, uint64_t end_filetime);
void print_elapsed(message_sink& messages, uint64_t start_filetime, uint64_t end_filetime);

}  // namespace repcopy
