// Standard output with a memory of its first failure: the run goes on as
// usual after a failed write, and out_finish tells the caller at the end.
// How a write is done and what a failure is called is the platform's own
// (platform.h).
#include "platform.h"
#include "ruvo.h"

#include <string.h>

namespace {
// The first failure of an output call, as the platform numbers it; 0 while
// every write has succeeded.
int first_failure;

// Called right after each output call. The error indicator of a stream stays
// set, so only the call where it first shows says why.
void check_output(bool call_failed) {
    if (first_failure == 0 && (call_failed || stdout_error()))
        first_failure = stdout_failure();
}
} // namespace

void out_begin() {
    first_failure = 0;
}

void out_format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    check_output(!stdout_format(format, args));
    va_end(args);
}

void out_text(const char* text) {
    out_bytes(text, strlen(text));
}

void out_bytes(const char* bytes, size_t count) {
    check_output(!stdout_write(bytes, count));
}

// Flushes standard output; on a failure reports it on standard error and
// returns false.
bool out_finish() {
    check_output(!stdout_flush());
    if (first_failure == 0)
        return true;
    report_failure(first_failure);
    return false;
}
