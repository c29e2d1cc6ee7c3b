#include "util/fatal.h"

#include <cstdlib>
#include <iostream>

#include "util/console_capture.h"

namespace repcopy {

void fatal_exit() {
  release_console_capture();  // a reader thread's held-back output, the marker included
  std::cout.flush();
  std::cerr.flush();
  std::_Exit(kFatalExitCode);
}

void fatal_stop(std::string_view text) {
  release_console_capture();
  std::cout << text;
  fatal_exit();
}

}  // namespace repcopy
