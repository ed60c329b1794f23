// Starts the built ruvo with an exact argument vector and environment and
// captures what it prints and how it ends. Either build can be started: the
// program for this machine, or ruvo.exe under Wine when the environment holds
// RUVO_TARGET=windows.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct run_result {
    std::string out;
    std::string err;
    int status;           // exit status, or 128 + signal number
    double cpu_seconds;   // processor time of ruvo, under Wine of ruvo.exe's own process
    std::string raw_out;  // out as the terminal received it
    std::string wine_log; // Wine's own messages, taken out of err
};

enum class stdout_target {
    pipe,
    file,
    full_device,
    closed,
    terminal,                    // a pseudo-terminal in raw mode: ruvo's output is line-buffered;
                                 // under Wine, ruvo.exe's standard output is then a console
    terminal_input,              // the terminal open for reading only; under Wine, the console's
                                 // input, given as standard output (cmd's 1>&0)
    terminal_input_error_shown,  // the same, standard error on the terminal (under Wine, CON)
    terminal_write_only,         // the terminal open for writing only; under Wine, cmd's > CON
    terminal_cells,              // a terminal; under Wine, out is what the console holds when
                                 // ruvo.exe ends, read back unit for unit, row by row, its
                                 // processed output off so that each CR is kept
    null_device,                 // /dev/null; under Wine, NUL
    reader_gone,                 // a pipe whose reader has gone, SIGPIPE at its default
    reader_gone_sigpipe_ignored, // the same, SIGPIPE ignored
    slow_reader,                 // a non-blocking pipe whose reader starts 1 s late; under Wine,
                                 // a PIPE_NOWAIT pipe of 4 KiB whose reader starts 1 s late
    file_of_16_kib,              // a file that may not grow past 16 KiB, SIGXFSZ ignored
};

// True when the tests drive ruvo.exe under Wine.
bool on_windows();

// True when target is a terminal; under Wine, ruvo.exe then writes to a console.
bool on_terminal(stdout_target target);

// The file of the 32-bit ruvo.exe, the program for Windows.
const char* windows_program();

// Base of the tests that start the program: skips them, with the reason, when
// the selected build cannot run on this machine. With CI=true that is a
// failure instead, since CI must run every build.
class program_test : public testing::Test {
  protected:
    void SetUp() override;
};

// Output with every newline as LF. Windows' runtime keeps standard output and
// standard error in text mode, so each newline arrives as CR LF: this checks
// that every LF has its CR and drops those CRs.
std::string as_lf(const std::string& raw);

// What a terminal shows of what Wine's console sent it. The console hides
// the cursor around each write, and instead of blanks at the end of a line
// it erases the rest of the line, or moves the cursor on after the line's
// last character: the cursor sequences are dropped, a move written as
// blanks.
std::string console_text(const std::string& raw);

// text without the blanks before each line end and at its end, which a
// console sends or not depending on how they were written to it.
std::string without_line_end_blanks(const std::string& text);

// At most limit bytes of text from byte from on, escaped onto one line,
// with "..." where text goes on and its length when it is cut.
std::string excerpt(const std::string& text, std::size_t from = 0, std::size_t limit = 300);

// For EXPECT_PRED_FORMAT2: on a difference, what a person needs to see it,
// never a whole long text: both lengths, and the first differing byte with
// the bytes around it.
testing::AssertionResult same_bytes(const char* actual_expression, const char* expected_expression,
                                    const std::string& actual, const std::string& expected);

// args excludes the command name; env holds NAME=VALUE strings and nothing
// else reaches the program. Under Wine a Windows parent starts ruvo.exe with
// args and env, in WTF-8, as its UTF-16 command line and the first entries
// of its environment block, Wine's own entries after them; LC_ settings
// choose Wine's locale instead (C.UTF-8 otherwise): LC_CTYPE its ANSI code
// page, LC_MESSAGES the user's language, whose code page may differ. Every run starts in a
// folder that holds the files a.txt, b.txt and P, which a wildcard in a
// parameter would match if the start-up expanded it. fail_writes, when
// given, runs ruvo under strace, which makes the writes to a terminal or
// /dev/full that it picks fail with EDQUOT (strace's when= expression: "2"
// the second write, "2+" every write from the second on).
run_result run_ruvo(const std::vector<std::string>& args, const std::vector<std::string>& env,
                    stdout_target target = stdout_target::pipe, const char* fail_writes = nullptr);

// The fields of file's version resource as Windows' version.dll reads them,
// one key=value line each (under Wine).
std::string read_version_resource(const std::string& file);

// Why run_ruvo cannot make writes fail on this machine; empty when it can.
std::string strace_missing();

// Skips the running test, giving why, unless why is empty. With CI=true that
// is a failure instead, since CI must run every test.
void skip_when_missing(const std::string& why);
