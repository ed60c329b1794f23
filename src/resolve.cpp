// Variable name resolution: the name in upper case, with P and C expanded.
#include "ruvo.h"
#include "texts.h"

#include <cctype>
#include <cstring>

const char* resolve_variable_name(char* name) {
    // The C locale is never left, so only a to z change; bytes above 0x7f
    // must reach toupper as their unsigned value.
    for (char* p = name; *p != '\0'; ++p)
        *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
    const char* resolved = name;
    if (strcmp(resolved, path_abbreviation) == 0)
        resolved = path_name;
    if (strcmp(resolved, classpath_abbreviation) == 0)
        resolved = classpath_name;
    return resolved;
}
