// tolvikan convert: converts movies headless through the conversion window's driver.
#pragma once

#include <string>
#include <vector>

namespace cli {

// args: everything after "convert". Returns the process exit status.
int runConvert(const std::vector<std::string>& args);

}  // namespace cli
