// Settings of the jemalloc allocator the Linux executables are linked with (see CMakeLists.txt).
// jemalloc reads this symbol once, at its first allocation.
//
// Pages freed by the writers go back to the system after about a second instead of ten, so the
// peak resident memory stays close to the bytes the copy holds (the event storage and the writer
// queue are bounded in bytes); the copy's speed does not change measurably.
extern "C" {
extern const char* const malloc_conf;
const char* const malloc_conf = "dirty_decay_ms:1000,muzzy_decay_ms:0";
}
