#pragma once
// Shared by the fuzz targets: swallows the diagnostics (messages and hex dumps) so that a run
// measures parsing, not printing.

#include <iostream>
#include <streambuf>

namespace fuzz_support {

class null_buffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Points standard output and error at a buffer that discards everything, for the whole run.
inline void silence_console() {
  static null_buffer sink;
  std::cout.rdbuf(&sink);
  std::cerr.rdbuf(&sink);
}

}  // namespace fuzz_support
