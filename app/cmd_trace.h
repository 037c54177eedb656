// `tolvikan trace`: runs a movie headless and prints what its scripts trace(), one line each.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Runs the command with the arguments after "trace"; returns the process exit status.
int runTrace(const std::vector<std::string>& args);

}  // namespace cli
