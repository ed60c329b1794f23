// Process entry of ruvo.exe. The runtime's start-up hands main the command
// line in the ANSI code page, where best fit has made a character that the
// code page lacks "?" or a look-alike: "Łodz" is "Lodz", and a full-width
// quotation mark a quotation mark, which can even change the count of
// parameters. ruvo takes the count and the name from the wide command line
// instead, in every run, as WTF-8.
#include "console.h"
#include "ruvo.h"

#include <wchar.h>

extern "C" {
// MinGW's start-up expands wildcard patterns of the narrow command line
// unless the program says no. ruvo reads the wide one, unexpanded, so that a
// parameter such as "*" reaches it as typed: the expansion would only search
// the folder for nothing.
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
char program[] = "ruvo";
char name[longest_parameter + 1];
} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = nullptr;
    wchar_t** env = nullptr;
    wide_startup_info info{0};
    if (__wgetmainargs(&argc, &argv, &env, 0, &info) < 0)
        _amsg_exit(8);
    // ruvo_main reads element 1 only when there is exactly one parameter.
    char* wtf8_argv[] = {program, name, nullptr};
    if (argc == 2) {
        const size_t units = wcslen(argv[1]);
        name[encode_wtf8(argv[1], units < longest_unit_count ? units : longest_unit_count, name)] =
            '\0';
    }
    output_begin();
    return ruvo_main(argc, wtf8_argv);
}
