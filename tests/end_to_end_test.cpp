// The command as users meet it: argument vector and environment in, bytes and
// exit status out.
#include "launcher.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string_view>
#include <type_traits>
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
    only,        // expected there; cannot be posed to the program for Linux
};

// A row's text, written out; or, when it is long, made only when the row
// runs, so that listing the rows or running one builds no other row's data.
struct text {
    text(const char* written) : written(written) {}
    text(std::string written) : written(std::move(written)) {}
    template <typename maker, typename = std::enable_if_t<std::is_invocable_v<maker>>>
    text(maker make) : make(make) {}
    std::string operator*() const {
        return make != nullptr ? make() : written;
    }
    std::string written;
    std::string (*make)() = nullptr;
};

std::vector<std::string> made(const std::vector<text>& texts) {
    std::vector<std::string> strings;
    for (const text& t : texts)
        strings.push_back(*t);
    return strings;
}

struct windows_rule {
    on_windows_row rule;
    const char* why;
    text expected;
};

const windows_rule same{on_windows_row::same, "", ""};
const windows_rule path_header_only{
    on_windows_row::starts_with,
    "Wine defines PATH itself, in Windows form: only the header is known", header("PATH")};
windows_rule names_ignore_case(text expected) {
    return {on_windows_row::other, "Windows' environment lookup ignores the case of names",
            std::move(expected)};
}
windows_rule code_page_1252(text expected) {
    return {on_windows_row::other,
            "bytes above 0x7f pass through Wine's UTF-8 reading of the Unix side and code page "
            "1252",
            std::move(expected)};
}

struct run_case {
    const char* what;
    std::vector<text> args;
    std::vector<text> env;
    text expected;
    int status;
    windows_rule windows = same;
    // A terminal: under Wine, ruvo.exe writes to a console, and the terminal
    // shows what the console shows.
    stdout_target target = stdout_target::pipe;
};

constexpr stdout_target tty = stdout_target::terminal, cells = stdout_target::terminal_cells;
const std::vector<text> two_paths{"PATH=/usr/bin;/bin"};
const std::string two_listed = shown("PATH", "/usr/bin;\n/bin\n");
// Characters that code page 1252 lacks, and ones it has (UTF-8 on the Unix
// side). A console shows them all; redirected, ruvo.exe writes them in code
// page 1252, "?" for a character it lacks.
const std::vector<text> cjk_cyrillic{"V=C:\\\xe7\x94\xa8\xe6\x88\xb7\\\xe4\xb8\xad\xe6\x96\x87;"
                                     "D:\\\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"};
const std::string cjk_listed =
    shown("V", "C:\\\xe7\x94\xa8\xe6\x88\xb7\\\xe4\xb8\xad\xe6\x96\x87;\n"
               "D:\\\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82\n");
const std::string umlaut_acute = "C:\\Users\\M\xc3\xbcller;C:\\Users\\Jos\xc3\xa9";

std::string repeated(const std::string& text, std::size_t count) {
    std::string result;
    result.reserve(text.size() * count);
    while (count-- > 0)
        result += text;
    return result;
}
// An element longer than the listing's buffer (64 KiB), a three-byte "\u20ac"
// across the buffer's edge.
std::string long_euros() {
    return "ab" + repeated("\xe2\x82\xac", 21846);
}

