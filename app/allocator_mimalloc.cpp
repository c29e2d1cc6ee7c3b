// The Windows executables' allocator: every operator new and delete goes to mimalloc. Events are
// many small blocks made on the reading thread and freed on a writer thread; the C runtime's heap
// costs about half as much CPU time again on them (bench/RESULTS.md). Linked into each
// executable, never into the library, so that one definition of the operators exists.
#include <mimalloc-new-delete.h>

namespace {

struct allocator_setup {
  allocator_setup() {
    // Freed pages stay committed: returning them to the system after each batch and taking them
    // back for the next costs more system time than the heap work saves (bench/RESULTS.md). The
    // copy's memory bounds still hold; they count events, not pages.
    mi_option_disable(mi_option_allow_decommit);
  }
};
const allocator_setup setup __attribute__((init_priority(101)));

}  // namespace
