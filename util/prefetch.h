#pragma once
// Hints that ask the processor to load memory the code will read soon. A batch is larger than the
// caches, so each walk over it (a writer's, the sort's) reads most events from memory; asking for
// the events ahead lets those waits overlap the work on the events before. Hints only: no effect
// on any result.

#include <cstddef>
#include <cstdint>

namespace repcopy {

inline void prefetch(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

// Every cache line of the bytes [p, p + size).
inline void prefetch_range(const void* p, size_t size) {
  constexpr uintptr_t kLine = 64;
  const uintptr_t first = reinterpret_cast<uintptr_t>(p) & ~(kLine - 1);
  const uintptr_t end = reinterpret_cast<uintptr_t>(p) + size;
  for (uintptr_t at = first; at < end; at += kLine) prefetch(reinterpret_cast<const void*>(at));
}

}  // namespace repcopy
