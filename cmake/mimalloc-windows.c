/* mimalloc's single-file build (src/static.c of its sources) for the Windows executables, with one
 * change made from outside: the end of a thread is seen through a TLS slot and a TLS callback at
 * thread detach, instead of the fiber-local slot mimalloc uses on Windows. A fiber-local slot's
 * callback also runs when a fiber is deleted: were any code to run on fibers that come and go on
 * long-lived threads, mimalloc would tear down the heap of a thread that goes on running (crashes
 * in free at the thread's end, seen under Wine). The TLS slot ties the heap to the thread alone. */
#include <windows.h>

static PFLS_CALLBACK_FUNCTION thread_done_callback;
static DWORD thread_done_slot = TLS_OUT_OF_INDEXES;

static DWORD WINAPI tls_alloc_with_callback(PFLS_CALLBACK_FUNCTION callback) {
  thread_done_slot = TlsAlloc();
  thread_done_callback = callback;
  return thread_done_slot;
}
static BOOL WINAPI tls_set_value(DWORD slot, PVOID value) { return TlsSetValue(slot, value); }
static PVOID WINAPI tls_get_value(DWORD slot) { return TlsGetValue(slot); }
static BOOL WINAPI tls_free(DWORD slot) { return TlsFree(slot); }

#define FlsAlloc tls_alloc_with_callback
#define FlsSetValue tls_set_value
#define FlsGetValue tls_get_value
#define FlsFree tls_free
#include "static.c"

/* Runs at every thread's end, after the thread's C++ thread_local destructors (which free through
 * mimalloc) have run. */
static void NTAPI thread_detach(PVOID module, DWORD reason, PVOID reserved) {
  (void)module;
  (void)reserved;
  if (reason != DLL_THREAD_DETACH || thread_done_slot == TLS_OUT_OF_INDEXES) return;
  void* heap = TlsGetValue(thread_done_slot);
  if (heap != NULL && thread_done_callback != NULL) thread_done_callback(heap);
}
/* The C runtime's TLS directory calls every callback placed between .CRT$XLA and .CRT$XLZ. */
__attribute__((section(".CRT$XLY"), used)) const PIMAGE_TLS_CALLBACK repcopy_mimalloc_thread_detach =
    thread_detach;
