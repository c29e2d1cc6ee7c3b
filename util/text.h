#pragma once
// Text conversions. Names are held as UTF-16 (std::u16string) inside the program; a name that
// becomes part of a path is converted once to the system's form (native_name) and the path is
// built and used in that form.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/utf.h"

namespace repcopy {

// A UTF-16 name in the system's form: its UTF-8 text, as messages print it too (an unpaired
// surrogate shows as U+FFFD), and whether it converted whole (no unpaired surrogate). A name
// that did not cannot be a file-system name.
struct native_name {
  native_name() = default;
  explicit native_name(std::u16string_view name) { text = to_utf8(name, &whole); }
  std::string text;
  bool whole = true;
};

// Each 8-bit character widened to one code unit (the ASCII texts of properties and names).
std::u16string widen_ascii(std::string_view text);
// ASCII a-z to A-Z; every other code unit unchanged, so an upper-cased name maps to itself.
std::u16string ascii_upper(std::u16string text);

}  // namespace repcopy
