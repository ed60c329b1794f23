// Process entry of ruvo on POSIX systems.
#include "ruvo.h"

int main(int argc, char** argv) {
    return ruvo_main(argc, argv);
}
