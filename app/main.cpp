#include <vector>

#include "app/run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  repcopy::platform::setup_console();
  // The arguments as UTF-8, kept alive for the whole run, in the argv form the parser expects.
  std::vector<std::string> args = repcopy::platform::utf8_arguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& a : args) utf8_argv.push_back(a.data());
  utf8_argv.push_back(nullptr);
  return repcopy::entry_point(int(args.size()), utf8_argv.data());
}
