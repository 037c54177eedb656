// Progress of `tolvikan convert`: the conversion window's events turned into text. On a terminal a live line
// (frames done, total, rate and time left) under the status log lines; elsewhere the status log lines alone;
// with --json one JSON object per event on stdout. Owns nothing; the clock is handed in so tests can step it.
// Thread: the command line's main thread.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace cli {

enum class TReportMode { Terminal, Log, Json };

// "0:07", "12:34", "1:02:03".
std::string formatDuration(double seconds);

class TConvertReporter {
  public:
    struct TTaskInfo {
        std::string movie;
        std::string output;
    };

    // err: the status lines, the live line and the failures; out: JSON events. clock: seconds, monotonic.
    TConvertReporter(TReportMode mode, std::vector<TTaskInfo> tasks, std::FILE* err, std::FILE* out,
                     std::function<double()> clock);

    // task: the index of the task the line is about, for the JSON event (-1: none given).
    void statusLine(const std::string& line, int task = -1);
    void currentProgress(int position, int maximum);
    void totalProgress(int position, int maximum);
    void taskEnded(int index, bool done, const std::string& reason);
    // Several tasks at once (--jobs): one task's frames (JSON: a progress event with its index), and the sums
    // the live line shows.
    void taskProgress(int index, int position, int maximum);
    void batchProgress(int tasksDone, int tasksTotal, int running, long long frames, long long framesTotal);
    // Where a task's file ended up, when not where the run started to write it.
    void setOutput(int index, const std::string& output);
    // Everything is over: the summary (JSON: the "finished" event).
    void finished(int done, int failed, bool interrupted, int exitStatus);

  private:
    void clearLiveLine();
    void drawLiveLine();
    std::string movieName(int index) const;

    TReportMode mode_;
    std::vector<TTaskInfo> tasks_;
    std::FILE* err_;
    std::FILE* out_;
    std::function<double()> clock_;

    int currentTask_ = 0;  // the driver's files-done count: the index of the task being converted
    int taskCount_ = 0;
    int lastTotal_ = 0;
    int position_ = 0;
    int maximum_ = 0;
    double taskStart_ = 0;  // when the current task's first frame was counted
    int startPosition_ = 0;
    double lastDraw_ = -1;
    bool liveShown_ = false;
    double batchStart_ = -1;
    long long batchStartFrames_ = 0;
    std::string batchLine_;  // the live line of a batch, drawn again under a status line
};

}  // namespace cli
