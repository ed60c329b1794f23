// The routines of one ruvo run, in the order a run calls them; the writes to
// standard output come from all of them, between out_begin and out_finish.
#pragma once

#include <stddef.h>

// Exit statuses.
enum ruvo_status { status_ok = 0, status_usage = 1, status_write_failed = 2 };

// The whole run, from the argument vector to the exit status.
int ruvo_main(int argc, char** argv);

// Starts the run's standard output. Every byte of it goes through the out_
// routines, so that a failed write is reported once, at the end of the run,
// whatever call it happened in, and stops the writes after it.
void out_begin();

// Prints the usage block for a call with param_count parameters.
void print_usage(int param_count);

// Upper-cases name in place and expands the abbreviations P and C; returns
// either name itself or a constant expansion.
const char* resolve_variable_name(char* name);

// Looks name up in the environment and prints the notice or the listing.
int list_variable(const char* name);

// The writes: each remembers the first failure, and after it writes nothing.
void out_format(const char* format, ...);
void out_text(const char* text);
void out_bytes(const char* bytes, size_t count);

// On a failure, reports it on standard error and returns false.
bool out_finish();
