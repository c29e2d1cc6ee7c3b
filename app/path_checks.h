#pragma once
// The source and target paths of a copy, checked before anything is built: a copy that would
// read what it writes, or write where the user did not mean to, is refused.

#include <optional>
#include <string>

#include "util/message_sink.h"

namespace repcopy {

// The refusal line for the two paths as typed, or nothing when the copy may go ahead. The source
// must be an existing directory holding "Environment$" or "Hot$/Environment$"; the target must
// be a directory or not exist yet; neither may lie inside the other (nor be the same directory).
// Nesting is decided on the resolved paths ("." and "..", symbolic links) and on file identity,
// so another spelling of the same directory (a case variant where the file system folds case, a
// second mount) is seen too.
// Last, the target must be writable (target_write_refusal).
std::optional<std::string> path_refusal(message_sink& messages, const std::string& source,
                                        const std::string& target);

// The refusal line when no file can be created in the target, or in its nearest existing
// ancestor when it does not exist yet (a file is created there and removed at once), naming that
// path and the system's reason.
std::optional<std::string> target_write_refusal(const std::u16string& target);

}  // namespace repcopy
