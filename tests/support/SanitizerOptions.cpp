// Settings for the AddressSanitizer build of every test program.
//
// Two leaks of the libraries underneath are forgiven, nothing else. GLib allocates its first
// quark table in a library constructor and deliberately never frees it once GStreamer's many
// quarks outgrow it (lock-free readers may still hold it); that block can only be told apart by
// its full call stack, so the sanitizer unwinds malloc stacks the slow, exact way: GLib has no
// frame pointers. The other is GStreamer's HTTP source, below.

#include "support/AddressSanitizer.h"

#ifdef WAVELARK_ASAN
extern "C" {
__attribute__((used, visibility("default"))) const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}
__attribute__((used, visibility("default"))) const char* __lsan_default_suppressions()
{
    // GStreamer's HTTP source keeps two small blocks of its TLS session state when it stops
    // after an https stream (seen with a certificate authority of the test's own); nothing of
    // this program's is behind it.
    return "leak:_dl_init\n"
           "leak:libgstsoup.so\n";
}
}
#endif
