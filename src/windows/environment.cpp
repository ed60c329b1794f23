// The environment lookup of ruvo.exe, as Windows does it (cmd's %NAME%
// included): in the wide environment, with the letters of names matched
// whatever their case, beyond ASCII too. The runtime's getenv folds only A to
// Z, so "über" would miss "ÜBER". Name and value are WTF-8.
#include "console.h"
#include "platform.h"

#include <string.h>
#include <windows.h>

namespace {
wchar_t wanted[longest_parameter];

// Room for any value that a program can set (32767 units), as WTF-8.
constexpr size_t value_capacity = 3 * 32768;
char value[value_capacity];

// Upper case as Windows compares names: one UTF-16 unit at a time, in no
// language's particular rules.
wchar_t upper_case(wchar_t unit) {
    wchar_t upper = unit;
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &unit, 1, &upper, 1);
    return upper;
}

bool same_name(const wchar_t* a, const wchar_t* b, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (a[i] != b[i] && upper_case(a[i]) != upper_case(b[i]))
            return false;
    return true;
}

// The value of the first entry whose name matches, or nullptr. The entries
// that keep cmd's current folder of each drive ("=C:=C:\...") have an empty
// name here, and no name that ruvo looks up holds "=".
const wchar_t* find(const wchar_t* environment, const wchar_t* name, size_t length) {
    for (const wchar_t* entry = environment; *entry != L'\0'; entry += wcslen(entry) + 1) {
        const wchar_t* equals = wcschr(entry, L'=');
        if (equals != nullptr && static_cast<size_t>(equals - entry) == length &&
            same_name(entry, name, length))
            return equals + 1;
    }
    return nullptr;
}

// The name in UTF-16, and its length; 0 for a name too long for any command
// line. A unit never takes more than the bytes it came from.
size_t wide_name(const char* name) {
    const size_t bytes = strlen(name);
    if (bytes > longest_parameter)
        return 0;
    size_t length = 0;
    for (size_t i = 0; i < bytes;) {
        unsigned long code_point;
        i += decode_wtf8(name + i, bytes - i, code_point);
        length += utf16_units(code_point, wanted + length);
    }
    return length;
}

// found as WTF-8. A block that a parent hands over may hold a value far
// longer than any a program can set: for such a value ruvo.exe asks Windows
// for exactly the memory it needs, once, and keeps it to the end of the run.
// Should Windows refuse it, the run ends as the runtime's own start-up ends
// when the environment does not fit (R6009).
const char* converted(const wchar_t* found) {
    const size_t units = wcslen(found);
    const size_t size = 3 * units + 1;
    char* text = value;
    if (size > value_capacity)
        text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (text == nullptr)
        _amsg_exit(9);
    text[encode_wtf8(found, units, text)] = '\0';
    return text;
}
} // namespace

const char* environment_value(const char* name) {
    const size_t length = wide_name(name);
    if (length == 0)
        return nullptr; // empty: no variable has that name
    wchar_t* environment = GetEnvironmentStringsW();
    if (environment == nullptr)
        return nullptr;
    const wchar_t* found = find(environment, wanted, length);
    const char* result = found != nullptr ? converted(found) : nullptr;
    FreeEnvironmentStringsW(environment);
    return result;
}
