// The command as users meet it: argument vector and environment in, bytes and
// exit status out.
#include "launcher.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <utility>

namespace {
const std::string sep = "------------------------------------------------\n";

std::string shown(const std::string& name, const std::string& listing) {
    return sep + "Content of environment variable " + name + "\n" + sep + listing;
}
std::string header(const std::string& name) {
    return shown(name, "");
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

// How a row's expectation changes for ruvo.exe under Wine.
enum class on_windows_row {
    same,        // the same bytes
    other,       // expected instead
    starts_with, // expected, then whatever Wine put there
    skipped,     // cannot be posed there
};

struct windows_rule {
    on_windows_row rule;
    const char* why;
    std::string expected;
};

const windows_rule same_on_windows{on_windows_row::same, "", ""};
const windows_rule path_header_only{
    on_windows_row::starts_with,
    "Wine defines PATH itself, in Windows form: only the header is known", header("PATH")};
windows_rule names_ignore_case(const std::string& expected) {
    return {on_windows_row::other, "Windows' environment lookup ignores the case of names",
            expected};
}
windows_rule code_page_1252(const std::string& expected) {
    return {on_windows_row::other,
            "bytes above 0x7f pass through Wine's UTF-8 reading of the Unix side and code page "
            "1252",
            expected};
}

struct run_case {
    const char* what;
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string expected;
    int status;
    windows_rule windows = same_on_windows;
};

const std::vector<std::string> two_paths{"PATH=/usr/bin;/bin"};
const std::string two_listed = shown("PATH", "/usr/bin;\n/bin\n");

const run_case cases[] = {
    {"no parameter shows PATH", {}, two_paths, two_listed, 0, path_header_only},
    {"no parameter, PATH undefined", {}, {"HOME=/"}, missing("PATH"), 0, path_header_only},
    {"p stands for PATH", {"p"}, two_paths, two_listed, 0, path_header_only},
    {"P stands for PATH", {"P"}, two_paths, two_listed, 0, path_header_only},
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
     0,
     {on_windows_row::skipped, "these bytes are no UTF-8, and Wine reads the Unix side as UTF-8",
      ""}},
    {"text above 0x7f in a name not upper-cased",
     {"\xc3\xa9t\xc3\xa9"}, // "été" in UTF-8
     {},
     missing("\xc3\xa9T\xc3\xa9"),
     0,
     code_page_1252(missing("\xe9T\xe9"))},
    {"text above 0x7f in a value kept",
     {"V"},
     {"V=\xc3\xa9;\xe2\x82\xac;\xc3\xbf"}, // "é;€;ÿ" in UTF-8
     shown("V", "\xc3\xa9;\n\xe2\x82\xac;\n\xc3\xbf\n"),
     0,
     code_page_1252(shown("V", "\xe9;\n\x80;\n\xff\n"))},
    {"lower-case variable unreachable",
     {"foo"},
     {"foo=1"},
     missing("FOO"),
     0,
     names_ignore_case(shown("FOO", "1\n"))},
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

class end_to_end : public program_test, public testing::WithParamInterface<run_case> {};

TEST_P(end_to_end, prints_exact_bytes_and_status) {
    const run_case& c = GetParam();
    const windows_rule& rule = on_windows() ? c.windows : same_on_windows;
    if (rule.rule == on_windows_row::skipped)
        GTEST_SKIP() << "not on Windows: " << rule.why;
    run_result r = run_ruvo(c.args, c.env);
    std::string out = as_lf(r.out);
    if (rule.rule == on_windows_row::same)
        EXPECT_EQ(out, c.expected);
    else if (rule.rule == on_windows_row::other)
        EXPECT_EQ(out, rule.expected) << "on Windows: " << rule.why;
    else
        EXPECT_EQ(out.substr(0, rule.expected.size()), rule.expected) << "on Windows: " << rule.why;
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

class write_failure : public program_test {};

TEST_F(write_failure, ends_with_status_2_and_one_line) {
    const std::string full = "No space left on device";
    const std::string closed = "Bad file descriptor";
    const failure_case failures[] = {
        {stdout_target::full_device, {}, full},
        {stdout_target::full_device, {"nope"}, full},
        {stdout_target::full_device, {"a", "b"}, full},
        {stdout_target::closed, {}, closed},
        {stdout_target::closed, {"a", "b"}, closed},
    };
    for (const failure_case& f : failures) {
        run_result r = run_ruvo(f.args, two_paths, f.target);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(as_lf(r.err), "ruvo: standard output could not be written: " + f.reason + "\n");
    }
}

// Not PATH, which Wine replaces.
TEST_F(write_failure, long_listing_to_full_device) {
    run_result r = run_ruvo({"v"}, {"V=" + std::string(100000, ';')}, stdout_target::full_device);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(as_lf(r.err),
              "ruvo: standard output could not be written: No space left on device\n");
}

// Wildcard patterns reach the program as typed, even where files match them:
// MinGW's start-up would expand them unless the program switches that off.
class wildcards : public program_test {
  protected:
    void SetUp() override {
        program_test::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_NE(mkdtemp(folder), nullptr);
        for (const char* name : files)
            fclose(fopen((std::string(folder) + "/" + name).c_str(), "w"));
    }
    void TearDown() override {
        for (const char* name : files)
            remove((std::string(folder) + "/" + name).c_str());
        rmdir(folder);
    }
    char folder[32] = "/tmp/ruvo-wildcards-XXXXXX";
    const char* const files[3] = {"a.txt", "b.txt", "P"};
};

TEST_F(wildcards, are_looked_up_as_names) {
    const std::pair<const char*, const char*> patterns[] = {
        {"*", "*"}, {"*.txt", "*.TXT"}, {"?", "?"}, {"[ab].txt", "[AB].TXT"}};
    for (const auto& [typed, looked_up] : patterns) {
        run_result r = run_ruvo({typed}, two_paths, stdout_target::pipe, folder);
        EXPECT_EQ(as_lf(r.out), missing(looked_up)) << "typed: " << typed;
        EXPECT_EQ(r.status, 0) << "typed: " << typed;
    }
}
} // namespace
