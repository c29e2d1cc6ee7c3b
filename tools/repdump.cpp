// repdump: shows, checks, counts and compares repositories, so that a copy can be trusted.
#include <iostream>
#include <string>
#include <vector>

#include "audit/repdump_command.h"
#include "platform/platform.h"
#include "util/fatal.h"

int main(int argc, char** argv) {
  using namespace repcopy;
  platform::setup_console();
  // The arguments as UTF-8 (on Windows read from the wide command line).
  std::vector<std::string> args = platform::utf8_arguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& a : args) utf8_argv.push_back(a.data());
  utf8_argv.push_back(nullptr);
  try {
    return run_repdump(int(args.size()), utf8_argv.data(), std::cout, std::cerr);
  } catch (const fatal_error& error) {
    print_fatal(error, std::cout, std::cerr);
    return kFatalExitCode;
  }
}
