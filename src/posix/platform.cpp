// What ruvo takes from the system it runs on, as a POSIX system offers it:
// the environment and standard output of the C library.
#include "platform.h"
#include "stream_output.h"
#include "texts.h"

#include <stdlib.h>
#include <string.h>

const char* environment_value(const char* name) {
    return getenv(name);
}

// The C locale is never left: every character is one byte.
size_t character_size(const char*) {
    return 1;
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

void report_failure(int failure) {
    fprintf(stderr, write_failure_message, strerror(failure));
}
