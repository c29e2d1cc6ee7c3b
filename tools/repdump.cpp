// repdump: shows, checks, counts and compares repositories, so that a copy can be trusted.
#include <iostream>
#include <string>
#include <vector>

#include "inspect/repdump_command.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  repcopy::platform::setup_console();
  // The arguments as UTF-8 (on Windows read from the wide command line).
  std::vector<std::string> args = repcopy::platform::utf8_arguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& a : args) utf8_argv.push_back(a.data());
  utf8_argv.push_back(nullptr);
  return repcopy::run_repdump(int(args.size()), utf8_argv.data(), std::cout, std::cerr);
}
