#include "util/fatal.h"

#include <ostream>

namespace repcopy {

void fatal_stop(std::string_view text) { throw fatal_error(std::string(text)); }

void print_fatal(const fatal_error& error, std::ostream& out, std::ostream& err) {
  out << error.marker() << std::flush;
  err << error.error_text() << std::flush;
}

void print_fatal(const fatal_error& error, message_sink& messages) {
  if (!error.marker().empty()) {
    messages.write(message_kind::error, message_stream::out, error.marker());
  }
  if (!error.error_text().empty()) {
    messages.write(message_kind::error, message_stream::err, error.error_text());
  }
}

}  // namespace repcopy
