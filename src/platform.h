// What ruvo takes from the system it runs on: the environment and standard
// output. Each platform's folder implements these: src/posix with the C
// library, src/windows with the wide environment and, on a console, the
// console's wide-character interface.
#pragma once

// C headers only: see stream_output.h.
#include <stdarg.h>
#include <stddef.h>

// The value of the variable that name names, or nullptr when there is none.
// POSIX matches the name exactly; Windows whatever the case of its letters,
// as Windows finds it, and gives the value in the code page of the texts.
const char* environment_value(const char* name);

// Bytes of the character that text begins with: one, but for the lead byte
// of a double-byte Windows code page (Japanese, Chinese, Korean), whose
// second byte may look like a letter a to z but is none.
size_t character_size(const char* text);

// Each tells whether it succeeded.
bool stdout_format(const char* format, va_list args);
bool stdout_write(const char* bytes, size_t count);
bool stdout_flush();
// The stream's error indicator; a Windows console has none.
bool stdout_error();

// Why the call just made failed: an errno, or on a Windows console a Windows
// error code.
int stdout_failure();
// Tells on standard error, in the system's words, why standard output failed.
void report_failure(int failure);
