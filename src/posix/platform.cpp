// What ruvo takes from the system it runs on, as a POSIX system offers it:
// the environment and standard output of the C library.
#include "platform.h"
#include "stream_output.h"

#include <stdlib.h>
#include <string.h>

const char* environment_value(const char* name) {
    return getenv(name);
}

bool stdout_format(const char* format, va_list args) {
    return stream_format(format, args);
}
bool stdout_write(const char* bytes, size_t count) {
    return stream_write(bytes, count);
}
bool stdout_flush() {
    return stream_flush();
}
bool stdout_error() {
    return stream_error();
}

// An errno.
int stdout_failure() {
    return stream_failure();
}
const char* failure_text(int failure) {
    return strerror(failure);
}
