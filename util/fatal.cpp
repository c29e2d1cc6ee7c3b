#include "util/fatal.h"

#include <ostream>

namespace repcopy {

void fatal_stop(std::string_view text) { throw fatal_error(std::string(text)); }

void print_fatal(const fatal_error& error, std::ostream& out, std::ostream& err) {
  out << error.marker() << std::flush;
  err << error.error_text() << std::flush;
}

}  // namespace repcopy