// Every length of UTF-8 and the bounds of each: lead bytes C2, DF, E0, E0 A0,
// ED, EF and F0, F3, F4; U+FFFF and U+10FFFF. Then, after 4065 more units, a
// pair that starts on the last unit of the console's 4096-unit buffer, and
// units that are half of no pair (WTF-8), beside the units that bound the
// pairs: U+10000, U+0080, U+007F, D800 E000, D800 DBFF, D7FF DC00, DC00 DC00.
// The name, half of a pair and then another pair on the header's last unit.
std::string every_class() {
    return "\xc2\xa3\xc2\xa9;\xdf\x80;\xe0\xa4\x85;\xed\x95\x9c;\xef\xbc\xa1;"
           "\xf3\xb0\x80\x80\xf4\x8f\xbf\xbf\xef\xbf\xbf\xe0\xa0\x80;" +
           std::string(4065, 'x') +
           "\xf0\x9f\x98\x80;a\xed\xb0\x80;\xed\xa0\x80"
           "b;\xf0\x90\x80\x80;\xc2\x80;\x7f;\xed\xa0\x80\xee\x80\x80;"
           "\xed\xa0\x80\xed\xaf\xbf;\xed\x9f\xbf\xed\xb0\x80;\xed\xb0\x80\xed\xb0\x80";
}
std::string pair_at_edge() {
    return std::string(4061, 'X') + "\xf0\x9f\x98\x80";
}
// An element of 4095 units: its newline's CR would fall on the console
// buffer's last unit and its LF past it, over whatever lies there, so the
// buffer goes out first.
std::string newline_at_edge() {
    return "\u00fc" + std::string(4093, 'x') + ";\u00e9y;w";
}
std::string lone() {
    return "X\xed\xa0\x80" + pair_at_edge();
}
std::string listed(const std::string& value) {
    std::string listing;
    for (char c : value)
        listing += c == ';' ? ";\n" : std::string_view(&c, 1);
    return listing + (value.back() == ';' ? " " : "\n");
}
// A name longer than any buffer of a line, three bytes a character.
std::string long_name() {
    return repeated("\xe4\xb8\xad", 30000);
}
// Two bytes a character in code page 932, in UTF-8 or in that code page.
std::string japanese(bool code_page_932) {
    return repeated(code_page_932 ? "\x93\xfa\x96\x7b\x8c\xea;\x83\x65\x83\x58\x83\x67;"
                                  : "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e;"
                                    "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88;",
                    600);
}
// Longer than any value that a program can set (32767 UTF-16 units): only a
// parent's environment block can hand it over. 300,000 bytes in WTF-8: three
// times what fits in ruvo.exe's own buffer, and more than the buffer holds
// when a unit is taken for two bytes.
std::string longest_value() {
    return repeated(repeated("\xe2\x82\xac", 9999) + ";", 10);
}

// 119,000 bytes, more than a pipe holds.
std::string folders() {
    return repeated("C:\\Tools\\bin\\x86;", 7000);
}

