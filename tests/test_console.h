#pragma once
// The message sink the tests hand to the parts they run: the process's standard streams, so that
// a test sees what a part prints where the program would print it (and can capture it).

#include <iostream>

#include "util/message_sink.h"

namespace repcopy {

inline message_sink& test_console() {
  static stream_sink console(std::cout, std::cerr);
  return console;
}

}  // namespace repcopy
