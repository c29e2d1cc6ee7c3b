#pragma once
// Our own option parser, in the classic short-option form. Unlike the C library's getopt it never
// reorders the arguments (the first non-option ends the options, so paths stay where they are)
// and its two messages go straight to file descriptor 2, unbuffered, in a fixed form.

#include <string_view>
#include <vector>

namespace repcopy {

class option_parser {
 public:
  static constexpr int kEnd = -1;

  // A long option "--name=value" or "--name value"; it always takes an argument and next()
  // returns its code (above 255).
  struct long_option {
    std::string_view name;
    int code;
  };

  // options: letters, each followed by ':' when it takes an argument ("hvcd:r:f:t:i:j:").
  // argv must outlive the parser.
  option_parser(int argc, char** argv, std::string_view options,
                std::vector<long_option> long_options = {});

  // The next option letter; '?' after an unknown letter or a missing argument (the message has
  // been written to fd 2); kEnd at the first non-option argument, at "-", after "--", or when
  // the arguments run out.
  int next();
  // The argument of the option just returned (nullptr for an option without one).
  const char* argument() const { return argument_; }
  // Index of the next argument to look at.
  int index() const { return index_; }

 private:
  void report(std::string_view what, std::string_view option) const;
  void step_letter();
  int next_long();

  int argc_;
  char** argv_;
  std::string_view options_;
  std::vector<long_option> long_options_;
  int index_ = 1;
  int position_ = 1;
  const char* argument_ = nullptr;
};

}  // namespace repcopy
