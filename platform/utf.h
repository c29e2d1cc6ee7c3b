#pragma once
// UTF-16 <-> UTF-8, the conversion between the program's names and the system's encoding. It
// lives in the platform layer because the file-system and console calls need it; util/text.h
// offers it to everyone else.

#include <string>
#include <string_view>

namespace repcopy {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD (and *whole, when given, false).
std::string to_utf8(std::u16string_view text, bool* whole = nullptr);
// Number of UTF-16 code units of UTF-8 text: one per sequence, two for a four-byte one.
size_t utf16_length(std::string_view text);
// UTF-8 to UTF-16; returns false on malformed input (out is then unspecified).
bool from_utf8(std::string_view text, std::u16string& out);

}  // namespace repcopy
