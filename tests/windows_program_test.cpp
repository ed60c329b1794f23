// ruvo.exe as a file: a 32-bit console program that needs nothing beside it
// but what every Windows has.
#include "launcher.h"

#include <unistd.h>

#include <cstdint>
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

std::string contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A string of the version resource: its key in UTF-16 and a NUL, padding
// (NULs) up to a 32-bit boundary, and the value, up to its NUL. The keys and
// the values here are ASCII.
std::string version_string(const std::string& file, const std::string& key) {
    std::string utf16_key;
    for (char c : key)
        utf16_key += {c, '\0'};
    std::size_t at = file.find(utf16_key + std::string(2, '\0'));
    if (at == std::string::npos)
        return "(" + key + " is missing)";
    for (at += utf16_key.size() + 2; at + 1 < file.size() && file[at] == '\0'; at += 2) {
    }
    std::string value;
    for (; at + 1 < file.size() && file[at] != '\0'; at += 2)
        value += file[at];
    return value;
}

std::uint32_t little_endian(const std::string& file, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(file[at + i]);
    return value;
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
// it, it formats with the runtime's printf (vprintf), not a copy linked in,
// and every function it takes from Windows has been there since Windows XP:
// a new one joins this list once it has been checked.
TEST_F(windows_program_file, imports_only_what_windows_xp_has) {
    const std::map<std::string, std::set<std::string>> expected{
        {"KERNEL32.dll",
         {"DeleteCriticalSection",
          "EnterCriticalSection",
          "FormatMessageA",
          "FreeEnvironmentStringsW",
          "FreeLibrary",
          "GetConsoleMode",
          "GetEnvironmentStringsW",
          "GetLastError",
          "GetModuleHandleA",
          "GetProcAddress",
          "GetStartupInfoA",
          "GetStdHandle",
          "InitializeCriticalSection",
          "LCMapStringW",
          "LeaveCriticalSection",
          "LoadLibraryA",
          "MultiByteToWideChar",
          "SetUnhandledExceptionFilter",
          "Sleep",
          "TlsGetValue",
          "VirtualProtect",
          "VirtualQuery",
          "WideCharToMultiByte",
          "WriteConsoleW"}},
        {"msvcrt.dll",
         {"__getmainargs",
          "__initenv",
          "__p__acmdln",
          "__p__commode",
          "__p__fmode",
          "__set_app_type",
          "__setusermatherr",
          "__wgetmainargs",
          "_amsg_exit",
          "_cexit",
          "_errno",
          "_initterm",
          "_iob",
          "_onexit",
          "_snprintf",
          "_vsnprintf",
          "abort",
          "calloc",
          "exit",
          "ferror",
          "fflush",
          "fprintf",
          "free",
          "fwrite",
          "getenv",
          "malloc",
          "memchr",
          "memcpy",
          "signal",
          "strerror",
          "strlen",
          "strncmp",
          "toupper",
          "vfprintf",
          "vprintf",
          "wcschr",
          "wcslen"}},
    };
    EXPECT_EQ(imports(private_headers(windows_program())), expected);
}

// The properties Windows shows of the file: the version of project() in the
// fixed part of its version resource and in its strings, and the copyright
// line of LICENSE.
TEST_F(windows_program_file, carries_its_version) {
    const std::string file = contents(windows_program());
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(RUVO_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    // After the fixed part's signature and its own version: the file's and
    // the product's version, each as two 32-bit halves.
    const std::size_t fixed = file.find("\xbd\x04\xef\xfe");
    ASSERT_NE(fixed, std::string::npos) << "no version resource";
    for (std::size_t half : {8, 16}) {
        EXPECT_EQ(little_endian(file, fixed + half), major << 16 | minor);
        EXPECT_EQ(little_endian(file, fixed + half + 4), patch << 16);
    }
    std::string copyright;
    std::istringstream licence(contents(RUVO_LICENSE));
    while (std::getline(licence, copyright) && copyright.rfind("Copyright ", 0) != 0) {
    }
    const std::pair<const char*, std::string> fields[] = {
        {"FileVersion", RUVO_VERSION}, {"ProductVersion", RUVO_VERSION},
        {"ProductName", "ruvo"},       {"FileDescription", RUVO_DESCRIPTION},
        {"LegalCopyright", copyright}, {"OriginalFilename", "ruvo.exe"},
    };
    for (const auto& [key, value] : fields)
        EXPECT_EQ(version_string(file, key), value) << key;
}
} // namespace
