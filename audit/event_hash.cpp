#include "audit/event_hash.h"

#include "util/text.h"

namespace repcopy {

std::string group_text(const event_group& g) {
  return to_utf8(g.domain) + " / " + to_utf8(g.computer) + " / " + to_utf8(g.data_source);
}

namespace {

// Whether two fields hold the same content; rows of a table compare by their content fields.
struct same_content {
  bool same = true;
  template <class Field>
  void operator()(const char*, field_role role, const Field& a, const Field& b) {
    if (role != field_role::content || !same) return;
    if constexpr (field_table<Field>) {
      same = a.size() == b.size();
      for (size_t i = 0; same && i < a.size(); ++i) for_each_field(*this, a[i], b[i]);
    } else {
      same = a == b;
    }
  }
};

}  // namespace

std::vector<std::string> changed_fields(const full_event& a, const full_event& b) {
  std::vector<std::string> out;
  for_each_field(
      [&out](const char* name, field_role role, const auto& x, const auto& y) {
        same_content field;
        field(name, role, x, y);
        // Two numbers that share a name are reported once.
        if (!field.same && (out.empty() || out.back() != name)) out.emplace_back(name);
      },
      a, b);
  return out;
}

}  // namespace repcopy
