// What ruvo takes from the system it runs on, as a POSIX system offers it:
// the environment of the C library, and standard output written with
// write(2). The C library's stream gives up on a descriptor that a parent
// left non-blocking as soon as a write would block, and drops what it held:
// a slow reader would get part of the listing.
#include "platform.h"
#include "texts.h"

#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {
// Room for a formatted line with any name that a run is usually given; a
// longer one is formatted in memory of its own.
char formatted[4096];

// The errno of the call that failed.
int last_failure;

// Waits, without using the processor, until standard output takes data.
bool wait_until_writable() {
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    int ready;
    while ((ready = poll(&out, 1, -1)) < 0 && errno == EINTR) {
    }
    return ready > 0;
}

// A call may take only part of what it is given (a pipe, a file at its size
// limit, a signal); the rest follows in further calls.
bool write_all(const char* bytes, size_t count) {
    while (count > 0) {
        const ssize_t written = write(STDOUT_FILENO, bytes, count);
        if (written > 0) {
            bytes += written;
            count -= static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && wait_until_writable())
            continue;
        last_failure = written == 0 ? EIO : errno;
        return false;
    }
    return true;
}
} // namespace

const char* environment_value(const char* name) {
    return getenv(name);
}

bool stdout_format(const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    const int length = vsnprintf(formatted, sizeof formatted, format, args);
    char* text = formatted;
    if (length >= static_cast<int>(sizeof formatted)) {
        text = static_cast<char*>(malloc(static_cast<size_t>(length) + 1));
        if (text != nullptr)
            vsnprintf(text, static_cast<size_t>(length) + 1, format, again);
    }
    va_end(again);
    if (length < 0 || text == nullptr) {
        last_failure = length < 0 ? errno : ENOMEM;
        return false;
    }
    const bool written = write_all(text, static_cast<size_t>(length));
    if (text != formatted)
        free(text);
    return written;
}

bool stdout_write(const char* bytes, size_t count) {
    return write_all(bytes, count);
}

// An errno.
int stdout_failure() {
    return last_failure;
}

void report_failure(int failure) {
    fprintf(stderr, write_failure_message, strerror(failure));
}
