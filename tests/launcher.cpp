#include "launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace {
std::vector<char*> c_strings(const std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (const std::string& s : strings)
        result.push_back(const_cast<char*>(s.c_str()));
    result.push_back(nullptr);
    return result;
}

[[noreturn]] void exec_child(const std::vector<std::string>& argv,
                             const std::vector<std::string>& env, int out_fd, int err_fd,
                             stdout_target target) {
    if (target == stdout_target::full_device)
        out_fd = open("/dev/full", O_WRONLY);
    if (target == stdout_target::closed)
        close(STDOUT_FILENO);
    else
        dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    execve(RUVO_PROGRAM, c_strings(argv).data(), c_strings(env).data());
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

run_result run_ruvo(const std::vector<std::string>& args, const std::vector<std::string>& env,
                    stdout_target target) {
    std::vector<std::string> argv{"ruvo"};
    argv.insert(argv.end(), args.begin(), args.end());
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        abort();
    pid_t child = fork();
    if (child == 0)
        exec_child(argv, env, out_pipe[1], err_pipe[1], target);
    close(out_pipe[1]);
    close(err_pipe[1]);
    run_result result{};
    drain(out_pipe[0], err_pipe[0], result);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return result;
}
