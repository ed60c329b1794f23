// Standard output and error of ruvo.exe. Its texts are WTF-8. A console takes
// them as UTF-16, through WriteConsoleW: bytes written to a console are read
// in its OEM code page, which shows every character beyond ASCII wrong or not
// at all. A file or a pipe takes them in the ANSI code page, without best
// fit: a character that the code page lacks becomes "?", never a look-alike
// that names another folder ("Łukasz" is not "Lukasz"). Either way each
// newline becomes CR LF, as the runtime's text mode writes it, and a failed
// write is known by the error code of the call that failed.
#include "console.h"
#include "platform.h"
#include "texts.h"

#include <stdio.h>
#include <windows.h>

namespace {
// Where the texts go: standard output, then standard error for the line
// that tells of a failure.
HANDLE target;
bool to_console;
// A pipe in non-blocking mode (PIPE_NOWAIT) takes nothing while its buffer
// is full: ruvo.exe then waits for its reader, as on a blocking pipe.
bool to_pipe;

// UTF-16 waiting to be written. A write of a few thousand characters at a
// time suits every console, the oldest included.
constexpr size_t pending_capacity = 4096;
wchar_t pending[pending_capacity];
size_t pending_count;

// pending in the ANSI code page: a unit takes two bytes at most, or three
// where that code page is UTF-8.
char converted[3 * pending_capacity];

// A formatted line: the longest name and the words around it.
char formatted[longest_parameter + 256];

// The failure of the output call under way, a Windows error code; 0 if
// none.
int call_failure;

// How long to wait for a pipe that took nothing before asking again, in
// milliseconds: short at first, so that a reader that reads loses no time,
// and longer while it does not.
constexpr DWORD longest_wait = 64;

// GetConsoleMode needs the right to read, which a console opened for writing
// only (cmd's "> CON") lacks. Such a handle is a character device that
// WriteConsoleW takes; NUL, the other character device, it refuses. No
// handle at all (INVALID_HANDLE_VALUE, NULL) is neither.
bool is_console(HANDLE handle) {
    DWORD mode, written;
    return GetConsoleMode(handle, &mode) != 0 ||
           (GetFileType(handle) == FILE_TYPE_CHAR &&
            WriteConsoleW(handle, L"", 0, &written, nullptr) != 0);
}

bool failed(DWORD error) {
    call_failure = error != 0 ? static_cast<int>(error) : ERROR_WRITE_FAULT;
    return false;
}

// count units of UTF-16 to a console, or bytes elsewhere. A call that
// succeeds may take only part of them (a non-blocking pipe whose buffer is
// full, a file at its size limit); the rest follows in further calls.
bool write_all(const char* data, DWORD count) {
    const DWORD unit_size = to_console ? sizeof(wchar_t) : 1;
    DWORD wait = 1;
    while (count > 0) {
        DWORD written = 0;
        const BOOL done = to_console ? WriteConsoleW(target, data, count, &written, nullptr)
                                     : WriteFile(target, data, count, &written, nullptr);
        if (!done)
            return failed(GetLastError());
        if (written == 0 && !to_pipe)
            return failed(ERROR_WRITE_FAULT);
        if (written == 0) {
            Sleep(wait);
            wait = wait < longest_wait ? 2 * wait : longest_wait;
            continue;
        }
        wait = 1;
        data += written * unit_size;
        count -= written;
    }
    return true;
}

bool write_pending() {
    const DWORD units = static_cast<DWORD>(pending_count);
    pending_count = 0;
    if (to_console)
        return write_all(reinterpret_cast<const char*>(pending), units);
    // UTF-8 knows no best fit, and takes no flag for it.
    const DWORD no_best_fit = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int bytes = WideCharToMultiByte(CP_ACP, no_best_fit, pending, units, converted,
                                          sizeof converted, nullptr, nullptr);
    return bytes > 0 ? write_all(converted, static_cast<DWORD>(bytes)) : failed(GetLastError());
}

// A code point beyond the BMP becomes a surrogate pair, a newline CR LF:
// either takes two units. A call writes out all it has turned into UTF-16
// before it returns, and stops at a failed write.
bool write_text(const char* bytes, size_t count) {
    call_failure = 0;
    for (size_t i = 0; i < count;) {
        unsigned long code_point;
        i += decode_wtf8(bytes + i, count - i, code_point);
        if (pending_count + 2 > pending_capacity && !write_pending())
            return false;
        if (code_point == '\n')
            pending[pending_count++] = L'\r';
        pending_count += utf16_units(code_point, pending + pending_count);
    }
    return pending_count == 0 || write_pending();
}

// The system's own words for a Windows error code, in WTF-8, without their
// line end.
const char* windows_error_text(int failure) {
    static char text[1024];
    wchar_t wide[sizeof text / 3];
    const DWORD units =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(failure), 0, wide, sizeof text / 3, nullptr);
    size_t length = encode_wtf8(wide, units, text);
    while (length > 0 &&
           (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' '))
        --length;
    if (length == 0)
        length = static_cast<size_t>(_snprintf(text, sizeof text, "Windows error %d", failure));
    text[length] = '\0';
    return text;
}

void write_to(DWORD standard_handle) {
    target = GetStdHandle(standard_handle);
    to_console = is_console(target);
    to_pipe = GetFileType(target) == FILE_TYPE_PIPE;
}
} // namespace

void output_begin() {
    write_to(STD_OUTPUT_HANDLE);
}

bool stdout_format(const char* format, va_list args) {
    const int length = _vsnprintf(formatted, sizeof formatted, format, args);
    if (length < 0) {
        call_failure = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    return write_text(formatted, static_cast<size_t>(length));
}

bool stdout_write(const char* bytes, size_t count) {
    return write_text(bytes, count);
}

// A Windows error code.
int stdout_failure() {
    return call_failure;
}

void report_failure(int failure) {
    const char* reason = windows_error_text(failure);
    write_to(STD_ERROR_HANDLE);
    const int length = _snprintf(formatted, sizeof formatted, write_failure_message, reason);
    write_text(formatted, length > 0 ? static_cast<size_t>(length) : 0);
}
