#pragma once
// The process exit codes, as scripts see them.

#include "model/copy_outcome.h"
#include "util/fatal.h"

namespace repcopy {

inline constexpr int kExitSuccess = 0;  // everything copied; also after the help and version
inline constexpr int kExitUsage = 2;    // usage error: nothing was read or written
// kExitPartial (3): the copy finished but not everything was copied (model/copy_outcome.h).
inline constexpr int kExitInterrupted = 130;  // stopped by SIGINT or SIGTERM
inline constexpr int kExitFatal = 255;        // fatal stop (kFatalExitCode as the shell sees it)

}  // namespace repcopy
