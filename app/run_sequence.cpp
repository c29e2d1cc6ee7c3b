// PLACEHOLDER: stands in for the real copy until the copy machinery is wired in here. It does
// nothing, prints nothing and reports a complete copy.
#include "app/run_sequence.h"

namespace repcopy {

int run_sequence(const run_request&) { return 0; }

}  // namespace repcopy
