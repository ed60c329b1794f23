// Calls the run and its routines directly, for what no process start can
// produce: an argument vector with no element at all.
#include "ruvo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
// Runs ruvo_main with standard output sent to a temporary file.
std::string captured_run(int argc, char** argv, int& status) {
    fflush(stdout);
    FILE* sink = tmpfile();
    int saved = dup(STDOUT_FILENO);
    dup2(fileno(sink), STDOUT_FILENO);
    status = ruvo_main(argc, argv);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string text;
    rewind(sink);
    for (int c; (c = fgetc(sink)) != EOF;)
        text += static_cast<char>(c);
    fclose(sink);
    return text;
}

TEST(in_process, empty_argument_vector_shows_path) {
    setenv("PATH", "/a;/b", 1);
    char* argv[] = {nullptr};
    int status = -1;
    std::string sep(48, '-');
    EXPECT_EQ(captured_run(0, argv, status),
              sep + "\nContent of environment variable PATH\n" + sep + "\n/a;\n/b\n");
    EXPECT_EQ(status, 0);
}

struct resolve_case {
    const char* raw;
    const char* resolved;
};

TEST(in_process, resolve_variable_name) {
    const resolve_case cases[] = {
        {"p", "PATH"},      {"P", "PATH"},      {"c", "CLASSPATH"},
        {"C", "CLASSPATH"}, {"path", "PATH"},   {"cLaSsPaTh", "CLASSPATH"},
        {"pa", "PA"},       {"cp", "CP"},       {"", ""},
        {"PATH", "PATH"},   {"a_1-z", "A_1-Z"}, {"\xe0\xff", "\xe0\xff"},
        {"p ", "P "},       {"@[`{", "@[`{"},
    };
    for (const resolve_case& c : cases) {
        std::string raw = c.raw;
        EXPECT_STREQ(resolve_variable_name(raw.data()), c.resolved) << "raw name: " << c.raw;
    }
}
} // namespace
