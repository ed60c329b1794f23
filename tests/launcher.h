// Starts the built ruvo with an exact argument vector and environment and
// captures what it prints and how it ends.
#pragma once

#include <string>
#include <vector>

struct run_result {
    std::string out;
    std::string err;
    int status; // exit status, or 128 + signal number
};

enum class stdout_target { pipe, full_device, closed };

// args excludes the command name; env holds NAME=VALUE strings and nothing
// else reaches the program.
run_result run_ruvo(const std::vector<std::string>& args, const std::vector<std::string>& env,
                    stdout_target target = stdout_target::pipe);
