#pragma once
// Text conversions. Names are held as UTF-16 (std::u16string) everywhere inside the program and
// converted to UTF-8 only at the console and file-system boundary.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/utf.h"

namespace repcopy {

// Each 8-bit character widened to one code unit (the ASCII texts of properties and names).
std::u16string widen_ascii(std::string_view text);
// ASCII a-z to A-Z; every other code unit unchanged, so an upper-cased name maps to itself.
std::u16string ascii_upper(std::u16string text);

}  // namespace repcopy
