#pragma once

namespace repcopy {

// The program's entry: banner, options, copy, summary, elapsed time. Returns the exit code.
int entry_point(int argc, char** argv);

}  // namespace repcopy
