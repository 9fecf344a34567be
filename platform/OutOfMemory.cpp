#include "platform/OutOfMemory.h"

#include <cstdio>
#include <cstdlib>

void ExitOutOfMemory() {
    std::fputs("Out of memory.\n", stderr);
    std::exit(1);
}