const run_case cases[] = {
    {"no parameter shows PATH", {}, two_paths, two_listed, 0, path_header_only},
    {"no parameter, PATH undefined", {}, {"HOME=/"}, missing("PATH"), 0, path_header_only},
    {"p stands for PATH", {"p"}, two_paths, two_listed, 0, path_header_only},
    {"P stands for PATH", {"P"}, two_paths, two_listed, 0, path_header_only},
    {"c stands for CLASSPATH", {"c"}, {"CLASSPATH=a.jar"}, shown("CLASSPATH", "a.jar\n"), 0},
    {"C, undefined", {"C"}, two_paths, missing("CLASSPATH"), 0},
    {"name upper-cased", {"ClassPath"}, {"CLASSPATH=x;y"}, shown("CLASSPATH", "x;\ny\n"), 0},
    {"no prefix matching", {"pa"}, {"PA=1", "PATH=2"}, shown("PA", "1\n"), 0},
    // Ahead of it, a longer name and names that differ only in the last or the
    // first letter.
    {"every letter of the whole name compared",
     {"ab"},
     {"ABC=1", "AA=2", "BB=4", "AB=3"},
     shown("AB", "3\n"),
     0},
    {"abbreviation letter doubled", {"cc"}, {"CC=gcc"}, shown("CC", "gcc\n"), 0},
    {"empty parameter is no default", {""}, {"=C:=C:\\dir", "PATH=/usr/bin;/bin"}, missing(""), 0},
    // Each matches a file in the folder of the run, P the abbreviation.
    {"wildcard looked up as typed", {"*"}, two_paths, missing("*"), 0},
    {"wildcard with a dot", {"*.txt"}, two_paths, missing("*.TXT"), 0},
    {"wildcard of one letter", {"?"}, two_paths, missing("?"), 0, same, tty},
    {"wildcard of a set", {"[ab].txt"}, two_paths, missing("[AB].TXT"), 0, same, tty},
    {"digits and underscore kept", {"my_var2"}, {"MY_VAR2=v"}, shown("MY_VAR2", "v\n"), 0},
    {"bytes above 0x7f kept",
     {"\xe9t\xe9"},
     {"\xe9T\xe9=\xff;\x80"},
     shown("\xe9T\xe9", "\xff;\n\x80\n"),
     0,
     {on_windows_row::skipped, "these bytes are no UTF-8, and Wine reads the Unix side as UTF-8",
      ""}},
    // Windows finds "ПУТЬ" for "путь", and code page 1252 has none of its letters.
    {"text above 0x7f in a name not upper-cased",
     {"\xd0\xbf\xd1\x83\xd1\x82\xd1\x8c"},
     {"\xd0\x9f\xd0\xa3\xd0\xa2\xd0\xac=C:\\x"},
     missing("\xd0\xbf\xd1\x83\xd1\x82\xd1\x8c"),
     0,
     names_ignore_case(shown("????", "C:\\x\n"))},
    // A full-width quotation mark is none, nor are full-width letters "PATH".
    {"full-width text looked up as typed",
     {"\xef\xbc\x82 \xef\xbc\xb0\xef\xbc\xa1\xef\xbc\xb4\xef\xbc\xa8"},
     two_paths,
     missing("\xef\xbc\x82 \xef\xbc\xb0\xef\xbc\xa1\xef\xbc\xb4\xef\xbc\xa8"),
     0,
     code_page_1252(missing("? ????"))},
    {"text above 0x7f in a value kept",
     {"V"},
     {"V=\xc3\xa9;\xe2\x82\xac;\xc3\xbf"}, // "é;€;ÿ" in UTF-8
     shown("V", "\xc3\xa9;\n\xe2\x82\xac;\n\xc3\xbf\n"),
     0,
     code_page_1252(shown("V", "\xe9;\n\x80;\n\xff\n"))},
    {"CJK and Cyrillic on a terminal", {"v"}, cjk_cyrillic, cjk_listed, 0, same, tty},
    // The system's code page, not that of the user's language (Russian: 1251).
    {"CJK and Cyrillic redirected",
     {"v"},
     {"LC_CTYPE=C.UTF-8", "LC_MESSAGES=ru_RU.UTF-8", cjk_cyrillic[0]},
     cjk_listed,
     0,
     code_page_1252(shown("V", "C:\\??\\??;\nD:\\??????\n"))},
    {"umlaut and acute on a terminal",
     {"v"},
     {"V=" + umlaut_acute},
     shown("V", "C:\\Users\\M\xc3\xbcller;\nC:\\Users\\Jos\xc3\xa9\n"),
     0,
     same,
     tty},
    {"long element on a terminal",
     {"v"},
     {[] { return "V=" + long_euros(); }},
     [] { return shown("V", long_euros() + "\n"); },
     0,
     same,
     tty},
    // Hindi has no ANSI code page: Wine's is then UTF-8, as Windows' is with
    // its UTF-8 option, three bytes a unit, which takes no best fit flag.
    {"long element redirected",
     {"v"},
     {"LC_ALL=hi_IN.UTF-8", [] { return "V=" + long_euros(); }},
     [] { return shown("V", long_euros() + "\n"); },
     0},
    {"every character as itself on a console",
     {[] { return "x\xed\xa0\x80" + pair_at_edge(); }},
     {[] { return "X\xef\xbf\xbd" + pair_at_edge() + "=wrong"; },
      [] { return lone() + "=" + every_class(); }},
     [] { return shown(lone(), listed(every_class())); },
     0,
     same,
     cells},
    {"newline on the console buffer's last unit",
     {"v"},
     {[] { return "V=" + newline_at_edge(); }},
     [] { return shown("V", listed(newline_at_edge())); },
     0,
     same,
     tty},
    {"console open for writing only",
     {"v"},
     cjk_cyrillic,
     cjk_listed,
     0,
     same,
     stdout_target::terminal_write_only},
    {"null device", {"v"}, cjk_cyrillic, "", 0, same, stdout_target::null_device},
    {"long name on a terminal",
     {long_name},
     {[] { return long_name() + "=1"; }},
     [] { return shown(long_name(), "1\n"); },
     0,
     same,
     tty},
    // "Content of environment variable " and a newline around 4063 bytes: a
    // header line of 4096 bytes, the size of the Linux build's line buffer.
    {"header line as long as its buffer",
     {[] { return std::string(4063, 'n'); }},
     {[] { return std::string(4063, 'N') + "=1"; }},
     [] { return shown(std::string(4063, 'N'), "1\n"); },
     0},
    {"long name redirected",
     {long_name},
     {[] { return long_name() + "=1"; }},
     [] { return shown(long_name(), "1\n"); },
     0,
     code_page_1252([] { return shown(std::string(30000, '?'), "1\n"); })},
    // Longer than any value a program can set, and copied from the block into
    // memory of its own, where the value of another variable ahead of it may
    // have been before.
    {"longest value on a terminal",
     {"\u00fcber"},
     {[] { return "W=" + std::string(200000, 'b'); },
      [] { return "\u00dcBER=" + longest_value(); }},
     "",
     0,
     {on_windows_row::only, "Linux hands a program no environment string of 128 KiB or more",
      [] { return shown("\u00fcBER", listed(longest_value())); }},
     tty},
    // A parent's pipe left non-blocking: ruvo waits for its slow reader, in
    // the system, without using the processor meanwhile.
    {"slow reader of a non-blocking pipe",
     {"v"},
     {[] { return "V=" + folders(); }},
     [] { return shown("V", listed(folders())); },
     0,
     same,
     stdout_target::slow_reader},
    {"element as long as the listing buffer",
     {"v"},
     {[] { return "V=" + std::string(65536, 'a'); }},
     [] { return shown("V", std::string(65536, 'a') + "\n"); },
     0},
    // Katakana di, in code page 932 0x83 0x61: a trail byte "a", then an "a".
    {"double-byte name redirected",
     {"\xe3\x83\x82\x61"},
     {"LC_ALL=ja_JP.UTF-8", [] { return "\xe3\x83\x82\x41=" + japanese(false); }},
     [] { return shown("\xe3\x83\x82\x41", listed(japanese(false))); },
     0,
     {on_windows_row::other, "Japanese Windows: code page 932",
      [] { return shown("\x83\x61\x41", listed(japanese(true))); }}},
    {"name above 0x7f on a terminal",
     {"\u00e9t\u00e9"},
     {},
     missing("\u00e9T\u00e9"),
     0,
     same,
     tty},
    {"name above 0x7f in another case on a terminal",
     {"\u00fcber"},
     {"\u00dcBER=15"},
     missing("\u00fcBER"),
     0,
     names_ignore_case(shown("\u00fcBER", "15\n")),
     tty},
    // In a file: no best fit, which made "łodz" "LODZ", "Łukasz" "Lukasz",
    // and "≤v2∞" "=v28".
    {"name above 0x7f in another case redirected",
     {"\xc5\x82odz"},
     {"\xc5\x81ODZ=C:\\Users\\\xc5\x81ukasz;\xe2\x89\xa4v2\xe2\x88\x9e", "LODZ=wrong"},
     missing("\xc5\x82ODZ"),
     0,
     names_ignore_case(shown("?ODZ", "C:\\Users\\?ukasz;\n?v2?\n")),
     stdout_target::file},
    // In no language's rules: Turkish upper-cases i to İ.
    {"lower-case variable unreachable",
     {"pi"},
     {"LC_ALL=tr_TR.UTF-8", "pi=1"},
     missing("PI"),
     0,
     names_ignore_case(shown("PI", "1\n"))},
    // Nor is a dotless i an i when Windows compares names.
    {"dotless i is no i", {"p\xc4\xb1n"}, {"PIN=1"}, missing("P\xc4\xb1N"), 0, same, tty},
    {"name with = names nothing", {"a=b"}, {"A=B=C"}, missing("A=B"), 0},
    {"name ending in = names nothing", {"a="}, {"A==x"}, missing("A="), 0},
    {"name starting with = names nothing", {"=a"}, {"=A=x"}, missing("=A"), 0},
    {"trailing semicolon ends in a blank", {"V"}, {"V=a;b;"}, shown("V", "a;\nb;\n "), 0},
    {"trailing semicolon on a terminal", {"V"}, {"V=a;b;"}, shown("V", "a;\nb;\n "), 0, same, tty},
    {"two semicolons only", {"V"}, {"V=;;"}, shown("V", ";\n;\n "), 0},
    {"empty value", {"V"}, {"V="}, shown("V", " "), 0},
    {"empty element", {"V"}, {"V=a;;b"}, shown("V", "a;\n;\nb\n"), 0},
    {"leading semicolon", {"V"}, {"V=;a"}, shown("V", ";\na\n"), 0},
    {"colons and commas separate nothing", {"V"}, {"V=a:b,c"}, shown("V", "a:b,c\n"), 0},
    {"percent signs printed as they stand", {"V"}, {"V=%s%d%%;%n"}, shown("V", "%s%d%%;\n%n\n"), 0},
    {"blanks and quotes untouched", {"V"}, {"V= a \" ' ; b "}, shown("V", " a \" ' ;\n b \n"), 0},
    {"two parameters", {"PATH", "PATH"}, two_paths, usage("2"), 1},
    {"two parameters on a terminal", {"a", "b"}, {}, usage("2"), 1, same, tty},
    {"two empty parameters", {"", ""}, two_paths, usage("2"), 1},
    {"ten parameters", std::vector<text>(10, "x"), {}, usage("10"), 1},
    {"a hundred parameters", std::vector<text>(100, "x"), {}, usage("100"), 1},
};

