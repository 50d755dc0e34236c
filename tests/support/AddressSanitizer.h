#pragma once

// WAVELARK_ASAN is defined when this test program is built with AddressSanitizer, for the few
// tests that must step aside there (Qt WebEngine's Chromium cannot run instrumented).
#if defined(__SANITIZE_ADDRESS__)
#define WAVELARK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WAVELARK_ASAN 1
#endif
#endif
