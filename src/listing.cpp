// Variable listing: the value with every semicolon ending a line.
#include "ruvo.h"
#include "texts.h"

#include <cstdlib>
#include <cstring>

namespace {
// The listing is gathered here and written in large pieces: one output call
// per byte would cost several times the work of the whole lookup.
constexpr std::size_t listing_buffer_size = 16384;
char listing_buffer[listing_buffer_size];
std::size_t buffered;

void flush_listing() {
    out_bytes(listing_buffer, buffered);
    buffered = 0;
}

void append(const char* bytes, std::size_t count) {
    while (count > 0) {
        if (buffered == listing_buffer_size)
            flush_listing();
        std::size_t room = listing_buffer_size - buffered;
        std::size_t piece = count < room ? count : room;
        memcpy(listing_buffer + buffered, bytes, piece);
        buffered += piece;
        bytes += piece;
        count -= piece;
    }
}

// A name with "=" names no variable, but the C library's getenv("A=B")
// finds the entry "A=B=C" and would show "C" as the value of "A=B".
const char* look_up(const char* name) {
    return strchr(name, '=') != nullptr ? nullptr : getenv(name);
}

// The last element's line gets its newline only when the value is not empty
// and does not end in a semicolon; otherwise the listing ends in one blank.
char closing_character(const char* value, std::size_t length) {
    return length > 0 && value[length - 1] != ';' ? '\n' : ' ';
}
} // namespace

int list_variable(const char* name) {
    const char* value = look_up(name);
    if (value == nullptr) {
        out_format(not_defined_notice, name);
        out_format("%s", separator_line);
        return status_ok;
    }
    out_format(listing_header, name);
    out_format("%s", separator_line);

    const std::size_t length = strlen(value);
    const char* const end = value + length;
    buffered = 0;
    for (const char* element = value;;) {
        auto* semicolon = static_cast<const char*>(memchr(element, ';', end - element));
        if (semicolon == nullptr) {
            append(element, end - element);
            break;
        }
        append(element, semicolon - element);
        append(element_end, sizeof element_end - 1);
        element = semicolon + 1;
    }
    const char closing = closing_character(value, length);
    append(&closing, 1);
    flush_listing();
    return status_ok;
}
