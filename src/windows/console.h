// What ruvo.exe takes from Windows. When standard output is a console, every
// text goes to it through the console's wide-character interface, and names
// and values travel through ruvo as UTF-8, so that each character shows as
// itself. Otherwise ruvo.exe writes the runtime's narrow strings, in the
// ANSI code page, as any program built for msvcrt.dll does.
#pragma once

#include <stddef.h>

// Room for the longest parameter, in UTF-8 bytes or UTF-16 units: Windows
// keeps a command line to 32767 UTF-16 units (up to three bytes each), and
// Linux hands Wine no parameter of 128 KiB or more.
constexpr size_t longest_parameter = 131072;

// Looks at standard output once, before the run; true when it is a console.
bool console_begin();

// True when standard output is a console: texts are then UTF-8.
bool on_console();
