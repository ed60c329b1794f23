// The command as users meet it: argument vector and environment in, bytes and
// exit status out.
#include "launcher.h"

#include <gtest/gtest.h>

namespace {
const std::string sep = "------------------------------------------------\n";

std::string shown(const std::string& name, const std::string& listing) {
    return sep + "Content of environment variable " + name + "\n" + sep + listing;
}
std::string missing(const std::string& name) {
    return sep + "Environment variable " + name + " is empty!\n" + sep;
}
std::string usage(const std::string& count) {
    return sep + "Program ruvo has been called with " + count + " parameters.\n" +
           "It should be called with 0 or 1 param(s), e.g.: \n"
           "$ ruvo        // 0 params, defaults to PATH     \n"
           "$ ruvo PATH   // 1 param,  name of a variable   \n"
           "$ ruvo P      // 1 param,  abbrev. for PATH     \n"
           "$ ruvo C      // 1 param,  abbrev. for CLASSPATH\n" +
           sep;
}

struct run_case {
    const char* what;
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string expected;
    int status;
};

const std::vector<std::string> two_paths{"PATH=/usr/bin;/bin"};

const run_case cases[] = {
    {"no parameter shows PATH", {}, two_paths, shown("PATH", "/usr/bin;\n/bin\n"), 0},
    {"no parameter, PATH undefined", {}, {"HOME=/"}, missing("PATH"), 0},
    {"p stands for PATH", {"p"}, two_paths, shown("PATH", "/usr/bin;\n/bin\n"), 0},
    {"P stands for PATH", {"P"}, two_paths, shown("PATH", "/usr/bin;\n/bin\n"), 0},
    {"c stands for CLASSPATH", {"c"}, {"CLASSPATH=a.jar"}, shown("CLASSPATH", "a.jar\n"), 0},
    {"C, undefined", {"C"}, two_paths, missing("CLASSPATH"), 0},
    {"name upper-cased", {"ClassPath"}, {"CLASSPATH=x;y"}, shown("CLASSPATH", "x;\ny\n"), 0},
    {"no prefix matching", {"pa"}, {"PA=1", "PATH=2"}, shown("PA", "1\n"), 0},
    {"abbreviation letter doubled", {"cc"}, {"CC=gcc"}, shown("CC", "gcc\n"), 0},
    {"empty parameter is no default", {""}, two_paths, missing(""), 0},
    {"wildcard looked up as typed", {"*"}, two_paths, missing("*"), 0},
    {"digits and underscore kept", {"my_var2"}, {"MY_VAR2=v"}, shown("MY_VAR2", "v\n"), 0},
    {"bytes above 0x7f kept",
     {"\xe9t\xe9"},
     {"\xe9T\xe9=\xff;\x80"},
     shown("\xe9T\xe9", "\xff;\n\x80\n"),
     0},
    {"lower-case variable unreachable", {"foo"}, {"foo=1"}, missing("FOO"), 0},
    {"name with = names nothing", {"a=b"}, {"A=B=C"}, missing("A=B"), 0},
    {"trailing semicolon ends in a blank", {"V"}, {"V=a;b;"}, shown("V", "a;\nb;\n "), 0},
    {"two semicolons only", {"V"}, {"V=;;"}, shown("V", ";\n;\n "), 0},
    {"empty value", {"V"}, {"V="}, shown("V", " "), 0},
    {"empty element", {"V"}, {"V=a;;b"}, shown("V", "a;\n;\nb\n"), 0},
    {"leading semicolon", {"V"}, {"V=;a"}, shown("V", ";\na\n"), 0},
    {"colons and commas separate nothing", {"V"}, {"V=a:b,c"}, shown("V", "a:b,c\n"), 0},
    {"percent signs printed as they stand", {"V"}, {"V=%s%d%%;%n"}, shown("V", "%s%d%%;\n%n\n"), 0},
    {"blanks and quotes untouched", {"V"}, {"V= a \" ' ; b "}, shown("V", " a \" ' ;\n b \n"), 0},
    {"two parameters", {"PATH", "PATH"}, two_paths, usage("2"), 1},
    {"two empty parameters", {"", ""}, two_paths, usage("2"), 1},
    {"ten parameters", std::vector<std::string>(10, "x"), {}, usage("10"), 1},
    {"a hundred parameters", std::vector<std::string>(100, "x"), {}, usage("100"), 1},
};

void PrintTo(const run_case& c, std::ostream* os) {
    *os << c.what;
}

class end_to_end : public testing::TestWithParam<run_case> {};

TEST_P(end_to_end, prints_exact_bytes_and_status) {
    const run_case& c = GetParam();
    run_result r = run_ruvo(c.args, c.env);
    EXPECT_EQ(r.out, c.expected);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(cases, end_to_end, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<run_case>& info) {
                             std::string name;
                             for (const char* p = info.param.what; *p; ++p)
                                 name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// A failed write is reported, never passed off as success: whatever the run
// printed, it ends with status 2 and one line on standard error.
struct failure_case {
    stdout_target target;
    std::vector<std::string> args;
    std::string reason;
};

TEST(write_failure, ends_with_status_2_and_one_line) {
    const failure_case failures[] = {
        {stdout_target::full_device, {}, "No space left on device"},
        {stdout_target::full_device, {"nope"}, "No space left on device"},
        {stdout_target::full_device, {"a", "b"}, "No space left on device"},
        {stdout_target::closed, {}, "Bad file descriptor"},
        {stdout_target::closed, {"a", "b"}, "Bad file descriptor"},
    };
    for (const failure_case& f : failures) {
        run_result r = run_ruvo(f.args, two_paths, f.target);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "ruvo: standard output could not be written: " + f.reason + "\n");
    }
}

TEST(write_failure, long_listing_to_full_device) {
    run_result r = run_ruvo({}, {"PATH=" + std::string(100000, ';')}, stdout_target::full_device);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "ruvo: standard output could not be written: No space left on device\n");
}
} // namespace
