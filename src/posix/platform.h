// What ruvo takes from the system it runs on, as a POSIX system offers it:
// the environment and standard output of the C library.
#pragma once

#include "stream_output.h"

#include <stdlib.h>
#include <string.h>

inline const char* environment_value(const char* name) {
    return getenv(name);
}

inline bool stdout_format(const char* format, va_list args) {
    return stream_format(format, args);
}
inline bool stdout_write(const char* bytes, size_t count) {
    return stream_write(bytes, count);
}
inline bool stdout_flush() {
    return stream_flush();
}
inline bool stdout_error() {
    return stream_error();
}

// An errno.
inline int stdout_failure() {
    return stream_failure();
}
inline const char* failure_text(int failure) {
    return strerror(failure);
}
