// Standard output through the C library's stream.
#pragma once

// The C headers, and no header of the C++ library before them: with MinGW,
// any of those switches printf to MinGW's own copy, and ruvo.exe is to print
// through the runtime's (msvcrt.dll) printf like any program built for it.
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>

// Each call clears errno first and tells whether it succeeded.
inline bool stream_format(const char* format, va_list args) {
    errno = 0;
    return vprintf(format, args) >= 0;
}

inline bool stream_write(const char* bytes, size_t count) {
    errno = 0;
    return fwrite(bytes, 1, count, stdout) == count;
}

inline bool stream_flush() {
    errno = 0;
    return fflush(stdout) == 0;
}

// A short count is not the only sign of a failed write: on a line-buffered
// stream (a terminal) the C library flushes at each newline inside the call,
// and when that flush fails it still reports every byte as written and only
// sets the stream's error indicator.
inline bool stream_error() {
    return ferror(stdout) != 0;
}

// Why the call just made failed.
inline int stream_failure() {
    return errno != 0 ? errno : EIO;
}
