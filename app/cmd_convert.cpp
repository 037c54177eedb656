#include "app/cmd_convert.h"

#include <cstdio>

namespace cli {

int runConvert(const std::vector<std::string>& args) {
    // Not built yet: say so instead of pretending to convert.
    std::fputs("tolvikan: convert is not available in this build yet\n", stderr);
    return 2;
}

}  // namespace cli
