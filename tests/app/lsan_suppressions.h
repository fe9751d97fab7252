// Included once by each app test program: LeakSanitizer (in the ASan build) is told to ignore
// fontconfig's own process-lifetime allocations (its configuration and caches, which Qt never
// releases). Leaks in our code and in Qt are still reported.
#pragma once

extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
