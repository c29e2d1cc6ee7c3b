// repdump: shows, checks, counts and compares repositories, so that a copy can be trusted.
#include <iostream>

#include "inspect/repdump_command.h"

int main(int argc, char** argv) { return repcopy::run_repdump(argc, argv, std::cout, std::cerr); }
