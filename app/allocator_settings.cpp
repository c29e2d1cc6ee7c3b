// Settings of the jemalloc allocator the Linux executables are linked with (see CMakeLists.txt).
// jemalloc reads this symbol once, at its first allocation.
//
// Freed pages go back to the system after about three seconds. A copy frees event memory on the
// writers as fast as the reader makes it; returning it within a second makes every thread pay for
// the madvise calls, their TLB shootdowns and the page faults of memory touched again (a tenth
// of a copy's time), while keeping it ten seconds (jemalloc's own default) raises the peak of a
// 3 M-event copy by some 60 MiB. The peak stays bounded by the byte limits of the event storage
// and the writer queue.
extern "C" {
extern const char* const malloc_conf;
const char* const malloc_conf = "dirty_decay_ms:3000,muzzy_decay_ms:0";
}
