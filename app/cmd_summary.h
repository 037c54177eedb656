// `tolvikan summary`: the results of a batch converted in parts (the --summary files of its shards) merged
// into one report: what was converted, what failed, and which parts left no summary. Thread: the command
// line's main thread.
#pragma once

#include <string>
#include <vector>

namespace cli {

// One task of a summary file.
struct TSummaryTask {
    std::string movie;
    std::string output;
    bool done = false;
    bool kept = false;  // not converted because -n kept the output an earlier run made
    std::string reason;
};

// What one --summary file holds.
struct TSummaryFile {
    int shard = 0;  // I of "I/N"; 0 when the run was not a shard
    int shardCount = 0;
    std::vector<TSummaryTask> tasks;
    bool interrupted = false;
};

// Reads a file written by `convert --summary`. Returns "" or why it cannot be read.
std::string readSummaryFile(const std::string& path, TSummaryFile* summary);

// Runs the command with the arguments after "summary"; returns 0 when every task of every file was
// converted (or its output kept by -n) and no part is missing, 1 otherwise, 2 for a usage error or a file
// that cannot be read.
int runSummary(const std::vector<std::string>& args);

}  // namespace cli
