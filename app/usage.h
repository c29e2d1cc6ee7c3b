#pragma once
// The banner (standard error) and the usage text (standard output).

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "util/message_sink.h"

namespace repcopy {

// The four parts of the file version in a version resource (a VS_VERSIONINFO block): absent
// when the block is too short, its value length is 0, or the fixed file information found at the
// first nonzero 16-bit word from byte 38 on does not begin with the signature 0xFEEF04BD.
std::optional<std::array<uint16_t, 4>> resource_file_version(std::span<const uint8_t> block);

// Title, a blank and the version "%d.%d.%d.%02d", a line end, the notice line, a line end and an
// empty line. The version is the program's own version resource where the system keeps one
// (none when it cannot be read), else the version the program was built with.
std::string banner_text();
// The banner's first line (title and version) with its line end.
std::string version_line();
// The version alone, "%d.%d.%d.%02d", or "" when it cannot be read.
std::string version_number();
void print_banner(message_sink& messages);

// The program's file name: the part of argv[0] after its last '/' or '\'.
std::string_view program_name(const char* argv0);

// The usage pieces in order, with the program name after the third, then the options beside the
// letters (more_options_text), closed by a line end.
std::string more_options_text();
std::string usage_text(std::string_view program);
void print_usage(message_sink& messages, std::string_view program);

}  // namespace repcopy
