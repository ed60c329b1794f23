#include "launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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
// returns the master and sets the slave's file and descriptor.
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
    return master;
}

[[noreturn]] void exec_child(const char* file, const std::vector<std::string>& argv,
                             const std::vector<std::string>& env, int out_fd, int err_fd,
                             stdout_target target, const char* directory) {
    if (directory != nullptr && chdir(directory) != 0)
        _exit(126);
    if (target == stdout_target::full_device)
        out_fd = open("/dev/full", O_WRONLY);
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

std::string strace_missing() {
    return access(RUVO_STRACE, X_OK) == 0 ? "" : "no strace (package strace)";
}

run_result run_ruvo(const std::vector<std::string>& args, const std::vector<std::string>& env,
                    stdout_target target, const char* directory, const char* fail_writes) {
    const char* file = RUVO_PROGRAM;
    std::vector<std::string> argv{"ruvo"};
    std::vector<std::string> environment = env;
    if (on_windows()) {
        // Wine starts ruvo.exe with the rest of its own argument vector.
        file = RUVO_WINE;
        argv = {RUVO_WINE, RUVO_WINE_PROGRAM};
        environment.insert(environment.end(), std::begin(wine_settings), std::end(wine_settings));
    }
    argv.insert(argv.end(), args.begin(), args.end());
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        abort();
    std::string out_path = target == stdout_target::full_device ? "/dev/full" : "";
    if (target == stdout_target::terminal) {
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
        exec_child(file, argv, environment, out_pipe[1], err_pipe[1], target, directory);
    close(out_pipe[1]);
    close(err_pipe[1]);
    run_result result{};
    drain(out_pipe[0], err_pipe[0], result);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return result;
}
