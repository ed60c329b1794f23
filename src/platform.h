// What ruvo takes from the system it runs on: the environment and standard
// output. Each platform's folder implements these: src/posix with the C
// library and write(2), src/windows with the wide environment, and a
// console's wide-character interface or the ANSI code page.
#pragma once

// C headers only: with MinGW, a header of the C++ library switches printf to
// MinGW's own copy, and ruvo.exe formats with the runtime's (msvcrt.dll).
#include <stdarg.h>
#include <stddef.h>

// The value of the variable that name names, or nullptr when there is none.
// POSIX matches the name exactly; Windows whatever the case of its letters,
// as Windows finds it, and takes and gives names and values in WTF-8.
const char* environment_value(const char* name);

// Each hands all it is given to the system before it returns, waiting for
// a reader that is slow to take it, and tells whether it succeeded; nothing
// is held back to be written later.
bool stdout_format(const char* format, va_list args);
bool stdout_write(const char* bytes, size_t count);

// Why the last write that failed failed: an errno, or on Windows a Windows
// error code; never 0.
int stdout_failure();
// Tells on standard error, in the system's words, why standard output failed.
void report_failure(int failure);
