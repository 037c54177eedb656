#include "app/convert_progress.h"

#include <cmath>

#include "app/json_text.h"
#include "tasks/file_names.h"

namespace cli {

std::string formatDuration(double seconds) {
    long long s = seconds > 0 && std::isfinite(seconds) ? static_cast<long long>(std::llround(seconds)) : 0;
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
    return buf;
}

TConvertReporter::TConvertReporter(TReportMode mode, std::vector<TTaskInfo> tasks, std::FILE* err,
                                   std::FILE* out, std::function<double()> clock)
    : mode_(mode), tasks_(std::move(tasks)), err_(err), out_(out), clock_(std::move(clock)) {
    taskCount_ = static_cast<int>(tasks_.size());
}

std::string TConvertReporter::movieName(int index) const {
    if (index < 0 || index >= static_cast<int>(tasks_.size())) return "";
    return ExtractFileName(tasks_[index].movie);
}

void TConvertReporter::clearLiveLine() {
    if (!liveShown_) return;
    std::fputs("\r\x1b[K", err_);
    liveShown_ = false;
}

void TConvertReporter::drawLiveLine() {
    std::string line = "[" + std::to_string(currentTask_ + 1) + "/" + std::to_string(taskCount_) + "] " +
                       movieName(currentTask_) + "  " + std::to_string(position_) + "/" +
                       std::to_string(maximum_) + " frames";
    double elapsed = clock_() - taskStart_;
    int counted = position_ - startPosition_;
    if (counted > 0 && elapsed > 0) {
        double rate = counted / elapsed;
        char buf[64];
        std::snprintf(buf, sizeof buf, "  %.1f fps", rate);
        line += buf;
        if (maximum_ > position_) line += "  " + formatDuration((maximum_ - position_) / rate) + " left";
    }
    std::fprintf(err_, "\r%s\x1b[K", line.c_str());
    std::fflush(err_);
    liveShown_ = true;
}

void TConvertReporter::statusLine(const std::string& line, int task) {
    if (mode_ == TReportMode::Json) {
        if (task >= 0)
            std::fprintf(out_, "{\"event\":\"status\",\"task\":%d,\"line\":%s}\n", task,
                         jsonQuote(line).c_str());
        else
            std::fprintf(out_, "{\"event\":\"status\",\"line\":%s}\n", jsonQuote(line).c_str());
        std::fflush(out_);
        return;
    }
    bool redraw = liveShown_;
    clearLiveLine();
    std::fprintf(err_, "%s\n", line.c_str());
    if (redraw && !batchLine_.empty()) {
        std::fprintf(err_, "\r%s\x1b[K", batchLine_.c_str());
        liveShown_ = true;
    } else if (redraw) {
        drawLiveLine();
    }
    std::fflush(err_);
}

void TConvertReporter::currentProgress(int position, int maximum) {
    // The window empties its bars when a run ends; that is no progress of any task.
    if (position == 0 && maximum == 0) return;
    double now = clock_();
    if (position <= 0 || position < position_ || maximum != maximum_) {
        // A new task (or a restarted count): the rate is measured afresh.
        taskStart_ = now;
        startPosition_ = position;
    } else if (startPosition_ == 0 && position_ == 0) {
        // The first frame carries the movie's loading; count from it.
        taskStart_ = now;
        startPosition_ = position;
    }
    position_ = position;
    maximum_ = maximum;
    if (mode_ == TReportMode::Json) {
        std::fprintf(out_, "{\"event\":\"progress\",\"task\":%d,\"frames\":%d,\"total\":%d}\n", currentTask_,
                     position, maximum);
        std::fflush(out_);
        return;
    }
    if (mode_ != TReportMode::Terminal) return;
    // A few redraws a second are enough for the eye; the last frame always shows.
    if (position > 0 && position < maximum && lastDraw_ >= 0 && now - lastDraw_ < 0.1) return;
    lastDraw_ = now;
    drawLiveLine();
}

void TConvertReporter::totalProgress(int position, int maximum) {
    // The same at the end of a run: the count going back to 0 is the bar being emptied.
    if (position < lastTotal_) return;
    lastTotal_ = position;
    if (maximum > 0) taskCount_ = maximum;
    currentTask_ = position < taskCount_ ? position : taskCount_ - 1;
    if (currentTask_ < 0) currentTask_ = 0;
    if (mode_ == TReportMode::Json) {
        std::fprintf(out_, "{\"event\":\"tasks\",\"done\":%d,\"total\":%d}\n", position, maximum);
        std::fflush(out_);
    }
}

void TConvertReporter::taskProgress(int index, int position, int maximum) {
    if (mode_ != TReportMode::Json) return;
    std::fprintf(out_, "{\"event\":\"progress\",\"task\":%d,\"frames\":%d,\"total\":%d}\n", index, position,
                 maximum);
    std::fflush(out_);
}

void TConvertReporter::batchProgress(int tasksDone, int tasksTotal, int running, long long frames,
                                     long long framesTotal) {
    if (mode_ != TReportMode::Terminal) return;
    const double now = clock_();
    if (batchStart_ < 0) {
        batchStart_ = now;
        batchStartFrames_ = frames;
    }
    if (lastDraw_ >= 0 && now - lastDraw_ < 0.1 && frames < framesTotal) return;
    lastDraw_ = now;
    std::string line = "[" + std::to_string(tasksDone) + "/" + std::to_string(tasksTotal) + " done, " +
                       std::to_string(running) + " running]  " + std::to_string(frames) + "/" +
                       std::to_string(framesTotal) + " frames";
    const double elapsed = now - batchStart_;
    const long long counted = frames - batchStartFrames_;
    if (counted > 0 && elapsed > 0) {
        const double rate = counted / elapsed;
        char buf[64];
        std::snprintf(buf, sizeof buf, "  %.1f fps", rate);
        line += buf;
        if (framesTotal > frames) line += "  " + formatDuration((framesTotal - frames) / rate) + " left";
    }
    batchLine_ = line;
    std::fprintf(err_, "\r%s\x1b[K", line.c_str());
    std::fflush(err_);
    liveShown_ = true;
}

void TConvertReporter::setOutput(int index, const std::string& output) {
    if (index >= 0 && index < static_cast<int>(tasks_.size()))
        tasks_[static_cast<size_t>(index)].output = output;
}

void TConvertReporter::taskEnded(int index, bool done, const std::string& reason) {
    if (mode_ == TReportMode::Json) {
        std::string movie = index >= 0 && index < static_cast<int>(tasks_.size()) ? tasks_[index].movie : "";
        std::string output =
            index >= 0 && index < static_cast<int>(tasks_.size()) ? tasks_[index].output : "";
        std::fprintf(
            out_, "{\"event\":\"task\",\"task\":%d,\"movie\":%s,\"output\":%s,\"done\":%s,\"reason\":%s}\n",
            index, jsonQuote(movie).c_str(), jsonQuote(output).c_str(), done ? "true" : "false",
            jsonQuote(reason).c_str());
        std::fflush(out_);
        return;
    }
    clearLiveLine();
    std::string what = index >= 0 && index < static_cast<int>(tasks_.size()) ? tasks_[index].movie : "task";
    if (!done)
        std::fprintf(err_, "tolvikan convert: %s: not converted: %s\n", what.c_str(), reason.c_str());
    else if (!reason.empty())
        std::fprintf(err_, "tolvikan convert: %s: %s, the output holds the frames so far\n", what.c_str(),
                     reason.c_str());
    std::fflush(err_);
}

void TConvertReporter::finished(int done, int failed, bool interrupted, int exitStatus) {
    if (mode_ == TReportMode::Json) {
        std::fprintf(
            out_, "{\"event\":\"finished\",\"done\":%d,\"failed\":%d,\"interrupted\":%s,\"exitStatus\":%d}\n",
            done, failed, interrupted ? "true" : "false", exitStatus);
        std::fflush(out_);
        return;
    }
    clearLiveLine();
    if (failed > 0 || interrupted)
        std::fprintf(err_, "tolvikan convert: %d of %d task%s converted%s\n", done, done + failed,
                     done + failed == 1 ? "" : "s", interrupted ? " (interrupted)" : "");
    std::fflush(err_);
}

}  // namespace cli
