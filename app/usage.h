#pragma once
// The banner (standard error) and the usage text (standard output).

#include <string>
#include <string_view>

namespace repcopy {

// Title, a blank and the version "%d.%d.%d.%02d", a line end, the notice line, a line end and an
// empty line.
std::string banner_text();
// The banner's first line (title and version) with its line end.
std::string version_line();
void print_banner();

// The program's file name: the part of argv[0] after its last '/' or '\'.
std::string_view program_name(const char* argv0);

// The usage pieces in order, with the program name after the third, then the options beside the
// letters (more_options_text), closed by a line end.
std::string more_options_text();
std::string usage_text(std::string_view program);
void print_usage(std::string_view program);

}  // namespace repcopy
