#ifndef KELVANED_KV_ASSERT_H
#define KELVANED_KV_ASSERT_H

#include <cstdio>
#include <cstdlib>

// Internal consistency checks: always on, whatever the build type. A failed check
// is a programming error; it names the expression, the file and the line, and stops.
#define KV_ASSERT(expr)                                                              \
    ((expr) ? static_cast<void>(0)                                                   \
            : (std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", #expr, \
                            __FILE__, __LINE__),                                     \
               std::abort()))

#endif
