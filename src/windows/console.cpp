// Standard output of ruvo.exe. On a console the texts, UTF-8, are turned
// into UTF-16 and written with WriteConsoleW: bytes written to a console are
// read in its OEM code page, which shows every character beyond ASCII wrong
// or not at all. Anywhere else the runtime's stream writes them unchanged.
#include "console.h"
#include "platform.h"
#include "stream_output.h"

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

// A UTF-8 sequence that one write began and the next one ends: its code point
// so far, and how many continuation bytes it still needs.
unsigned long sequence;
int sequence_left;

// A formatted line: the longest name and the words around it.
char formatted[longest_parameter + 256];

// The first failure of the console call under way, a Windows error code; 0
// if none.
int call_failure;

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
// point beyond the planes becomes a surrogate pair. Either takes two units.
void put_code_point(unsigned long code_point) {
    if (pending_count + 2 > pending_capacity)
        write_pending();
    if (code_point == '\n') {
        pending[pending_count++] = L'\r';
    } else if (code_point > 0x10FFFF) {
        code_point = 0xFFFD;
    } else if (code_point > 0xFFFF) {
        code_point -= 0x10000;
        pending[pending_count++] = static_cast<wchar_t>(0xD800 + (code_point >> 10));
        code_point = 0xDC00 + (code_point & 0x3FF);
    }
    pending[pending_count++] = static_cast<wchar_t>(code_point);
}

// A byte that cannot stand where it stands shows as U+FFFD, the replacement
// character, and the text goes on.
void put_byte(unsigned char byte) {
    if (sequence_left > 0) {
        if ((byte & 0xC0) == 0x80) {
            sequence = sequence << 6 | (byte & 0x3F);
            if (--sequence_left == 0)
                put_code_point(sequence);
            return;
        }
        sequence_left = 0;
        put_code_point(0xFFFD);
    }
    if (byte < 0x80) {
        put_code_point(byte);
    } else if (byte >= 0xC2 && byte <= 0xDF) {
        sequence = byte & 0x1F;
        sequence_left = 1;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
        sequence = byte & 0x0F;
        sequence_left = 2;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
        sequence = byte & 0x07;
        sequence_left = 3;
    } else {
        put_code_point(0xFFFD);
    }
}

// Whatever a call has turned into UTF-16 goes out before it returns; only an
// unfinished sequence waits for the next call.
bool console_write(const char* bytes, size_t count) {
    call_failure = 0;
    for (size_t i = 0; i < count; ++i)
        put_byte(static_cast<unsigned char>(bytes[i]));
    if (pending_count > 0)
        write_pending();
    return call_failure == 0;
}
} // namespace

bool console_begin() {
    console = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode;
    console_output = console != INVALID_HANDLE_VALUE && GetConsoleMode(console, &mode) != 0;
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

// A sequence still open at the very end was cut short.
bool stdout_flush() {
    if (!console_output)
        return stream_flush();
    if (sequence_left == 0)
        return true;
    sequence_left = 0;
    return console_write("\xEF\xBF\xBD", 3); // U+FFFD
}

bool stdout_error() {
    return !console_output && stream_error();
}

int stdout_failure() {
    return console_output ? call_failure : stream_failure();
}

// The system's own words for a console failure, without their line end.
const char* failure_text(int failure) {
    if (!console_output)
        return strerror(failure);
    static char text[512];
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(failure), 0, text, sizeof text, nullptr);
    while (length > 0 &&
           (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' '))
        --length;
    if (length == 0)
        length = static_cast<DWORD>(_snprintf(text, sizeof text, "Windows error %d", failure));
    text[length] = '\0';
    return text;
}
