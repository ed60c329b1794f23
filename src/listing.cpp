// Variable listing: the value with every semicolon ending a line.
#include "platform.h"
#include "ruvo.h"
#include "texts.h"

#include <cstring>

namespace {
// The listing is gathered here and written in large pieces: one output call
// per byte costs several times what the whole lookup does.
constexpr std::size_t listing_buffer_size = 65536;
char listing_buffer[listing_buffer_size];

// A name with "=" names no variable, but the C library's getenv("A=B")
// finds the entry "A=B=C" and would show "C" as the value of "A=B".
const char* look_up(const char* name) {
    return memchr(name, '=', strlen(name)) != nullptr ? nullptr : environment_value(name);
}

// The last element's line gets its newline only when the value is not empty
// and does not end in a semicolon; otherwise the listing ends in one blank.
char closing_character(const char* value, std::size_t length) {
    return length > 0 && value[length - 1] != ';' ? '\n' : ' ';
}

// Copies the value element by element, each semicolon replaced by
// element_end, then the closing character. An element with its end and one
// byte more always fits in the buffer's free room, or goes out on its own when
// it is longer than the whole buffer; so the closing character always fits.
void write_listing(const char* value, std::size_t length) {
    constexpr std::size_t end_length = sizeof element_end - 1;
    const char* const end = value + length;
    std::size_t used = 0;
    for (const char* element = value; element != end;) {
        auto* semicolon = static_cast<const char*>(memchr(element, ';', end - element));
        std::size_t count = (semicolon != nullptr ? semicolon : end) - element;
        std::size_t ended = semicolon != nullptr ? end_length : 0;
        if (count + ended + 1 > listing_buffer_size - used) {
            out_bytes(listing_buffer, used);
            used = 0;
            if (count + ended + 1 > listing_buffer_size) {
                out_bytes(element, count);
                count = 0;
            }
        }
        memcpy(listing_buffer + used, element, count);
        used += count;
        if (semicolon == nullptr)
            break;
        memcpy(listing_buffer + used, element_end, end_length);
        used += end_length;
        element = semicolon + 1;
    }
    listing_buffer[used++] = closing_character(value, length);
    out_bytes(listing_buffer, used);
}
} // namespace

int list_variable(const char* name) {
    const char* value = look_up(name);
    if (value == nullptr) {
        out_format(not_defined_notice, name);
        out_text(separator_line);
        return status_ok;
    }
    out_format(listing_header, name);
    out_text(separator_line);
    write_listing(value, strlen(value));
    return status_ok;
}
