// The Windows executables' allocator: every operator new and delete goes to mimalloc. Events are
// many small blocks made on the reading thread and freed on a writer thread; the C runtime's heap
// serialises both threads on one lock (bench/RESULTS.md has the measurement). Linked into each
// executable, never into the library, so that one definition of the operators exists.
#include <mimalloc-new-delete.h>
