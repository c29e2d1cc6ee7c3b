#include "container/rep_file_source.h"

namespace repcopy {

// Placeholder until the container readers are in place.
int32_t process_repository_file(const std::u16string&, const filter_config*, copy_outcome*,
                                const event_sink&) {
  return -1;
}

}  // namespace repcopy
