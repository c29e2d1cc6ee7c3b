#include "app/option_parser.h"

#include <cstring>
#include <string>

#include "platform/process.h"

namespace repcopy {

option_parser::option_parser(int argc, char** argv, std::string_view options,
                             std::span<const long_option> long_options)
    : argc_(argc), argv_(argv), options_(options), long_options_(long_options) {}

void option_parser::report(std::string_view what, std::string_view name) {
  std::string line = argc_ > 0 && argv_[0] ? argv_[0] : "";
  line += what;
  line += name;
  last_message_ = line;
  if (silent_) return;
  line += '\n';
  // Straight to the descriptor, bypassing every stream buffer.
  platform::write_standard_error(line);
}

void option_parser::step_letter() {
  if (argv_[index_][++position_] == '\0') {
    ++index_;
    position_ = 1;
  }
}

// At the start of an argument "--name[=value]".
int option_parser::next_long() {
  const std::string_view text = argv_[index_++] + 2;
  const size_t equals = text.find('=');
  const std::string_view name = text.substr(0, equals);
  for (const long_option& option : long_options_) {
    if (option.name != name) continue;
    if (!option.takes_argument) {
      if (equals == std::string_view::npos) return option.code;
      report(": option takes no argument, --", name);
      return '?';
    }
    if (equals != std::string_view::npos) {
      argument_ = argv_[index_ - 1] + 2 + equals + 1;
    } else if (index_ < argc_ && argv_[index_] != nullptr) {
      argument_ = argv_[index_++];
    } else {
      report(": argument missing for --", name);
      return '?';
    }
    return option.code;
  }
  report(": unknown option, --", name);
  return '?';
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
    if (argv_[index_][1] == '-') return next_long();
  }
  const char letter = argv_[index_][position_];
  const size_t at = options_.find(letter);
  if (letter == ':' || at == std::string_view::npos) {
    report(": unknown option, -", std::string_view(&letter, 1));
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
    report(": argument missing for -", std::string_view(&letter, 1));
    position_ = 1;
    return '?';
  } else {
    argument_ = argv_[index_++];
  }
  position_ = 1;
  return letter;
}

}  // namespace repcopy
