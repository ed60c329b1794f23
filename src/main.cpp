// Process entry. The only platform-specific code of ruvo lives here.
#include "ruvo.h"

#ifdef __MINGW32__
// MinGW's start-up expands wildcard patterns of the command line unless the
// program says no; a parameter such as "*" must reach ruvo as typed.
extern "C" {
int _dowildcard = 0;
}
#endif

int main(int argc, char** argv) {
    return ruvo_main(argc, argv);
}
