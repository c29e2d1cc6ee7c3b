// Settings of the jemalloc allocator the Linux executables are linked with (see CMakeLists.txt).
// jemalloc reads this symbol once, at its first allocation.
//
// Freed pages go back to the system after about ten seconds (jemalloc's own default). A copy
// frees event memory on the writers as fast as the reader makes it; returning it sooner makes
// every thread pay for the madvise calls, their TLB shootdowns and the page faults of memory
// touched again: with three seconds a 3 M-event copy spent 3.4 s in the kernel against 1.9 s,
// and a tenth more processor time in all, for a peak some 20 MiB lower. Never returning it lets
// the peak grow with the size of the copy (620 against 410 MiB at 3 M events). The peak stays
// bounded by the byte limits of the event storage and the writer queue.
//
// One arena for all threads: events are made on the reading thread and freed on the writers, so
// with an arena per thread each arena kept its own high-water mark of freed pages, and the peak
// was their sum (some 40 MiB more on a 1.2 M-event copy). The threads' own caches keep the
// arena's lock out of the way of small allocations.
//
// Its memory is on transparent huge pages where the system allows them on request (the common
// "madvise" setting): a copy touches some 400 MiB of fresh memory, and in 4 KiB pages the faults
// alone were a twentieth of its processor time. With 2 MiB pages a hard 1.2 M-event copy faulted
// 5 000 times instead of 113 000 and ran some 7 % faster, for about 15 MiB more at its peak.
// Where the system never or always uses huge pages, nothing changes.
extern "C" {
extern const char* const malloc_conf;
const char* const malloc_conf =
    "narenas:1,dirty_decay_ms:10000,muzzy_decay_ms:0,thp:always,metadata_thp:always";
}
