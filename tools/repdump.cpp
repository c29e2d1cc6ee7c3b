// repdump: shows, checks, counts and compares repositories, so that a copy can be trusted.
#include <iostream>

#include "audit/repdump_command.h"
#include "util/fatal.h"

int main(int argc, char** argv) {
  using namespace repcopy;
  try {
    return run_repdump(argc, argv, std::cout, std::cerr);
  } catch (const fatal_error& error) {
    print_fatal(error, std::cout, std::cerr);
    return kFatalExitCode;
  }
}