void PrintTo(const run_case& c, std::ostream* os) {
    *os << c.what;
}

class end_to_end : public program_test, public testing::WithParamInterface<run_case> {};

// What the row's reader sees, every newline LF. A console sends the blanks
// at the end of a line or not depending on how they were written to it, and
// holds none at the end of a row: they are left out on both sides.
bool on_console(stdout_target target) {
    return on_windows() && on_terminal(target);
}
std::string printed(const run_result& r, stdout_target target) {
    if (!on_console(target))
        return as_lf(r.out);
    return without_line_end_blanks(as_lf(target == cells ? r.out : console_text(r.out)));
}
std::string as_shown(const std::string& expected, stdout_target target) {
    return on_console(target) ? without_line_end_blanks(expected) : expected;
}

// What a failed row shows beside its comparisons, so that one log explains it.
std::string as_run(const run_result& r) {
    return "status " + std::to_string(r.status) + "; output as received: " + excerpt(r.raw_out) +
           "\nstandard error: " + excerpt(r.err) + "\nWine's messages: " + excerpt(r.wine_log);
}

TEST_P(end_to_end, prints_exact_bytes_and_status) {
    const run_case& c = GetParam();
    const windows_rule& rule = on_windows() ? c.windows : same;
    if (rule.rule == on_windows_row::skipped)
        GTEST_SKIP() << "not on Windows: " << rule.why;
    if (!on_windows() && c.windows.rule == on_windows_row::only)
        GTEST_SKIP() << "only on Windows: " << c.windows.why;
    run_result r = run_ruvo(made(c.args), made(c.env), c.target);
    SCOPED_TRACE(as_run(r));
    std::string out = printed(r, c.target);
    const std::string expected =
        as_shown(rule.rule == on_windows_row::same ? *c.expected : *rule.expected, c.target);
    if (rule.rule == on_windows_row::starts_with)
        out = out.substr(0, expected.size());
    EXPECT_PRED_FORMAT2(same_bytes, out, expected)
        << (rule.rule == on_windows_row::same ? "" : "on Windows: ") << rule.why;
    EXPECT_PRED_FORMAT2(same_bytes, r.err, "");
    EXPECT_EQ(r.status, c.status);
    // A loop that tried again at once would take a second of processor time;
    // under Wine, where the server takes most of it, ruvo.exe's own share is
    // 0.3 to 0.5 s, and 0.02 to 0.04 s without the loop, loaded machine or
    // not. A loop that only yields (Sleep(0)) gets little processor time, and
    // passes, where more processes spin than there are cores.
    if (c.target == stdout_target::slow_reader) {
        EXPECT_LT(r.cpu_seconds, on_windows() ? 0.1 : 0.3);
    }
}

