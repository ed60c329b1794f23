// Process entry of ruvo.exe. The runtime's start-up hands main the command
// line in the ANSI code page, where a character that the code page lacks has
// become "?". That is what redirected output holds anyway; on a console, the
// name comes from the wide command line instead, as WTF-8.
#include "console.h"
#include "ruvo.h"

#include <wchar.h>
#include <windows.h>

extern "C" {
// MinGW's start-up expands wildcard patterns of the command line unless the
// program says no; a parameter such as "*" must reach ruvo as typed.
int _dowildcard = 0;

// msvcrt.dll's own splitting of the wide command line, the same rules as the
// narrow one that main receives.
struct wide_startup_info {
    int new_mode;
};
int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expand_wildcards,
                   wide_startup_info* info);
}

namespace {
char name[longest_parameter];
} // namespace

int main(int argc, char** argv) {
    if (!console_begin())
        return ruvo_main(argc, argv);
    int wide_argc = 0;
    wchar_t** wide_argv = nullptr;
    wchar_t** wide_env = nullptr;
    wide_startup_info info{0};
    if (__wgetmainargs(&wide_argc, &wide_argv, &wide_env, 0, &info) < 0)
        return ruvo_main(argc, argv);
    // ruvo_main reads element 1 only when there is exactly one parameter.
    // Only a parameter no command line can hold fails to fit.
    char* wtf8_argv[] = {argv[0], name, nullptr};
    if (wide_argc == 2) {
        const size_t units = wcslen(wide_argv[1]);
        if (3 * units >= sizeof name)
            return ruvo_main(argc, argv);
        name[encode_wtf8(wide_argv[1], units, name)] = '\0';
    }
    return ruvo_main(wide_argc, wtf8_argv);
}
