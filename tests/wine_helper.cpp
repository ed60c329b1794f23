// The parent that the tests give ruvo.exe under Wine, built for Windows. It
// starts ruvo.exe as a Windows program is started, with CreateProcessW and an
// environment block of its own, so that names and values reach ruvo.exe as
// UTF-16 exactly as written (beyond ASCII, longer than SetEnvironmentVariable
// takes, with lone surrogates), and standard output and error where a row
// asks. It also reads back what a console holds, and reads a file's version
// resource as Windows shows it.
//
//   wine_helper [--out=con|nul|input|nowait] [--err=con] [--cells=FILE] REQUEST
//   wine_helper --version FILE
//
// REQUEST holds NUL-ended strings in WTF-8 (UTF-8 that also carries lone
// surrogates): the count of the argument vector, the vector (the program
// first), then NAME=VALUE settings, which come first in the block. The
// helper exits with the program's status. --out=nowait gives ruvo.exe a
// byte-mode pipe in non-blocking mode (PIPE_NOWAIT) with a buffer of 4 KiB,
// whose reader starts 1 s late and passes on what it reads. --cells
// turns the console's processed output off, then writes its rows up to the
// cursor to FILE, in WTF-8, blanks at row ends left out.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <windows.h>

namespace {
std::wstring from_wtf8(const std::string& bytes) {
    std::wstring units;
    for (size_t i = 0; i < bytes.size();) {
        unsigned char lead = bytes[i];
        int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        unsigned long code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < bytes.size(); ++k)
            code = code << 6 | (bytes[i + k] & 0x3F);
        i += extra + 1;
        if (code > 0xFFFF) {
            units += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            code = 0xDC00 + (code & 0x3FF);
        }
        units += static_cast<wchar_t>(code);
    }
    return units;
}

std::string to_wtf8(const wchar_t* units, size_t count) {
    std::string bytes;
    for (size_t i = 0; i < count; ++i) {
        unsigned long code = units[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
        if (code < 0x80) {
            bytes += static_cast<char>(code);
            continue;
        }
        int extra = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
        bytes += static_cast<char>((0xFF << (7 - extra) & 0xFF) | code >> (6 * extra));
        while (extra-- > 0)
            bytes += static_cast<char>(0x80 | ((code >> (6 * extra)) & 0x3F));
    }
    return bytes;
}

// As the runtime's start-up splits a command line back into its vector.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring text = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    return text.append(2 * backslashes, L'\\') + L"\"";
}

HANDLE opened(const wchar_t* device) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    return CreateFileW(device, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                       OPEN_EXISTING, 0, nullptr);
}

// The pipe's write end, inheritable, non-blocking; reader is its read end.
HANDLE nowait_pipe(HANDLE& reader) {
    wchar_t name[64];
    swprintf(name, 64, L"\\\\.\\pipe\\ruvo-%lu", GetCurrentProcessId());
    reader = CreateNamedPipeW(name, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096,
                              0, nullptr);
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE writer = CreateFileW(name, GENERIC_WRITE, 0, &inherited, OPEN_EXISTING, 0, nullptr);
    DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
    if (reader == INVALID_HANDLE_VALUE || writer == INVALID_HANDLE_VALUE ||
        !SetNamedPipeHandleState(writer, &mode, nullptr, nullptr))
        exit(125);
    return writer;
}

// Reads the pipe to its end, late, onto standard output as it is.
void pass_on(HANDLE reader) {
    Sleep(1000);
    char chunk[4096];
    DWORD read = 0, written = 0;
    while (ReadFile(reader, chunk, sizeof chunk, &read, nullptr) && read > 0)
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), chunk, read, &written, nullptr);
}

void write_cells(const char* file) {
    HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(console, &info))
        exit(125);
    std::wstring row(info.dwSize.X, L' ');
    std::string text;
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        DWORD read = 0;
        ReadConsoleOutputCharacterW(console, &row[0], info.dwSize.X, COORD{0, y}, &read);
        size_t end = row.find_last_not_of(L' ', read - 1);
        text += to_wtf8(row.data(), end == std::wstring::npos ? 0 : end + 1);
        if (y < info.dwCursorPosition.Y)
            text += "\r\n";
    }
    FILE* out = fopen(file, "wb");
    if (out == nullptr || fwrite(text.data(), 1, text.size(), out) != text.size())
        exit(125);
    fclose(out);
}

