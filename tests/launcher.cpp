#include "launcher.h"

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iterator>

// Where the Windows builds and Wine were found when the tests were configured;
// RUVO_WINDOWS_MISSING says what was not. RUVO_WINDOWS_PROGRAM is the 32-bit
// ruvo.exe; RUVO_WINE_PROGRAM the ruvo.exe that RUVO_WINE runs: the same
// file, or a 64-bit build where this machine cannot run 32-bit programs.
#ifndef RUVO_WINDOWS_MISSING
#define RUVO_WINDOWS_MISSING "the Windows tests are switched off (RUVO_WINDOWS_TESTS)"
#define RUVO_WINDOWS_PROGRAM ""
#define RUVO_WINE_PROGRAM ""
#define RUVO_WINE ""
#define RUVO_WINE_PREFIX ""
#endif
#ifndef RUVO_STRACE
#define RUVO_STRACE ""
#endif

namespace {
// Settings that every Wine run gets beside the case's own environment: the
// build folder's throwaway prefix, no debug chatter, no installer dialogs,
// and a Unix side read as UTF-8, which Wine hands the program in its ANSI
// code page (1252).
const char* const wine_settings[] = {
    "WINEPREFIX=" RUVO_WINE_PREFIX,
    "WINEDEBUG=-all",
    "WINEDLLOVERRIDES=mscoree,mshtml=",
    "LC_ALL=C.UTF-8",
};

// Why ruvo.exe cannot be run here; empty when it can.
std::string windows_missing() {
    if (*RUVO_WINDOWS_MISSING != '\0')
        return RUVO_WINDOWS_MISSING;
    if (access(RUVO_WINE, X_OK) != 0)
        return std::string("wine is not at ") + RUVO_WINE;
    if (access(RUVO_WINE_PROGRAM, R_OK) != 0)
        return std::string("ruvo.exe is not at ") + RUVO_WINE_PROGRAM;
    return "";
}

std::vector<char*> c_strings(const std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (const std::string& s : strings)
        result.push_back(const_cast<char*>(s.c_str()));
    result.push_back(nullptr);
    return result;
}

// A pseudo-terminal in raw mode, so that what ruvo writes arrives unchanged;
// returns the master and sets the slave's file and descriptor. Wine's console
// breaks lines at the terminal's width: this one is wide enough for any line
// of the tests.
int open_terminal(std::string& slave_path, int& slave_fd) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        abort();
    slave_path = ptsname(master);
    slave_fd = open(slave_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios mode{};
    if (slave_fd < 0 || tcgetattr(slave_fd, &mode) != 0)
        abort();
    cfmakeraw(&mode);
    tcsetattr(slave_fd, TCSANOW, &mode);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 32767;
    ioctl(slave_fd, TIOCSWINSZ, &size);
    return master;
}

[[noreturn]] void exec_child(const char* file, const std::vector<std::string>& argv,
                             const std::vector<std::string>& env, int out_fd, int err_fd,
                             stdout_target target, const std::string& out_path,
                             const char* directory) {
    if (directory != nullptr && chdir(directory) != 0)
        _exit(126);
    if (target == stdout_target::full_device)
        out_fd = open("/dev/full", O_WRONLY);
    if (target == stdout_target::terminal_input) {
        out_fd = open(out_path.c_str(), O_RDONLY | O_NOCTTY);
        dup2(out_fd, STDIN_FILENO);
    }
    if (target == stdout_target::reader_gone ||
        target == stdout_target::reader_gone_sigpipe_ignored) {
        int no_reader[2];
        if (pipe(no_reader) != 0)
            _exit(126);
        close(no_reader[0]);
        out_fd = no_reader[1];
    }
    signal(SIGPIPE, target == stdout_target::reader_gone_sigpipe_ignored ? SIG_IGN : SIG_DFL);
    if (target == stdout_target::closed)
        close(STDOUT_FILENO);
    else
        dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    execve(file, c_strings(argv).data(), c_strings(env).data());
    _exit(127);
}

std::string windows_path(const std::string& unix_path) {
    std::string path = "Z:" + unix_path;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// cmd reads a batch file in the OEM code page: 437 where Wine runs for the
// tests.
std::string in_oem_code_page(const std::string& utf8) {
    std::string in = utf8, out(utf8.size(), '\0');
    char* from = in.data();
    char* to = out.data();
    std::size_t left = in.size(), room = out.size();
    iconv_t to_oem = iconv_open("CP437", "UTF-8");
    EXPECT_NE(iconv(to_oem, &from, &left, &to, &room), static_cast<std::size_t>(-1))
        << "not in code page 437: " << utf8;
    iconv_close(to_oem);
    out.resize(out.size() - room);
    return out;
}

// Wine carries no Unix variable whose name goes beyond ASCII into the Windows
// environment: cmd sets those of settings, from a batch file, and then starts
// ruvo.exe, with the console's input as its standard output when asked to.
// Returns the batch file.
std::string write_batch(const std::vector<std::string>& settings, bool output_to_input) {
    std::string text = "@echo off\r\n";
    for (const std::string& setting : settings)
        text += "set \"" + in_oem_code_page(setting) + "\"\r\n";
    text += "\"" + windows_path(RUVO_WINE_PROGRAM) + "\" %*";
    text += output_to_input ? " 1>&0\r\n" : "\r\n";
    char path[] = "/tmp/ruvo-XXXXXX.bat";
    int fd = mkstemps(path, 4);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        abort();
    close(fd);
    return path;
}

bool name_beyond_ascii(const std::string& setting) {
    for (char c : setting.substr(0, setting.find('=')))
        if (static_cast<unsigned char>(c) > 0x7f)
            return true;
    return false;
}

// Reads both pipes together, so that a long listing cannot block the child.
void drain(int out_fd, int err_fd, run_result& result) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    for (int open_count = 2; open_count > 0;) {
        poll(fds, 2, -1);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char chunk[65536];
            ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
            if (n > 0) {
                sinks[i]->append(chunk, n);
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
}
} // namespace

bool on_windows() {
    const char* target = getenv("RUVO_TARGET");
    return target != nullptr && strcmp(target, "windows") == 0;
}

const char* windows_program() {
    return RUVO_WINDOWS_PROGRAM;
}

void skip_when_missing(const std::string& why) {
    if (why.empty())
        return;
    const char* ci = getenv("CI");
    if (ci != nullptr && strcmp(ci, "true") == 0)
        FAIL() << "CI must run every test, but " << why;
    GTEST_SKIP() << why;
}

void program_test::SetUp() {
    if (on_windows())
        skip_when_missing(windows_missing());
}

std::string as_lf(const std::string& raw) {
    if (!on_windows())
        return raw;
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\n') {
            EXPECT_TRUE(i > 0 && raw[i - 1] == '\r')
                << "newline without CR at byte " << i << " of:\n"
                << raw;
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
        }
        text += raw[i];
    }
    return text;
}

