// `tolvikan convert --jobs N`: the tasks of a run converted N at a time by processes of their own (the
// program itself, `convert --tasks` on a list of a share of the tasks, with --json), so every job has its own
// player and conversion window. The children's JSON events come back to the parent's reporter with the task's
// index in the whole run; the progress line sums them. Stop (Ctrl+C, SIGTERM) stops every child the way it
// stops one conversion and starts no further task. Thread: the command line's main thread (a Qt event loop
// runs while the children work).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/convert_progress.h"
#include "app/convert_tasks.h"

namespace cli {

// Set in the environment of each job: the job is one of a batch (see cmd_convert's stop signals).
constexpr const char* kJobEnvironment = "TOLVIKAN_BATCH_JOB";

struct TJobsOptions {
    int jobs = 2;
    std::string program;                    // the tolvikan executable the children run
    std::vector<std::string> childOptions;  // passed to every child (--background, --verbose)
};

// What one task of the run came to, in the run's order.
struct TTaskResult {
    bool ended = false;
    bool done = false;
    std::string output;  // where its file is (a ".partial" name when it was stopped or failed)
    std::string reason;
};

// Runs the checked, runnable tasks of `run`. results has one entry per task of the run. Returns whether the
// run was interrupted. `onStopHook` receives the function that stops the run (for the signal handler).
bool runJobs(TPreparedRun& run, const TJobsOptions& options, TConvertReporter& reporter,
             std::vector<TTaskResult>* results, const std::function<void(std::function<void()>)>& onStopHook);

// The name a task's file is written under until it is finished: "clip.mp4" -> "clip.partial.mp4".
std::string partialName(const std::string& output);

// The folder an image sequence is written into until it is finished: "out/clip/" -> "out/clip.partial/".
std::string partialFolder(const std::string& folder);

// Moves the finished images of `task` (its numbered files of its frame range, in task.destFilepath) into
// `folder`, made when missing, and removes the emptied partial folder. False with the reason when an image
// cannot be moved (those moved stay moved; the rest stay in the partial folder).
bool finishImageSequence(const TCovSettings& task, const std::string& folder, std::string* error);

// The number of processors to use by default.
int defaultJobs();

}  // namespace cli
