// Every text that ruvo prints, each byte exactly as it must appear; no other
// file spells out a message.
#pragma once

// Opens every run, closes the usage block and follows the header and the notice.
inline constexpr char separator_line[] = "------------------------------------------------\n";

// Usage block, line 1: the only line with a placeholder (the parameter count).
inline constexpr char usage_count_line[] = "Program ruvo has been called with %d parameters.\n";

// Usage block, lines 2 to 6: 48 characters each, trailing blanks included.
inline constexpr char usage_example_lines[] = "It should be called with 0 or 1 param(s), e.g.: \n"
                                              "$ ruvo        // 0 params, defaults to PATH     \n"
                                              "$ ruvo PATH   // 1 param,  name of a variable   \n"
                                              "$ ruvo P      // 1 param,  abbrev. for PATH     \n"
                                              "$ ruvo C      // 1 param,  abbrev. for CLASSPATH\n";

// "%s" is the resolved variable name.
inline constexpr char not_defined_notice[] = "Environment variable %s is empty!\n";
inline constexpr char listing_header[] = "Content of environment variable %s\n";

// What each semicolon of a value becomes: it stays at the end of its line.
inline constexpr char element_end[] = ";\n";

// The one line on standard error; "%s" says why the write failed.
inline constexpr char write_failure_message[] = "ruvo: standard output could not be written: %s\n";

inline constexpr char path_abbreviation[] = "P";
inline constexpr char path_name[] = "PATH";
inline constexpr char classpath_abbreviation[] = "C";
inline constexpr char classpath_name[] = "CLASSPATH";
