// `tolvikan probe`: what the movie header of each file says, one line (or JSON object) per file.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Runs the command with the arguments after "probe"; returns the process exit status (1 when any file was
// missing, unreadable or not a movie; the other files are still probed).
int runProbe(const std::vector<std::string>& args);

}  // namespace cli
