#include "launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iterator>

// Where the Windows build and Wine were found when the tests were configured;
// RUVO_WINDOWS_MISSING says what was not.
#ifndef RUVO_WINDOWS_MISSING
#define RUVO_WINDOWS_MISSING "the Windows tests are switched off (RUVO_WINDOWS_TESTS)"
#define RUVO_WINDOWS_PROGRAM ""
#define RUVO_WINE ""
#define RUVO_WINE_PREFIX ""
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
    if (access(RUVO_WINDOWS_PROGRAM, R_OK) != 0)
        return std::string("ruvo.exe is not at ") + RUVO_WINDOWS_PROGRAM;
    return "";
}

std::vector<char*> c_strings(const std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (const std::string& s : strings)
        result.push_back(const_cast<char*>(s.c_str()));
    result.push_back(nullptr);
    return result;
}

[[noreturn]] void exec_child(const char* file, const std::vector<std::string>& argv,
                             const std::vector<std::string>& env, int out_fd, int err_fd,
                             stdout_target target, const char* directory) {
    if (directory != nullptr && chdir(directory) != 0)
        _exit(126);
    if (target == stdout_target::full_device)
        out_fd = open("/dev/full", O_WRONLY);
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

void program_test::SetUp() {
    std::string missing = on_windows() ? windows_missing() : "";
    if (missing.empty())
        return;
    const char* ci = getenv("CI");
    if (ci != nullptr && strcmp(ci, "true") == 0)
        FAIL() << "CI must run the Windows tests, but " << missing;
    GTEST_SKIP() << missing;
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

run_result run_ruvo(const std::vector<std::string>& args, const std::vector<std::string>& env,
                    stdout_target target, const char* directory) {
    const char* file = RUVO_PROGRAM;
    std::vector<std::string> argv{"ruvo"};
    std::vector<std::string> environment = env;
    if (on_windows()) {
        // Wine starts ruvo.exe with the rest of its own argument vector.
        file = RUVO_WINE;
        argv = {"wine", RUVO_WINDOWS_PROGRAM};
        environment.insert(environment.end(), std::begin(wine_settings), std::end(wine_settings));
    }
    argv.insert(argv.end(), args.begin(), args.end());
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        abort();
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
