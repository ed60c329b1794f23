// What ruvo.exe's own files share beside the platform interface. Names and
// values come from the wide command line and the wide environment and travel
// through ruvo as WTF-8, in every run; only what is written is converted: to
// UTF-16 for a console, to the ANSI code page for a file or a pipe.
#pragma once

#include <stddef.h>

// Room for the longest parameter in WTF-8: a command line holds at most
// 32767 UTF-16 units (the length of a UNICODE_STRING), three bytes each at
// most.
constexpr size_t longest_unit_count = 32767;
constexpr size_t longest_parameter = 3 * longest_unit_count;

// Looks at standard output once, before the run.
void output_begin();

// The runtime's own way out when memory runs short, as its start-up ends
// when the arguments (8) or the environment (9) do not fit: a "runtime
// error" line and status 255.
extern "C" void __cdecl _amsg_exit(int error);

// WTF-8 (wtf8.cpp). decode_wtf8 reads the character at bytes, count > 0 of
// them there, and returns its length; a byte that begins no character, or a
// character cut short, is U+FFFD. utf16_units stores a code point as one or
// two units and returns how many. encode_wtf8 stores at most three bytes a
// unit and returns how many.
size_t decode_wtf8(const char* bytes, size_t count, unsigned long& code_point);
size_t utf16_units(unsigned long code_point, wchar_t* units);
size_t encode_wtf8(const wchar_t* units, size_t count, char* bytes);
