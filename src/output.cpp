// Standard output with a memory of its first failure. Once a write has
// failed, nothing more is written: what the reader got is the start of the
// output, never one with a hole in it. out_finish tells the caller at the
// end. How a write is done and what a failure is called is the platform's
// own (platform.h).
#include "platform.h"
#include "ruvo.h"

#include <string.h>

namespace {
// The first failure of an output call, as the platform numbers it; 0 while
// every write has succeeded.
int first_failure;

void check_output(bool written) {
    if (!written)
        first_failure = stdout_failure();
}
} // namespace

void out_begin() {
    first_failure = 0;
}

void out_format(const char* format, ...) {
    if (first_failure != 0)
        return;
    va_list args;
    va_start(args, format);
    check_output(stdout_format(format, args));
    va_end(args);
}

void out_text(const char* text) {
    out_bytes(text, strlen(text));
}

void out_bytes(const char* bytes, size_t count) {
    if (first_failure == 0)
        check_output(stdout_write(bytes, count));
}

bool out_finish() {
    if (first_failure == 0)
        return true;
    report_failure(first_failure);
    return false;
}
