// ruvo.exe as a file: a 32-bit console program that needs nothing beside it
// but what every Windows has.
#include "launcher.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

#ifndef RUVO_OBJDUMP
#define RUVO_OBJDUMP "i686-w64-mingw32-objdump"
#define RUVO_VERSION ""
#define RUVO_DESCRIPTION ""
#define RUVO_LICENSE ""
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

// Each DLL of the import table with the functions taken from it: objdump
// lists them under "DLL Name:", one a line, hint number before the name.
std::map<std::string, std::set<std::string>> imports(const std::string& headers) {
    std::map<std::string, std::set<std::string>> table;
    std::istringstream lines(headers);
    std::set<std::string>* functions = nullptr;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t tag = line.find("DLL Name: ");
        std::istringstream words(line);
        std::string address, hint, name;
        if (tag != std::string::npos)
            functions = &table[line.substr(tag + 10)];
        else if (line.empty())
            functions = nullptr;
        else if (functions != nullptr && words >> address >> hint >> name &&
                 hint.find_first_not_of("0123456789") == std::string::npos)
            functions->insert(name);
    }
    return table;
}

std::set<std::string> words(const std::string& text) {
    std::istringstream stream(text);
    return {std::istream_iterator<std::string>(stream), std::istream_iterator<std::string>()};
}

TEST_F(windows_program_file, is_a_32_bit_console_program) {
    const std::string headers = private_headers(windows_program());
    const char* const facts[] = {
        "file format pei-i386",                 // x86
        "Magic\t\t\t010b\t(PE32)",              // 32-bit
        "Subsystem\t\t00000003\t(Windows CUI)", // console
    };
    for (const char* fact : facts)
        EXPECT_NE(headers.find(fact), std::string::npos) << "missing: " << fact << "\n" << headers;
}

// No DLL of the compiler (libgcc, libstdc++, winpthread) has to travel with
// it, it formats with the runtime's _vsnprintf, not a copy linked in, and
// every function it takes from Windows has been there since Windows XP: a
// new one joins this list once it has been checked.
TEST_F(windows_program_file, imports_only_what_windows_xp_has) {
    const std::map<std::string, std::set<std::string>> expected{
        {"KERNEL32.dll", words("DeleteCriticalSection EnterCriticalSection FormatMessageW "
                               "FreeEnvironmentStringsW FreeLibrary GetACP GetConsoleMode "
                               "GetEnvironmentStringsW GetFileType GetLastError GetModuleHandleA "
                               "GetProcAddress GetProcessHeap GetStartupInfoA GetStdHandle "
                               "HeapAlloc InitializeCriticalSection LCMapStringW "
                               "LeaveCriticalSection LoadLibraryA SetUnhandledExceptionFilter "
                               "Sleep TlsGetValue VirtualProtect VirtualQuery WideCharToMultiByte "
                               "WriteConsoleW WriteFile")},
        {"msvcrt.dll", words("__getmainargs __initenv __p__acmdln __p__commode __p__fmode "
                             "__set_app_type __setusermatherr __wgetmainargs _amsg_exit _cexit "
                             "_initterm _iob _onexit _snprintf _vsnprintf abort calloc exit "
                             "fprintf free fwrite malloc memchr memcpy signal strlen strncmp "
                             "toupper vfprintf wcschr wcslen")},
    };
    std::map<std::string, std::set<std::string>> imported =
        imports(private_headers(windows_program()));
    for (const auto& dll : expected)
        imported[dll.first]; // a listed DLL not imported at all
    for (const auto& [dll, functions] : imported) {
        const std::set<std::string> listed =
            expected.count(dll) ? expected.at(dll) : std::set<std::string>{};
        std::string extra, missing;
        for (const std::string& f : functions)
            extra += listed.count(f) ? "" : " " + f;
        for (const std::string& f : listed)
            missing += functions.count(f) ? "" : " " + f;
        EXPECT_TRUE(extra.empty() && missing.empty())
            << dll << ": imported, not listed:" << extra << "; listed, not imported:" << missing;
    }
}

// The properties Windows shows of the file, as version.dll reads them: the
// version of project() in the fixed part of its version resource, a
// released application for Windows NT, and in its strings under the file's
// own translation, and the copyright line of LICENSE. A resource of the wrong id, or strings under
// another translation, show nothing there.
class version_resource : public program_test {};

TEST_F(version_resource, shows_in_windows_properties) {
    if (!on_windows())
        GTEST_SKIP() << "reads ruvo.exe under Wine: run with RUVO_TARGET=windows";
    if (IsSkipped() || HasFailure())
        return;
    std::ifstream licence(RUVO_LICENSE);
    std::string copyright;
    while (std::getline(licence, copyright) && copyright.rfind("Copyright ", 0) != 0) {
    }
    const std::string version = RUVO_VERSION, four_part = version + ".0";
    EXPECT_EQ(read_version_resource(windows_program()),
              "fixed=" + four_part + " " + four_part + " flags=0 os=40004 type=1" +
                  "\nFileDescription=" RUVO_DESCRIPTION "\nFileVersion=" + version +
                  "\nInternalName=ruvo\nLegalCopyright=" + copyright +
                  "\nOriginalFilename=ruvo.exe\nProductName=ruvo\nProductVersion=" + version +
                  "\n");
}
} // namespace
