#include "util/fatal.h"

#include <cstdlib>
#include <iostream>

namespace repcopy {

void fatal_exit() {
  std::cout.flush();
  std::cerr.flush();
  std::_Exit(kFatalExitCode);
}

void fatal_stop(std::string_view text) {
  std::cout << text;
  fatal_exit();
}

}  // namespace repcopy
