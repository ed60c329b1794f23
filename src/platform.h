// What ruvo takes from the system it runs on: the environment and standard
// output. Each platform's folder implements these: src/posix with the C
// library, src/windows with the wide environment, and a console's
// wide-character interface or the ANSI code page.
#pragma once

// C headers only: with MinGW, a header of the C++ library switches printf to
// MinGW's own copy, and ruvo.exe formats with the runtime's (msvcrt.dll).
#include <stdarg.h>
#include <stddef.h>

// The value of the variable that name names, or nullptr when there is none.
// POSIX matches the name exactly; Windows whatever the case of its letters,
// as Windows finds it, and takes and gives names and values in WTF-8.
const char* environment_value(const char* name);

// Each tells whether it succeeded.
bool stdout_format(const char* format, va_list args);
bool stdout_write(const char* bytes, size_t count);
bool stdout_flush();
// The stream's error indicator; Windows writes have none.
bool stdout_error();

// Why the call just made failed: an errno, or on Windows a Windows error
// code.
int stdout_failure();
// Tells on standard error, in the system's words, why standard output failed.
void report_failure(int failure);
