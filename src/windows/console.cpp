// Standard output of ruvo.exe. On a console the texts, WTF-8, are turned
// into UTF-16 and written with WriteConsoleW: bytes written to a console are
// read in its OEM code page, which shows every character beyond ASCII wrong
// or not at all. Anywhere else the runtime's stream writes them unchanged.
// The line that tells of a failure goes to standard error the same way.
#include "console.h"
#include "platform.h"
#include "stream_output.h"
#include "texts.h"

#include <string.h>
#include <windows.h>

namespace {
HANDLE console;
bool console_output;

// UTF-16 waiting to be written. A write of a few thousand characters at a
// time suits every console, the oldest included.
constexpr size_t pending_capacity = 4096;
wchar_t pending[pending_capacity];
size_t pending_count;

// A formatted line: the longest name and the words around it.
char formatted[longest_parameter + 256];

// The first failure of the console call under way, a Windows error code; 0
// if none.
int call_failure;

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

void write_pending() {
    DWORD written = 0;
    BOOL done =
        WriteConsoleW(console, pending, static_cast<DWORD>(pending_count), &written, nullptr);
    if ((!done || written != pending_count) && call_failure == 0) {
        DWORD error = GetLastError();
        call_failure = error != 0 ? static_cast<int>(error) : ERROR_WRITE_FAULT;
    }
    pending_count = 0;
}

// Each newline becomes CR LF, as the runtime's text mode writes it; a code
// point beyond the BMP becomes a surrogate pair. Either takes two units.
// A call writes out all it has turned into UTF-16 before it returns.
bool console_write(const char* bytes, size_t count) {
    call_failure = 0;
    for (size_t i = 0; i < count;) {
        unsigned long code_point;
        i += decode_wtf8(bytes + i, count - i, code_point);
        if (pending_count + 2 > pending_capacity)
            write_pending();
        if (code_point == '\n')
            pending[pending_count++] = L'\r';
        pending_count += utf16_units(code_point, pending + pending_count);
    }
    if (pending_count > 0)
        write_pending();
    return call_failure == 0;
}

// The system's own words for a Windows error code, in WTF-8 on a console and
// in the ANSI code page elsewhere, without their line end.
const char* windows_error_text(int failure, bool for_console) {
    static char text[1024];
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD code = static_cast<DWORD>(failure);
    size_t length;
    if (for_console) {
        wchar_t wide[sizeof text / 3];
        DWORD units = FormatMessageW(flags, nullptr, code, 0, wide, sizeof text / 3, nullptr);
        length = encode_wtf8(wide, units, text);
    } else {
        length = FormatMessageA(flags, nullptr, code, 0, text, sizeof text, nullptr);
    }
    while (length > 0 &&
           (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' '))
        --length;
    if (length == 0)
        length = static_cast<size_t>(_snprintf(text, sizeof text, "Windows error %d", failure));
    text[length] = '\0';
    return text;
}
} // namespace

bool console_begin() {
    console = GetStdHandle(STD_OUTPUT_HANDLE);
    console_output = is_console(console);
    return console_output;
}

bool on_console() {
    return console_output;
}

bool stdout_format(const char* format, va_list args) {
    if (!console_output)
        return stream_format(format, args);
    int length = _vsnprintf(formatted, sizeof formatted, format, args);
    if (length < 0) {
        call_failure = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    return console_write(formatted, static_cast<size_t>(length));
}

bool stdout_write(const char* bytes, size_t count) {
    return console_output ? console_write(bytes, count) : stream_write(bytes, count);
}

bool stdout_flush() {
    return console_output || stream_flush();
}

bool stdout_error() {
    return !console_output && stream_error();
}

int stdout_failure() {
    return console_output ? call_failure : stream_failure();
}

// On a console output fails with a Windows error code, elsewhere with an
// errno, whose text the runtime gives in English, in ASCII.
void report_failure(int failure) {
    HANDLE error_output = GetStdHandle(STD_ERROR_HANDLE);
    const bool to_console = is_console(error_output);
    const char* text = console_output ? windows_error_text(failure, to_console) : strerror(failure);
    if (!to_console) {
        fprintf(stderr, write_failure_message, text);
        return;
    }
    console = error_output;
    int length = _snprintf(formatted, sizeof formatted, write_failure_message, text);
    console_write(formatted, length > 0 ? static_cast<size_t>(length) : 0);
}
