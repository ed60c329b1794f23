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

// Called right after each output call, with errno cleared before it. A short
// count is not the only sign of a failed write: on a line-buffered stream (a
// terminal) the C library flushes at each newline inside the call, and when
// that flush fails it still reports every byte as written and only sets the
// stream's error indicator. The indicator stays set, so only the call where
// it first shows reads errno.
void check_output(bool call_failed) {
    if (first_failure == 0 && (call_failed || ferror(stdout)))
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
    check_output(vprintf(format, args) < 0);
    va_end(args);
}

void out_text(const char* text) {
    out_bytes(text, strlen(text));
}

void out_bytes(const char* bytes, size_t count) {
    errno = 0;
    check_output(fwrite(bytes, 1, count, stdout) != count);
}

// Flushes standard output; on a failure reports it on standard error and
// returns false.
bool out_finish() {
    errno = 0;
    check_output(fflush(stdout) != 0);
    if (first_failure == 0)
        return true;
    fprintf(stderr, write_failure_message, strerror(first_failure));
    return false;
}
