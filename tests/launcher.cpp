// Starts ruvo for a row, with an exact argument vector and environment, in a
// folder whose files the wildcard rows' patterns match (RUVO_RUN_FOLDER), and
// gives back what it printed, how it ended and its processor time.
//
// Standard output is, as the row asks (stdout_target in launcher.h): a pipe;
// a file; /dev/full; closed; a pseudo-terminal, or one open for reading or
// for writing only; a pipe whose reader has gone; a non-blocking pipe whose
// reader starts 1 s late; or a file that may not grow past 16 KiB. The write
// failure rows that make chosen writes fail run ruvo under strace.
//
// The processor time is the slow reader's measure: that row allows 0.3 s,
// since a loop that tried the write again at once would take the whole
// second. Under Wine it is ruvo.exe's own process, which Wine starts by
// forking twice: the launcher makes itself its subreaper for that row, waits
// for it and allows 0.1 s (a loop takes about 0.3 s there, the Wine server
// the rest).
//
// With RUVO_TARGET=windows it starts ruvo.exe under Wine instead, from
// wine_helper.cpp, a Windows parent that gives it the row's environment
// block and, on a terminal, a console (docs/windows.md).
#include "launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
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
#define RUVO_WINE_HELPER ""
#endif
#ifndef RUVO_STRACE
#define RUVO_STRACE ""
#endif

