// `tolvikan render`: pictures of chosen frames of a movie, as PNG (or any format Qt writes by extension).
#pragma once

#include <string>
#include <vector>

namespace cli {

// Runs the command with the arguments after "render"; returns the process exit status. Errors go to stderr.
int runRender(const std::vector<std::string>& args);

}  // namespace cli
