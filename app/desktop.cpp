#include "app/desktop.h"

#include <cstdio>

int RunDesktop(int argc, char** argv) {
    // Not built yet: say so instead of opening an empty window.
    std::fputs("tolvikan: the desktop program is not available in this build yet; see 'tolvikan help'\n",
               stderr);
    return 2;
}
