// What ruvo takes from the system it runs on, as a POSIX system offers it:
// the environment and standard output of the C library.
#include "platform.h"
#include "texts.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const char* environment_value(const char* name) {
    return getenv(name);
}

// Each output call clears errno first, so that a failure's errno is its own.
bool stdout_format(const char* format, va_list args) {
    errno = 0;
    return vprintf(format, args) >= 0;
}

bool stdout_write(const char* bytes, size_t count) {
    errno = 0;
    return fwrite(bytes, 1, count, stdout) == count;
}

bool stdout_flush() {
    errno = 0;
    return fflush(stdout) == 0;
}

// A short count is not the only sign of a failed write: on a line-buffered
// stream (a terminal) the C library flushes at each newline inside the call,
// and when that flush fails it still reports every byte as written and only
// sets the stream's error indicator.
bool stdout_error() {
    return ferror(stdout) != 0;
}

// An errno.
int stdout_failure() {
    return errno != 0 ? errno : EIO;
}

void report_failure(int failure) {
    fprintf(stderr, write_failure_message, strerror(failure));
}
