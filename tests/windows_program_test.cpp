// ruvo.exe as a file: a 32-bit console program that needs nothing beside it
// but what every Windows has.
#include "launcher.h"

#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>

#ifndef RUVO_OBJDUMP
#define RUVO_OBJDUMP "i686-w64-mingw32-objdump"
#endif

namespace {
class windows_program_file : public program_test {
  protected:
    // Needs the file only, not Wine.
    void SetUp() override {
        if (!on_windows())
            GTEST_SKIP() << "checks ruvo.exe: run with RUVO_TARGET=windows";
        const bool built = access(windows_program(), R_OK) == 0;
        skip_when_missing(built ? "" : std::string("ruvo.exe is not at ") + windows_program());
    }
};

// What objdump -p says of the file: its headers and its import table.
std::string private_headers(const std::string& file) {
    std::string text;
    FILE* pipe = popen((std::string(RUVO_OBJDUMP) + " -p '" + file + "'").c_str(), "r");
    if (pipe == nullptr)
        return text;
    char chunk[4096];
    for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        text.append(chunk, n);
    EXPECT_EQ(pclose(pipe), 0) << RUVO_OBJDUMP << " failed";
    return text;
}

std::set<std::string> imported_dlls(const std::string& headers) {
    const std::string tag = "DLL Name: ";
    std::set<std::string> dlls;
    for (std::size_t at = headers.find(tag); at != std::string::npos; at = headers.find(tag, at)) {
        at += tag.size();
        dlls.insert(headers.substr(at, headers.find('\n', at) - at));
    }
    return dlls;
}

TEST_F(windows_program_file, is_a_32_bit_console_program) {
    const std::string headers = private_headers(windows_program());
    const char* const facts[] = {
        "file format pei-i386",                 // x86
        "Magic\t\t\t010b\t(PE32)",              // 32-bit
        "Subsystem\t\t00000003\t(Windows CUI)", // console
        "  vprintf\n", // formats with the runtime's printf, not a copy linked in
    };
    for (const char* fact : facts)
        EXPECT_NE(headers.find(fact), std::string::npos) << "missing: " << fact << "\n" << headers;
}

// No DLL of the compiler (libgcc, libstdc++, winpthread) has to travel with it.
TEST_F(windows_program_file, imports_only_kernel32_and_msvcrt) {
    const std::set<std::string> expected{"KERNEL32.dll", "msvcrt.dll"};
    EXPECT_EQ(imported_dlls(private_headers(windows_program())), expected);
}
} // namespace
