// The environment lookup of ruvo.exe, as Windows does it (cmd's %NAME%
// included): in the wide environment, with the letters of names matched
// whatever their case, beyond ASCII too. The runtime's getenv folds only A to
// Z, so "über" would miss "ÜBER". The value comes in the code page of the
// texts: UTF-8 on a console; otherwise the ANSI code page, converted as the
// runtime converts its own narrow environment, so that its bytes are the
// ones getenv would give.
#include "console.h"
#include "platform.h"

#include <stdlib.h>
#include <string.h>
#include <windows.h>

namespace {
wchar_t wanted[longest_parameter];

// Windows lets a program set at most 32767 units of value, and Linux hands
// Wine at most 128 KiB of "NAME=VALUE": either fits, as UTF-8 or in the ANSI
// code page.
constexpr int value_capacity = 3 * 65536;
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

// The value of the first entry whose name matches, or nullptr. A name may
// begin with "=" (cmd keeps the current folder of each drive so), so its own
// "=" is looked for from its second character on.
const wchar_t* find(const wchar_t* environment, const wchar_t* name, size_t length) {
    for (const wchar_t* entry = environment; *entry != L'\0'; entry += wcslen(entry) + 1) {
        const wchar_t* equals = wcschr(entry + 1, L'=');
        if (equals != nullptr && static_cast<size_t>(equals - entry) == length &&
            same_name(entry, name, length))
            return equals + 1;
    }
    return nullptr;
}
} // namespace

const char* environment_value(const char* name) {
    const UINT code_page = on_console() ? CP_UTF8 : CP_ACP;
    int length = MultiByteToWideChar(code_page, 0, name, -1, wanted, longest_parameter) - 1;
    if (length <= 0)
        return nullptr; // empty: no variable has that name
    wchar_t* environment = GetEnvironmentStringsW();
    if (environment == nullptr)
        return nullptr;
    const wchar_t* found = find(environment, wanted, static_cast<size_t>(length));
    const char* result = nullptr;
    if (found != nullptr) {
        result = value;
        // Longer than any value Windows lets a program set: the runtime's
        // own copy, in the ANSI code page, rather than a part of it.
        if (WideCharToMultiByte(code_page, 0, found, -1, value, value_capacity, nullptr, nullptr) ==
            0)
            result = getenv(name);
    }
    FreeEnvironmentStringsW(environment);
    return result;
}
