#include "container/properties.h"

#include "util/hex_dump.h"
#include "util/text.h"

namespace repcopy {

namespace {

// Reads one u32-counted UTF-16 text that must end by limit.
bool read_text(byte_reader& r, size_t limit, std::u16string& out) {
  uint32_t n = 0;
  if (r.pos() + 4 > limit || !r.u32(n)) return false;
  if (uint64_t(n) * 2 > limit - r.pos()) return false;
  return r.utf16(n, out);
}

}  // namespace

uint64_t parse_property_block(message_sink& messages, footer_record& footer, byte_span file,
                              std::string* why) {
  const uint64_t start = footer.property_offset;
  const uint64_t footer_end = footer.footer_end();
  uint64_t property_len = 0;
  byte_reader r(file);
  const bool have_len = footer_end <= file.size() && start <= footer_end &&
                        footer_end - start >= 8 && r.seek(start) && r.u64(property_len);
  footer.property_len = property_len;
  if (!have_len || property_len != footer_end - start - 8) {
    messages.err(message_kind::error) << "Wrong property len!!!";
    messages.out(message_kind::notice) << "Wrong property len!!!";
    messages.out(message_kind::notice) << "property_offset = " << start;
    messages.out(message_kind::notice) << "property_len = " << property_len;
    messages.out(message_kind::notice)
        << "property_offset + property_len = " << start + property_len;
    messages.out(message_kind::notice) << "footer size = " << footer_end;
    hex_dump(messages, file, file.size());
    if (why != nullptr) {
      *why = "property_len " + std::to_string(property_len) + " does not end the footer";
    }
    return 0;
  }
  const size_t end = size_t(footer_end);
  while (r.pos() < end) {
    std::u16string name, value;
    if (!read_text(r, end, name)) {
      messages.err(message_kind::error) << "Wrong property name!!!";
      messages.out(message_kind::notice) << "Wrong property name!!!";
      hex_dump(messages, file, end, size_t(start));
      if (why != nullptr) *why = "a property name runs past the block";
      return 0;
    }
    if (!read_text(r, end, value)) {
      messages.err(message_kind::error) << "Wrong property value!!!";
      messages.out(message_kind::notice) << "Wrong property value!!!"
                                         << " for " << to_utf8(name);
      hex_dump(messages, file, end, size_t(start));
      hex_dump(messages, file, file.size());
      if (why != nullptr) *why = "the value of " + to_utf8(name) + " runs past the block";
      return 0;
    }
    footer.properties.emplace(std::move(name), std::move(value));  // keeps the first
  }
  return property_len;
}

bool has_property(const footer_record& footer, std::u16string_view name) {
  return get_property(footer, name) != nullptr;
}

const std::u16string* get_property(const footer_record& footer, std::u16string_view name) {
  auto it = footer.properties.find(std::u16string(name));
  return it == footer.properties.end() ? nullptr : &it->second;
}

void dump_properties(message_sink& messages, const footer_record& footer) {
  for (const auto& [name, value] : footer.properties) {
    messages.out(message_kind::summary) << to_utf8(name) << " = " << to_utf8(value);
  }
}

}  // namespace repcopy