std::string console_text(const std::string& raw) {
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw.compare(i, 2, "\x1b[") != 0) {
            text += raw[i];
            continue;
        }
        std::size_t end = raw.find_first_not_of("0123456789?", i + 2);
        if (end == std::string::npos)
            end = raw.size() - 1;
        const std::string sequence = raw.substr(i, end + 1 - i);
        const std::string count = sequence.substr(2, sequence.size() - 3);
        if (sequence.back() == 'C')
            text.append(count.empty() ? 1 : std::stoul(count), ' ');
        else if (sequence != "\x1b[?25l" && sequence != "\x1b[?25h" && sequence != "\x1b[K")
            text += sequence;
        i = end;
    }
    return text;
}

std::string without_line_end_blanks(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (c == '\n')
            while (!result.empty() && result.back() == ' ')
                result.pop_back();
        result += c;
    }
    return result;
}

std::string strace_missing() {
    return access(RUVO_STRACE, X_OK) == 0 ? "" : "no strace (package strace)";
}

run_result run_ruvo(const std::vector<std::string>& args, const std::vector<std::string>& env,
                    stdout_target target, const char* directory, const char* fail_writes) {
    const char* file = RUVO_PROGRAM;
    std::vector<std::string> argv{"ruvo"};
    std::vector<std::string> environment = env;
    std::string batch;
    if (on_windows()) {
        // Wine starts ruvo.exe with the rest of its own argument vector.
        file = RUVO_WINE;
        argv = {RUVO_WINE, RUVO_WINE_PROGRAM};
        std::vector<std::string> by_cmd;
        environment.clear();
        for (const std::string& setting : env)
            (name_beyond_ascii(setting) ? by_cmd : environment).push_back(setting);
        if (!by_cmd.empty() || target == stdout_target::terminal_input) {
            batch = write_batch(by_cmd, target == stdout_target::terminal_input);
            argv = {RUVO_WINE, "cmd", "/c", windows_path(batch)};
        }
        environment.insert(environment.end(), std::begin(wine_settings), std::end(wine_settings));
    }
    argv.insert(argv.end(), args.begin(), args.end());
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        abort();
    std::string out_path = target == stdout_target::full_device ? "/dev/full" : "";
    if (target == stdout_target::terminal || target == stdout_target::terminal_input) {
        close(out_pipe[0]);
        close(out_pipe[1]);
        out_pipe[0] = open_terminal(out_path, out_pipe[1]);
    }
    if (fail_writes != nullptr) {
        // -P: only the writes to ruvo's standard output count and fail. -E:
        // LeakSanitizer cannot work under ptrace (a sanitizer build).
        EXPECT_FALSE(out_path.empty()) << "strace picks writes to a terminal or /dev/full only";
        const std::string inject = std::string("inject=write:error=EDQUOT:when=") + fail_writes;
        argv[0] = file;
        argv.insert(argv.begin(), {"strace", "-qq", "-o", "/dev/null", "-P", out_path, "-e", inject,
                                   "-E", "ASAN_OPTIONS=detect_leaks=0"});
        file = RUVO_STRACE;
    }
    pid_t child = fork();
    if (child == 0)
        exec_child(file, argv, environment, out_pipe[1], err_pipe[1], target, out_path, directory);
    close(out_pipe[1]);
    close(err_pipe[1]);
    run_result result{};
    drain(out_pipe[0], err_pipe[0], result);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    if (!batch.empty())
        unlink(batch.c_str());
    return result;
}
