#pragma once
// Reading one repository file into events.

#include <cstdint>
#include <string>

#include "container/event_generator.h"
#include "copy/copy_outcome.h"
#include "filters/filter_config.h"

namespace repcopy {

// Reads the repository file at path and pushes its events into the sink; -1 when the file could
// not be read or holds no event data, else 0. filter and outcome may be null.
int32_t process_repository_file(const std::u16string& path, const filter_config* filter,
                                copy_outcome* outcome, const event_sink& sink);

}  // namespace repcopy
