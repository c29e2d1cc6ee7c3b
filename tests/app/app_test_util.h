#pragma once
// Helpers for the command-line tests: an argument vector from strings, and the usage text as the
// user sees it, written out independently of app/usage.cpp.

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "version.h"

namespace repcopy::testing_app {

class arg_vector {
 public:
  arg_vector(std::initializer_list<std::string> args) : storage_(args) {
    for (std::string& s : storage_) pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
  }
  arg_vector(const arg_vector&) = delete;  // argv points into this object's strings
  arg_vector& operator=(const arg_vector&) = delete;

  int argc() const { return int(storage_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> storage_;
  std::vector<char*> pointers_;
};

inline std::string expected_usage(const std::string& program) {
  return "Makes events copy from source repository to target one.\n"
         "Or calculates target repository size.\n"
         "\n"
         "Usage:\n"
         "\n" +
         program +
         " [-h -v]\n"
         "                   [-d <how_many_days_back>]\n"
         "                   [-r <how_many_hours_back>]\n"
         "                   [-f <YYYY[MM[DD[HH[mm]]]]>]\n"
         "                   [-t <YYYY[MM[DD[HH[mm]]]]>]\n"
         "                   [-i <id1,id2,id3...>]\n"
         "                   [-j <id1,id2,id3...>]\n"
         "                   <source repository_path> <target repository_path>\n"
         "\n"
         "-h                 - Print this help\n"
         "-v                 - Verbose mode\n"
         "     Time filters:\n"
         "-d <how_many_days_back>    - Results for this many past days, beginning\n"
         "                             with 12:00 AM on the earliest matching day\n"
         "-r <how_many_hours_back>   - Results for this many past hours, beginning\n"
         "                             with the start of the earliest matching hour\n"
         "-f <YYYY[MM[DD[HH[mm]]]]>  - Results starting from this date and time (UTC, "
         "inclusive)\n"
         "-t <YYYY[MM[DD[HH[mm]]]]>  - Results before this date and time (UTC, exclusive)\n"
         "     The -f and -t filter options can be used together.\n"
         "\n"
         "     EventID filters:\n"
         "-i <id1,id2,id3...>        - 'White list' of EventID (will be included), comma "
         "separated.\n"
         "-j <id1,id2,id3...>        - 'Black list' of EventID (will be excluded), comma "
         "separated.\n"
         "     The -i and -j filter options cannot be used together.\n";
}

// The banner with the build's version in the four-part form, last part two digits.
inline std::string expected_banner() {
  char version[64];
  std::snprintf(version, sizeof version, "%d.%d.%d.%02d", REPCOPY_VERSION_MAJOR,
                REPCOPY_VERSION_MINOR, REPCOPY_VERSION_PATCH, REPCOPY_VERSION_TWEAK);
  return std::string("repcopy - event repository copy ") + version +
         "\nCopies events between event repositories; the source is never changed.\n\n";
}

}  // namespace repcopy::testing_app
