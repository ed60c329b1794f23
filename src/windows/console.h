// What ruvo.exe's own files share beside the platform interface. When
// standard output is a console, every text goes to it through the console's
// wide-character interface, and names and values travel through ruvo as
// WTF-8, so that each character shows as itself. Otherwise ruvo.exe writes
// the runtime's narrow strings, in the ANSI code page, as any program built
// for msvcrt.dll does.
#pragma once

#include <stddef.h>

// Room for the longest parameter, in UTF-8 bytes or UTF-16 units: Windows
// keeps a command line to 32767 UTF-16 units (up to three bytes each), and
// Linux hands Wine no parameter of 128 KiB or more.
constexpr size_t longest_parameter = 131072;

// Looks at standard output once, before the run; true when it is a console.
bool console_begin();

// True when standard output is a console: texts are then WTF-8.
bool on_console();

// WTF-8 (wtf8.cpp). decode_wtf8 reads the character at bytes, count > 0 of
// them there, and returns its length; a byte that begins no character, or a
// character cut short, is U+FFFD. utf16_units stores a code point as one or
// two units and returns how many. encode_wtf8 stores at most three bytes a
// unit and returns how many.
size_t decode_wtf8(const char* bytes, size_t count, unsigned long& code_point);
size_t utf16_units(unsigned long code_point, wchar_t* units);
size_t encode_wtf8(const wchar_t* units, size_t count, char* bytes);
