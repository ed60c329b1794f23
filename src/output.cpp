// Standard output with a memory of its first failure: the run goes on as
// usual after a failed write, and out_finish tells the caller at the end.
#include "ruvo.h"
#include "texts.h"

// The C headers, and no header of the C++ library before them: with MinGW,
// any of those switches printf to MinGW's own copy, and ruvo.exe is to print
// through the runtime's (msvcrt.dll) printf like any program built for it.
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace {
// errno of the first failed output call; 0 while every write has succeeded.
int first_failure;

void note_failure() {
    if (first_failure == 0)
        first_failure = errno != 0 ? errno : EIO;
}
} // namespace

void out_begin() {
    first_failure = 0;
}

void out_format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    errno = 0;
    if (vprintf(format, args) < 0)
        note_failure();
    va_end(args);
}

void out_text(const char* text) {
    out_bytes(text, strlen(text));
}

void out_bytes(const char* bytes, size_t count) {
    errno = 0;
    if (fwrite(bytes, 1, count, stdout) != count)
        note_failure();
}

// Flushes standard output; on a failure reports it on standard error and
// returns false.
bool out_finish() {
    errno = 0;
    if (fflush(stdout) != 0)
        note_failure();
    if (first_failure == 0)
        return true;
    fprintf(stderr, write_failure_message, strerror(first_failure));
    return false;
}
