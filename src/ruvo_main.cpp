// ruvo: show one environment variable as a list, one element per line.
//
//   ruvo [NAME]
//
// NAME is the variable to show, in any case; P stands for PATH and C for
// CLASSPATH. Without NAME, ruvo shows PATH. Every semicolon of the value ends
// a line. Exit status: 0 when the variable was shown or reported undefined,
// 1 when ruvo was called with two or more parameters (it prints its usage),
// 2 when standard output could not be written (with a line on standard error).
#include "ruvo.h"
#include "texts.h"

// Writable, since the name is upper-cased in place like a parameter would be.
static char default_name[] = "PATH";

void print_usage(int param_count) {
    out_format(usage_count_line, param_count);
    out_text(usage_example_lines);
    out_text(separator_line);
}

// Two or more parameters: usage, and nothing else happens.
static int run_checked(int argc, char** argv) {
    int param_count = argc - 1;
    if (param_count > 1) {
        print_usage(param_count);
        return status_usage;
    }
    // argc of 0 (no element at all, not even the command name) is a call
    // without a parameter; argv[1] exists only when argc is 2.
    char* raw_name = argc == 2 ? argv[1] : default_name;
    return list_variable(resolve_variable_name(raw_name));
}

int ruvo_main(int argc, char** argv) {
    out_begin();
    out_text(separator_line);
    int status = run_checked(argc, argv);
    return out_finish() ? status : status_write_failed;
}