namespace {
// The Unix environment of every Wine run: the build folder's throwaway
// prefix, Wine's errors but no other debug chatter, and no installer
// dialogs. The locale, unless a row sets LC_ variables, reads the Unix side
// as UTF-8 and gives Windows code page 1252.
const char* const wine_settings[] = {
    "WINEPREFIX=" RUVO_WINE_PREFIX,
    "WINEDEBUG=-all,err+all",
    "WINEDLLOVERRIDES=mscoree,mshtml=",
};

// Why ruvo.exe cannot be run here; empty when it can.
std::string windows_missing() {
    if (*RUVO_WINDOWS_MISSING != '\0')
        return RUVO_WINDOWS_MISSING;
    if (access(RUVO_WINE, X_OK) != 0)
        return std::string("wine is not at ") + RUVO_WINE;
    if (access(RUVO_WINE_PROGRAM, R_OK) != 0)
        return std::string("ruvo.exe is not at ") + RUVO_WINE_PROGRAM;
    if (access(RUVO_WINE_HELPER, R_OK) != 0)
        return std::string("the helper is not at ") + RUVO_WINE_HELPER;
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
                             stdout_target target, const std::string& out_path) {
    if (chdir(RUVO_RUN_FOLDER) != 0)
        _exit(126);
    if (target == stdout_target::full_device || target == stdout_target::file ||
        target == stdout_target::file_of_16_kib)
        out_fd = open(out_path.c_str(), O_WRONLY);
    if (target == stdout_target::file_of_16_kib) {
        const rlimit limit{16384, 16384};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);
    }
    // The file description is the parent's too: non-blocking for both ends'
    // writers, as a parent that left its own output so hands it on.
    if (target == stdout_target::slow_reader && !on_windows())
        fcntl(out_fd, F_SETFL, fcntl(out_fd, F_GETFL) | O_NONBLOCK);
    if (target == stdout_target::null_device)
        out_fd = open("/dev/null", O_WRONLY);
    if (target == stdout_target::terminal_write_only)
        out_fd = open(out_path.c_str(), O_WRONLY | O_NOCTTY);
    if (target == stdout_target::terminal_input ||
        target == stdout_target::terminal_input_error_shown) {
        const int input = open(out_path.c_str(), O_RDONLY | O_NOCTTY);
        dup2(input, STDIN_FILENO);
        // Wine draws its console on its own standard output: the helper
        // gives ruvo.exe the console's input and CON instead.
        if (target == stdout_target::terminal_input_error_shown && !on_windows())
            err_fd = out_fd;
        if (target == stdout_target::terminal_input || !on_windows())
            out_fd = input;
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

// Writes what the helper starts ruvo.exe with: the count of the argument
// vector, the vector, then env, each string NUL-ended. Returns the file.
std::string write_request(const std::vector<std::string>& args,
                          const std::vector<std::string>& env) {
    std::string text = std::to_string(args.size() + 1) + '\0' + windows_path(RUVO_WINE_PROGRAM);
    text += '\0';
    for (const std::vector<std::string>* strings : {&args, &env})
        for (const std::string& s : *strings)
            text += s + '\0';
    char path[] = "/tmp/ruvo-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        abort();
    close(fd);
    return path;
}

std::string contents(const std::string& file) {
    std::string text;
    int fd = open(file.c_str(), O_RDONLY);
    char chunk[65536];
    for (ssize_t n; fd >= 0 && (n = read(fd, chunk, sizeof chunk)) > 0;)
        text.append(chunk, n);
    close(fd);
    return text;
}

double seconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Under Wine, ruvo.exe is no child of the helper that starts it: Wine forks
// twice, and the process goes to the nearest subreaper, which the launcher
// makes itself for a run whose processor time counts. The helper has waited
// for ruvo.exe; its Unix process may take a moment more to end. Other
// orphans that end (none, while the Wine server of the tests runs) are reaped
// and not counted.
double ruvo_exe_seconds() {
    for (int wait = 0; wait < 500; ++wait) {
        siginfo_t ended{};
        if (waitid(P_ALL, 0, &ended, WEXITED | WNOHANG | WNOWAIT) != 0)
            break;
        if (ended.si_pid == 0) {
            usleep(10000);
            continue;
        }
        const std::string name = contents("/proc/" + std::to_string(ended.si_pid) + "/comm");
        int status = 0;
        rusage usage{};
        wait4(ended.si_pid, &status, 0, &usage);
        if (name == "ruvo.exe\n")
            return seconds(usage);
    }
    ADD_FAILURE() << "ruvo.exe did not end under the launcher";
    return 0;
}

// Wine's messages ("0024:err:...") out of err, into the log.
void take_wine_messages(run_result& result) {
    std::string rest;
    for (std::size_t at = 0, end; at < result.err.size(); at = end) {
        end = std::min(result.err.find('\n', at), result.err.size() - 1) + 1;
        const std::string line = result.err.substr(at, end - at);
        const bool wine = line.size() > 5 && line[4] == ':' &&
                          line.find_first_not_of("0123456789abcdef") == 4 &&
                          line.compare(5, 4, "err:") == 0;
        (wine ? result.wine_log : rest) += line;
    }
    result.err = rest;
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
            EXPECT_TRUE(i > 0 && raw[i - 1] == '\r') << "newline without CR at byte " << i << ": "
                                                     << excerpt(raw, i < 40 ? 0 : i - 40, 80);
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
    return result.substr(0, result.find_last_not_of(' ') + 1);
}

std::string excerpt(const std::string& text, std::size_t from, std::size_t limit) {
    std::string line = from > 0 ? "..." : "";
    const std::size_t end = std::min(text.size(), from + limit);
    for (std::size_t i = from; i < end; ++i) {
        const unsigned char c = text[i];
        char escape[5];
        snprintf(escape, sizeof escape, "\\x%02x", c);
        line += c == '\n'               ? "\\n"
                : c == '\\'             ? "\\\\"
                : c < 0x20 || c >= 0x7f ? escape
                                        : std::string(1, c);
    }
    if (end < text.size())
        line += "... (" + std::to_string(text.size()) + " bytes)";
    return line;
}

testing::AssertionResult same_bytes(const char* actual_expression, const char* expected_expression,
                                    const std::string& actual, const std::string& expected) {
    if (actual == expected)
        return testing::AssertionSuccess();
    const auto at =
        std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end()).first -
        actual.begin();
    const std::size_t from = at < 40 ? 0 : at - 40;
    return testing::AssertionFailure()
           << actual_expression << " (" << actual.size() << " bytes) and " << expected_expression
           << " (" << expected.size() << " bytes) differ from byte " << at << " on:\n  "
           << excerpt(actual, from, 80) << "\n  " << excerpt(expected, from, 80);
}

std::string strace_missing() {
    return access(RUVO_STRACE, X_OK) == 0 ? "" : "no strace (package strace)";
}

// The options that give ruvo.exe the standard output and error of target.
std::vector<std::string> helper_options(stdout_target target, const std::string& request) {
    switch (target) {
    case stdout_target::terminal_input:
        return {"--out=input"};
    case stdout_target::terminal_input_error_shown:
        return {"--out=input", "--err=con"};
    case stdout_target::terminal_write_only:
        return {"--out=con"};
    case stdout_target::null_device:
        return {"--out=nul"};
    case stdout_target::slow_reader:
        return {"--out=nowait"};
    case stdout_target::terminal_cells:
        return {"--cells=" + windows_path(request + ".cells")};
    default:
        return {};
    }
}

bool on_terminal(stdout_target target) {
    return target == stdout_target::terminal || target == stdout_target::terminal_input ||
           target == stdout_target::terminal_input_error_shown ||
           target == stdout_target::terminal_write_only || target == stdout_target::terminal_cells;
}

run_result run_ruvo(const std::vector<std::string>& args, const std::vector<std::string>& env,
                    stdout_target target, const char* fail_writes) {
    const char* file = RUVO_PROGRAM;
    std::vector<std::string> argv{"ruvo"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> environment = env;
    std::string request;
    if (on_windows()) {
        environment.assign(std::begin(wine_settings), std::end(wine_settings));
        std::vector<std::string> block;
        for (const std::string& setting : env)
            (setting.rfind("LC_", 0) == 0 ? environment : block).push_back(setting);
        if (environment.size() == std::size(wine_settings))
            environment.push_back("LC_ALL=C.UTF-8");
        request = write_request(args, block);
        file = RUVO_WINE;
        argv = {RUVO_WINE, RUVO_WINE_HELPER};
        for (const std::string& option : helper_options(target, request))
            argv.push_back(option);
        argv.push_back(windows_path(request));
    }
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        abort();
    std::string out_path = target == stdout_target::full_device ? "/dev/full" : "";
    const bool to_file = target == stdout_target::file || target == stdout_target::file_of_16_kib;
    if (to_file) {
        char path[] = "/tmp/ruvo-out-XXXXXX";
        close(mkstemp(path));
        out_path = path;
    }
    if (on_terminal(target)) {
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
    const bool timed = target == stdout_target::slow_reader;
    if (timed && on_windows())
        prctl(PR_SET_CHILD_SUBREAPER, 1);
    pid_t child = fork();
    if (child == 0)
        exec_child(file, argv, environment, out_pipe[1], err_pipe[1], target, out_path);
    close(out_pipe[1]);
    close(err_pipe[1]);
    run_result result{};
    if (target == stdout_target::slow_reader && !on_windows())
        sleep(1);
    drain(out_pipe[0], err_pipe[0], result);
    int wait_status = 0;
    rusage usage{};
    wait4(child, &wait_status, 0, &usage);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    result.cpu_seconds = seconds(usage);
    if (timed && on_windows()) {
        result.cpu_seconds = ruvo_exe_seconds();
        prctl(PR_SET_CHILD_SUBREAPER, 0);
    }
    if (to_file) {
        result.out = contents(out_path);
        unlink(out_path.c_str());
    }
    result.raw_out = result.out;
    if (!request.empty()) {
        take_wine_messages(result);
        if (target == stdout_target::terminal_cells)
            result.out = contents(request + ".cells");
        unlink((request + ".cells").c_str());
        unlink(request.c_str());
    }
    return result;
}

std::string read_version_resource(const std::string& file) {
    std::string text;
    FILE* pipe = popen(("WINEPREFIX=" RUVO_WINE_PREFIX " WINEDEBUG=-all LC_ALL=C.UTF-8 '" RUVO_WINE
                        "' '" RUVO_WINE_HELPER "' --version '" +
                        windows_path(file) + "'")
                           .c_str(),
                       "r");
    char chunk[4096];
    for (std::size_t n; pipe != nullptr && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        text.append(chunk, n);
    EXPECT_EQ(pipe != nullptr ? pclose(pipe) : -1, 0) << "the helper could not read " << file;
    return as_lf(text);
}
