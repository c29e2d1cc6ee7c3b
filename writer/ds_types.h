#pragma once
// Data-source types: the GUID text that says what kind of log a data source is, derived from the
// data-source name with a built-in table. Unknown names get the Windows event-log type.

#include <map>
#include <mutex>
#include <span>
#include <string>

#include "util/message_sink.h"
#include "util/text.h"

namespace repcopy {

// Groups of a type GUID text (38 characters with braces), its data-source names, and an empty
// entry closing the group; the last entry closes the last group.
inline constexpr size_t kDsTypeTableSize = 78;
extern const char16_t* const kDsTypeTable[kDsTypeTableSize];
inline constexpr char16_t kDefaultDsType[] = u"{A9E5C7A2-5C01-41b7-9D36-E562DFDDEFA9}";

// A data-source type: the GUID text, as the file's properties hold it, and in the system's form
// for the directory level it names.
struct ds_type {
  std::u16string text;
  native_name native;
};

// Name to type map, built from the table on first use; every lookup, the build and the
// insertion of unknown names are serialised with one mutex. Answers live as long as the map.
class ds_type_map {
 public:
  explicit ds_type_map(std::span<const char16_t* const> table = kDsTypeTable) : table_(table) {}
  ds_type_map(const ds_type_map&) = delete;
  ds_type_map& operator=(const ds_type_map&) = delete;

  // The type of name (exact match, letter case counts). An unknown name prints
  // "Datasource name not found: ", shown (the name as messages print it) and "Windows datasource
  // type will be used" once and gets the default type. Null when the table fails its checks on
  // the lookup that builds the map.
  const ds_type* lookup(message_sink& messages, const std::u16string& name, std::string_view shown);

 private:
  bool build(message_sink& messages);  // under mutex_

  std::span<const char16_t* const> table_;
  std::mutex mutex_;
  std::map<std::u16string, ds_type> map_;
};

}  // namespace repcopy