// Each field on a line of its own, as key=value: what Windows' version.dll
// finds in the file, the strings under the file's own translation.
int print_version(const char* file) {
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(file, &ignored);
    std::string data(size, '\0');
    if (size == 0 || !GetFileVersionInfoA(file, 0, size, &data[0]))
        return 1;
    void* value = nullptr;
    UINT length = 0;
    VerQueryValueA(&data[0], "\\", &value, &length);
    auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
    printf("fixed=%lu.%lu.%lu.%lu %lu.%lu.%lu.%lu flags=%lx os=%lx type=%lx\n",
           fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
           fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF,
           fixed->dwProductVersionMS >> 16, fixed->dwProductVersionMS & 0xFFFF,
           fixed->dwProductVersionLS >> 16, fixed->dwProductVersionLS & 0xFFFF, fixed->dwFileFlags,
           fixed->dwFileOS, fixed->dwFileType);
    if (!VerQueryValueA(&data[0], "\\VarFileInfo\\Translation", &value, &length) || length < 4)
        return 1;
    auto* translation = static_cast<WORD*>(value);
    for (const char* key : {"FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                            "OriginalFilename", "ProductName", "ProductVersion"}) {
        char path[128];
        snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
                 translation[1], key);
        bool found = VerQueryValueA(&data[0], path, &value, &length) && length > 0;
        printf("%s=%s\n", key, found ? static_cast<const char*>(value) : "(missing)");
    }
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--version") == 0)
        return print_version(argv[2]);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    const char* cells = nullptr;
    HANDLE reader = nullptr;
    int arg = 1;
    for (; arg < argc - 1; ++arg) {
        if (strcmp(argv[arg], "--out=con") == 0)
            startup.hStdOutput = opened(L"CON");
        else if (strcmp(argv[arg], "--out=nul") == 0)
            startup.hStdOutput = opened(L"NUL");
        else if (strcmp(argv[arg], "--out=nowait") == 0)
            startup.hStdOutput = nowait_pipe(reader);
        else if (strcmp(argv[arg], "--out=input") == 0)
            startup.hStdOutput = startup.hStdInput;
        else if (strcmp(argv[arg], "--err=con") == 0)
            startup.hStdError = opened(L"CON");
        else if (strncmp(argv[arg], "--cells=", 8) == 0)
            cells = argv[arg] + 8;
    }
    // Processed output off, as a parent may leave it: the console then keeps
    // what ruvo.exe writes as written, the CR before each LF included.
    if (cells != nullptr && !SetConsoleMode(startup.hStdOutput, 0))
        return 125;
    FILE* request = fopen(argv[arg], "rb");
    if (request == nullptr)
        return 125;
    std::string text;
    char chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, request)) > 0;)
        text.append(chunk, n);
    fclose(request);
    std::wstring command_line, block, program;
    size_t at = 0;
    const long vector_size = strtol(text.c_str(), nullptr, 10);
    at = text.find('\0') + 1;
    for (long i = 0; at < text.size(); ++i) {
        const size_t end = text.find('\0', at);
        const std::wstring item = from_wtf8(text.substr(at, end - at));
        at = end + 1;
        if (i == 0)
            program = item;
        if (i < vector_size)
            command_line += (i == 0 ? L"" : L" ") + quoted(item);
        else
            block += item + L'\0';
    }
    for (const wchar_t* own = GetEnvironmentStringsW(); *own != L'\0'; own += wcslen(own) + 1)
        block += std::wstring(own) + L'\0';
    block += L'\0';
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, &block[0], nullptr, &startup, &process))
        return 126;
    if (reader != nullptr) {
        CloseHandle(startup.hStdOutput);
        pass_on(reader);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 125;
    GetExitCodeProcess(process.hProcess, &status);
    if (cells != nullptr)
        write_cells(cells);
    return static_cast<int>(status);
}
