#pragma once
// Our own option parser, in the classic short-option form, with long options beside the letters.
// Unlike the C library's getopt it never reorders the arguments (the first non-option ends the
// options, so paths stay where they are) and its messages go straight to file descriptor 2,
// unbuffered, in a fixed form.

#include <span>
#include <string>
#include <string_view>

namespace repcopy {

// A long option "--name" ("--name VALUE" or "--name=VALUE" when it takes an argument). code is
// what next() returns for it; codes above 255 cannot be mistaken for a letter.
struct long_option {
  std::string_view name;
  bool takes_argument;
  int code;
};

class option_parser {
 public:
  static constexpr int kEnd = -1;

  // options: letters, each followed by ':' when it takes an argument ("hvcd:r:f:t:i:j:").
  // argv and the long options must outlive the parser.
  option_parser(int argc, char** argv, std::string_view options,
                std::span<const long_option> long_options = {});

  // The next option letter or long-option code; '?' after an unknown option, a missing argument
  // or an argument given to a long option that takes none (the message has been written to fd
  // 2); kEnd at the first non-option argument, at "-", after "--", or when the arguments run out.
  int next();
  // The argument of the option just returned (nullptr for an option without one).
  const char* argument() const { return argument_; }
  // Index of the next argument to look at.
  int index() const { return index_; }
  // The last message the parser wrote (without its line end), for the JSON summary.
  const std::string& last_message() const { return last_message_; }
  // A silent parser writes no message (a first pass over the arguments).
  void set_silent(bool silent) { silent_ = silent; }

 private:
  void report(std::string_view what, std::string_view name);
  void step_letter();
  int next_long();

  int argc_;
  char** argv_;
  std::string_view options_;
  std::span<const long_option> long_options_;
  int index_ = 1;
  int position_ = 1;
  const char* argument_ = nullptr;
  std::string last_message_;
  bool silent_ = false;
};

}  // namespace repcopy
