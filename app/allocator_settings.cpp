// Settings of the jemalloc allocator the Linux executables are linked with (see CMakeLists.txt).
// jemalloc reads this symbol once, at its first allocation.
//
// Freed pages go back to the system after about ten seconds (jemalloc's own default). A copy
// frees event memory on the writers as fast as the reader makes it; returning it sooner (one
// second was tried) makes every thread pay for the madvise calls, their TLB shootdowns and the
// page faults of memory touched again: about a tenth of a copy's CPU and a fifth of a repeated
// run's, for some 20 MiB less peak memory. The peak stays bounded by the byte limits of the event
// storage and the writer queue.
extern "C" {
extern const char* const malloc_conf;
const char* const malloc_conf = "dirty_decay_ms:10000,muzzy_decay_ms:0";
}
