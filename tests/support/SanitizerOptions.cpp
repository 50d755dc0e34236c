// Settings for the AddressSanitizer build of every test program.
//
// GLib allocates its first quark table in a library constructor and deliberately never frees
// it once GStreamer's many quarks outgrow it (lock-free readers may still hold it). That one
// block is the only leak to forgive, and it can only be told apart by its full call stack, so
// the sanitizer unwinds malloc stacks the slow, exact way: GLib has no frame pointers.

#include "support/AddressSanitizer.h"

#ifdef WAVELARK_ASAN
extern "C" {
__attribute__((used, visibility("default"))) const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}
__attribute__((used, visibility("default"))) const char* __lsan_default_suppressions()
{
    return "leak:_dl_init\n";
}
}
#endif
