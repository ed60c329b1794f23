// Runs ruvo_main in this process with standard output sent to a temporary
// file, for cases that need no process of their own.
#pragma once

#include "ruvo.h"

#include <cstdio>
#include <string>
#include <unistd.h>

inline std::string captured_run(int argc, char** argv, int& status) {
    fflush(stdout);
    FILE* sink = tmpfile();
    int saved = dup(STDOUT_FILENO);
    dup2(fileno(sink), STDOUT_FILENO);
    status = ruvo_main(argc, argv);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    fseek(sink, 0, SEEK_END);
    std::string text(static_cast<std::size_t>(ftell(sink)), '\0');
    rewind(sink);
    text.resize(fread(text.data(), 1, text.size(), sink));
    fclose(sink);
    return text;
}
