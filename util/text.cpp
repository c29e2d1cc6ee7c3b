#include "util/text.h"

namespace repcopy {

std::u16string widen_ascii(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) out[i] = char16_t(static_cast<unsigned char>(text[i]));
  return out;
}

std::u16string ascii_upper(std::u16string text) {
  for (char16_t& c : text)
    if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
  return text;
}

}  // namespace repcopy
