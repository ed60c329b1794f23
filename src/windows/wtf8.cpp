// WTF-8: UTF-8 that also carries a UTF-16 unit that is half of no pair (a
// lone surrogate) as the three bytes UTF-8 would give its number. Windows
// lets names and values hold such units, and a console shows them; between
// the wide environment or command line and the console, ruvo.exe carries
// them in WTF-8, so that each unit comes out as it went in.
#include "console.h"

size_t decode_wtf8(const char* bytes, size_t count, unsigned long& code_point) {
    const unsigned char lead = static_cast<unsigned char>(bytes[0]);
    size_t length = 1;
    code_point = lead;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code_point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code_point = lead & 0x07;
    } else if (lead >= 0x80) {
        code_point = 0xFFFD;
        return 1;
    }
    for (size_t i = 1; i < length; ++i) {
        if (i >= count || (static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80) {
            code_point = 0xFFFD;
            return i;
        }
        code_point = code_point << 6 | (bytes[i] & 0x3F);
    }
    return code_point > 0x10FFFF ? (code_point = 0xFFFD, length) : length;
}

size_t utf16_units(unsigned long code_point, wchar_t* units) {
    if (code_point <= 0xFFFF) {
        units[0] = static_cast<wchar_t>(code_point);
        return 1;
    }
    code_point -= 0x10000;
    units[0] = static_cast<wchar_t>(0xD800 + (code_point >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + (code_point & 0x3FF));
    return 2;
}

size_t encode_wtf8(const wchar_t* units, size_t count, char* bytes) {
    size_t length = 0;
    for (size_t i = 0; i < count; ++i) {
        unsigned long code_point = units[i];
        // A high surrogate and a low one make one code point beyond the BMP.
        if (code_point >= 0xD800 && code_point <= 0xDBFF && i + 1 < count &&
            units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
            code_point = 0x10000 + ((code_point - 0xD800) << 10) + (units[++i] - 0xDC00);
        int continuation = code_point < 0x80      ? 0
                           : code_point < 0x800   ? 1
                           : code_point < 0x10000 ? 2
                                                  : 3;
        const unsigned char lead_bits[] = {0x00, 0xC0, 0xE0, 0xF0};
        bytes[length++] =
            static_cast<char>(lead_bits[continuation] | code_point >> (6 * continuation));
        while (continuation-- > 0)
            bytes[length++] = static_cast<char>(0x80 | ((code_point >> (6 * continuation)) & 0x3F));
    }
    return length;
}