// A row's test name: its description with every other byte an underscore.
template <typename row> std::string row_name(const testing::TestParamInfo<row>& info) {
    std::string name;
    for (const char* p = info.param.what; *p; ++p)
        name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(cases, end_to_end, testing::ValuesIn(cases), row_name<run_case>);

// A failed write is reported, never passed off as success: the run writes
// nothing after it, and ends with status 2 and one line on standard error
// that names the failure. Rows with fail_writes make the writes that strace picks
// fail with EDQUOT, which neither /dev/full nor a lost errno would give.
struct failure_case {
    const char* what;
    stdout_target target;
    std::vector<std::string> args;
    std::vector<text> env;
    const char* fail_writes; // strace's when= expression, or none
    text out;                // what reached a terminal or a file
    std::string reason;      // of the "ruvo: " line, if there is one
    int status;
    const char* windows_reason = nullptr; // when Windows names it otherwise
};

constexpr stdout_target full = stdout_target::full_device, closed = stdout_target::closed,
                        gone = stdout_target::reader_gone,
                        gone_ignored = stdout_target::reader_gone_sigpipe_ignored,
                        tty_input = stdout_target::terminal_input,
                        tty_input_shown = stdout_target::terminal_input_error_shown;
const std::string no_space = "No space left on device";
const std::string bad_fd = "Bad file descriptor";
const std::string quota = "Disk quota exceeded"; // EDQUOT, as injected
// Windows' words for them (ERROR_DISK_FULL, ERROR_INVALID_HANDLE and, as Wine
// reports a pipe without a reader, ERROR_PIPE_NOT_CONNECTED), as Wine has them.
const char *const disk_full = "Disk full.", *const invalid_handle = "Invalid handle.";
const std::vector<text> x_y{"X=x;y"};
const std::vector<text> long_v{[] { return "V=" + std::string(100000, ';'); }}; // not PATH: Wine's
const std::vector<text> long_a{[] { return "V=" + std::string(100000, 'a'); }};
// The first 16 KiB that ruvo writes of long_a's listing: on Windows each
// newline of the header takes a CR too.
std::string first_16_kib() {
    return shown("V", std::string(16384 - header("V").size() - (on_windows() ? 3 : 0), 'a'));
}
const std::string x_header = "Content of environment variable X\n";
const std::string nope_notice = "Environment variable NOPE is empty!\n";
const std::string count_line = "Program ruvo has been called with 2 parameters.\n";
const std::string usage_2 = usage("2");
const std::string usage_unclosed = usage_2.substr(0, usage_2.size() - sep.size());

const failure_case failures[] = {
    {"full, listing", full, {}, two_paths, nullptr, "", no_space, 2, disk_full},
    {"full, notice", full, {"nope"}, two_paths, nullptr, "", no_space, 2, disk_full},
    {"full, usage", full, {"a", "b"}, two_paths, nullptr, "", no_space, 2, disk_full},
    {"full, long listing", full, {"v"}, long_v, nullptr, "", no_space, 2, disk_full},
    {"closed, listing", closed, {}, two_paths, nullptr, "", bad_fd, 2, invalid_handle},
    {"closed, usage", closed, {"a", "b"}, two_paths, nullptr, "", bad_fd, 2, invalid_handle},
    // A write that takes part of a piece is continued; the next one fails.
    {"file of 16 KiB, long listing",
     stdout_target::file_of_16_kib,
     {"v"},
     long_a,
     nullptr,
     first_16_kib,
     "File too large",
     2,
     "General failure."},
    // The first failure is named, not the ones that follow it.
    {"full, long listing, first write fails otherwise", full, {"v"}, long_v, "1", "", quota, 2},
    // Writes: separator, header, separator, listing.
    {"tty, listing, first write", tty, {"x"}, x_y, "1", "", quota, 2},
    {"tty, listing, header", tty, {"x"}, x_y, "2", sep, quota, 2},
    {"tty, listing, last write", tty, {"x"}, x_y, "4", sep + x_header + sep, quota, 2},
    {"tty, listing, from the second separator on", tty, {"x"}, x_y, "3+", sep + x_header, quota, 2},
    // Writes: separator, notice, separator.
    {"tty, notice, first write", tty, {"nope"}, {}, "1", "", quota, 2},
    {"tty, notice, notice", tty, {"nope"}, {}, "2", sep, quota, 2},
    {"tty, notice, last write", tty, {"nope"}, {}, "3", sep + nope_notice, quota, 2},
    // Writes: separator, count line, lines 2 to 6, separator.
    {"tty, usage, first write", tty, {"a", "b"}, {}, "1", "", quota, 2},
    {"tty, usage, examples", tty, {"a", "b"}, {}, "3", sep + count_line, quota, 2},
    {"tty, usage, last write", tty, {"a", "b"}, {}, "4", usage_unclosed, quota, 2},
    // A console that cannot be written: Windows' words for the failure, in
    // the ANSI code page (Turkish: 1254).
    {"terminal open for reading",
     tty_input,
     {},
     {"LC_ALL=tr_TR.UTF-8", "PATH=/usr/bin;/bin"},
     nullptr,
     "",
     bad_fd,
     2,
     "Ge\xe7"
     "ersiz i\xfeleme."},
    // Standard error on a console: Windows' words in the console's characters.
    {"terminal open for reading, error shown",
     tty_input_shown,
     {},
     {"LC_ALL=ru_RU.UTF-8", "V=v"},
     nullptr,
     "",
     bad_fd,
     2,
     "\xd0\x9d\xd0\xb5\xd0\xb2\xd0\xb5\xd1\x80\xd0\xbd\xd1\x8b\xd0\xb9 "
     "\xd0\xb4\xd0\xb5\xd1\x81\xd0\xba\xd1\x80"
     "\xd0\xb8\xd0\xbf\xd1\x82\xd0\xbe\xd1\x80."}, // Russian: code pages 1251 (ANSI) and 866 (OEM)
    // Like any filter: SIGPIPE ends ruvo, unless it is ignored.
    {"reader gone", gone, {}, two_paths, nullptr, "", "", 128 + SIGPIPE},
    {"reader gone, SIGPIPE ignored",
     gone_ignored,
     {},
     two_paths,
     nullptr,
     "",
     "Broken pipe",
     2,
     "Pipe not connected."},
};

void PrintTo(const failure_case& f, std::ostream* os) {
    *os << f.what;
}

class write_failure : public program_test, public testing::WithParamInterface<failure_case> {};

TEST_P(write_failure, is_reported_once) {
    const failure_case& f = GetParam();
    if (on_windows() && f.target == gone)
        GTEST_SKIP() << "Windows has no SIGPIPE";
    if (f.fail_writes != nullptr) {
        if (on_windows())
            GTEST_SKIP() << "strace cannot pick ruvo.exe's writes out of Wine's";
        skip_when_missing(strace_missing());
        if (IsSkipped() || HasFailure())
            return;
    }
    run_result r = run_ruvo(f.args, made(f.env), f.target, f.fail_writes);
    SCOPED_TRACE(as_run(r));
    const std::string reason = on_windows() && f.windows_reason ? f.windows_reason : f.reason;
    const std::string line =
        reason.empty() ? "" : "ruvo: standard output could not be written: " + reason + "\n";
    const bool shown = f.target == tty_input_shown;
    EXPECT_PRED_FORMAT2(same_bytes, printed(r, f.target),
                        as_shown(*f.out + (shown ? line : ""), f.target));
    EXPECT_PRED_FORMAT2(same_bytes, as_lf(r.err), shown ? "" : line);
    EXPECT_EQ(r.status, f.status);
}

INSTANTIATE_TEST_SUITE_P(failures, write_failure, testing::ValuesIn(failures),
                         row_name<failure_case>);

} // namespace
