#include "app/option_parser.h"

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace repcopy {

option_parser::option_parser(int argc, char** argv, std::string_view options)
    : argc_(argc), argv_(argv), options_(options) {}

void option_parser::report(std::string_view what, char letter) const {
  std::string line = argc_ > 0 && argv_[0] ? argv_[0] : "";
  line += what;
  line += letter;
  line += '\n';
  // Straight to the device, bypassing every stream buffer.
  platform::write_error_output(line);
}

void option_parser::step_letter() {
  if (argv_[index_][++position_] == '\0') {
    ++index_;
    position_ = 1;
  }
}

int option_parser::next() {
  argument_ = nullptr;
  if (position_ == 1) {
    if (index_ >= argc_ || argv_[index_] == nullptr || argv_[index_][0] != '-' ||
        argv_[index_][1] == '\0') {
      return kEnd;
    }
    if (std::strcmp(argv_[index_], "--") == 0) {
      ++index_;
      return kEnd;
    }
  }
  const char letter = argv_[index_][position_];
  const size_t at = options_.find(letter);
  if (letter == ':' || at == std::string_view::npos) {
    report(": unknown option, -", letter);
    step_letter();
    return '?';
  }
  const bool takes_argument = at + 1 < options_.size() && options_[at + 1] == ':';
  if (!takes_argument) {
    step_letter();
    return letter;
  }
  if (argv_[index_][position_ + 1] != '\0') {
    argument_ = &argv_[index_++][position_ + 1];
  } else if (++index_ >= argc_) {
    report(": argument missing for -", letter);
    position_ = 1;
    return '?';
  } else {
    argument_ = argv_[index_++];
  }
  position_ = 1;
  return letter;
}

}  // namespace repcopy
