#pragma once
// Silences the readers' own diagnostics (messages and hex dumps on standard output and error)
// while a checking command reads a file, so that its output is only its own report lines.

#include <iostream>
#include <streambuf>

namespace repcopy {

class muted_output {
 public:
  muted_output() : out_(std::cout.rdbuf(&sink_)), err_(std::cerr.rdbuf(&sink_)) {}
  ~muted_output() {
    std::cout.rdbuf(out_);
    std::cerr.rdbuf(err_);
  }
  muted_output(const muted_output&) = delete;
  muted_output& operator=(const muted_output&) = delete;

 private:
  // Accepts and drops every character.
  struct null_buffer : std::streambuf {
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  };
  null_buffer sink_;
  std::streambuf* out_;
  std::streambuf* err_;
};

}  // namespace repcopy
