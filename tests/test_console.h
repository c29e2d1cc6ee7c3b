#pragma once
// The message sink the tests hand to the parts they run: the process's standard streams, so that
// a test sees what a part prints where the program would print it (and can capture it).

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <utility>

#include "util/message_sink.h"

namespace repcopy {

inline message_sink& test_console() {
  static stream_sink console(std::cout, std::cerr);
  return console;
}

// What a call printed: on standard output, then on standard error.
template <class Call>
std::pair<std::string, std::string> capture_output(Call&& call) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  call();
  return {testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

}  // namespace repcopy
