// Calls the run and its routines directly, for what no process start can
// produce: an argument vector with no element at all.
#include "capture.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {
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
