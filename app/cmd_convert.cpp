#include "app/cmd_convert.h"

#include <QApplication>
#include <QFileInfo>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <regex>

#include <sys/socket.h>
#include <chrono>
#include <fstream>

#include "app/convert_jobs.h"
#include "app/convert_options.h"
#include "app/convert_progress.h"
#include "app/convert_tasks.h"
#include "app/json_text.h"
#include "audio/record_frm.h"
#include "convert/interact_frm.h"
#include "convert/recording_hooks.h"
#include "mcl/mcl.h"
#include "tasks/file_names.h"
#include "tasks/swf_probe.h"

namespace cli {
namespace {

int usageError(const std::string& message) {
    std::fprintf(stderr, "%s\n(tolvikan help shows the options)\n", message.c_str());
    return 2;
}

int listCodecs(const TConvertRequest& r) {
    int w = 640, h = 480;
    if (!r.movies.empty()) {
        TSwfInfo info;
        try {
            if (ProbeSwfFile(r.movies[0], info) || info.width < 1 || info.height < 1) {
                std::fprintf(stderr, "tolvikan convert: %s: not a Flash movie or projector\n",
                             r.movies[0].c_str());
                return 1;
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tolvikan convert: %s\n", e.what());
            return 1;
        }
        w = info.width;
        h = info.height;
    }
    if (r.size) {
        w = r.size->first;
        h = r.size->second;
    }
    int bits = r.alpha && *r.alpha != amNone ? 32 : 24;
    for (const TCodecEntry& e : listAviCodecs(w, h, bits))
        std::printf("%s\t%s\n", e.name.c_str(), e.id.c_str());
    return 0;
}

// Ctrl+C and SIGTERM stop the run the way the "Stop" command does: the current output is finished with the
// frames so far. The handler only writes a byte; the stop happens on the main thread, inside the driver's
// message pumping. A second signal ends the process at once, except in a job of `--jobs`: a scheduler that
// stops a batch signals every process of it, and the parent passes its own stop on, so a job may hear two
// signals and must still finish its file (the parent can always be ended by a second signal).
int gSignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t gStopOnce = 0;

extern "C" void onStopSignal(int sig) {
    char c = static_cast<char>(sig);
    [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &c, 1);
    if (!gStopOnce) std::signal(sig, SIG_DFL);
}

class TStopSignals {
  public:
    explicit TStopSignals(std::function<void()> onStop) {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0) return;
        notifier_ = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this, onStop = std::move(onStop)] {
            char c;
            if (::read(gSignalPipe[0], &c, 1) == 1) {
                interrupted_ = true;
                onStop();
            }
        });
        std::signal(SIGINT, onStopSignal);
        std::signal(SIGTERM, onStopSignal);
    }
    ~TStopSignals() {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        notifier_.reset();
        for (int& fd : gSignalPipe) {
            if (fd >= 0) ::close(fd);
            fd = -1;
        }
    }
    bool interrupted() const { return interrupted_; }

  private:
    std::unique_ptr<QSocketNotifier> notifier_;
    bool interrupted_ = false;
};

// Qt's notes that it made up a runtime folder (usual on a server without a login session) and that the
// offscreen platform ignores a window's size hints say nothing about the conversion; every other message
// passes.
QtMessageHandler gQtHandler = nullptr;
void quietQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && (message.startsWith("QStandardPaths: XDG_RUNTIME_DIR") ||
                                 message == "This plugin does not support propagateSizeHints()"))
        return;
    if (gQtHandler) gQtHandler(type, context, message);
}

// FFmpeg's own lines, gathered from whatever thread logs them and handed to the status log on the main
// thread. Errors always; warnings and notes (x264's statistics, muxer remarks) with --verbose.
class TFfmpegLog {
  public:
    explicit TFfmpegLog(bool verbose) {
        MclSetLogSink(verbose ? kInfo : kError, [this](int32_t, const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(line);
        });
    }
    ~TFfmpegLog() { MclSetLogSink(kError, nullptr); }
    TFfmpegLog(const TFfmpegLog&) = delete;
    TFfmpegLog& operator=(const TFfmpegLog&) = delete;

    // Hands the lines gathered so far to `out`, as status lines.
    void drain(const std::function<void(const std::string&)>& out) {
        std::vector<std::string> lines;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lines.swap(lines_);
        }
        static const std::regex address(" @ 0x[0-9a-fA-F]+\\]");
        for (const std::string& line : lines)
            out("Status:> FFmpeg: " + std::regex_replace(line, address, "]"));
    }

  private:
    static constexpr int32_t kError = 16;  // FFmpeg's AV_LOG_ERROR
    static constexpr int32_t kInfo = 32;   // AV_LOG_INFO
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// --from-list: one movie path a line; blank lines and lines starting with '#' are passed over; "-" is stdin.
bool readMovieList(const std::string& path, std::vector<std::string>* movies, std::string* error) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (path != "-") {
        file.open(path);
        if (!file) {
            *error = "tolvikan convert: --from-list " + path + ": cannot be read";
            return false;
        }
        in = &file;
    }
    for (std::string line; std::getline(*in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        movies->push_back(line);
    }
    return true;
}

// A task passed over because -n keeps its existing output: converted by an earlier run, not a failure.
bool isKeptOutput(const std::string& error) {
    return error.find(" exists (-n: not overwritten)") != std::string::npos;
}

// --summary: what this run (or shard) converted, for `tolvikan summary` to merge.
bool writeSummary(const std::string& path, const TConvertRequest& request, const TPreparedRun& run,
                  const std::vector<size_t>& listIndex, const std::vector<TTaskResult>& results,
                  bool interrupted, int done, int failed, int exitStatus) {
    std::string text = "{\"shard\":" + std::to_string(request.shard ? request.shard->index : 0) +
                       ",\"shardCount\":" + std::to_string(request.shard ? request.shard->count : 0);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    text += ",\"host\":" + jsonQuote(host) + ",\"interrupted\":" + (interrupted ? "true" : "false") +
            ",\"done\":" + std::to_string(done) + ",\"failed\":" + std::to_string(failed) +
            ",\"exitStatus\":" + std::to_string(exitStatus) + ",\"tasks\":[";
    bool first = true;
    for (size_t i = 0; i < run.tasks.size(); ++i) {
        const TPreparedTask& t = run.tasks[i];
        if (!t.checked && t.error.empty()) continue;  // an unchecked task of a list is not part of the run
        const TTaskResult& r = results[i];
        const std::string reason = !t.error.empty() ? t.error
                                   : r.ended        ? r.reason
                                                    : "not started: the run was stopped";
        // A stopped task (ended with a reason) left its frames so far under the partial name: not done.
        text += std::string(first ? "" : ",") + "\n{\"index\":" + std::to_string(listIndex[i]) +
                ",\"movie\":" + jsonQuote(t.movie) +
                ",\"output\":" + jsonQuote(r.output.empty() ? t.output : r.output) +
                ",\"done\":" + (t.error.empty() && r.ended && r.done && r.reason.empty() ? "true" : "false") +
                ",\"kept\":" + (isKeptOutput(t.error) ? "true" : "false") +
                ",\"reason\":" + jsonQuote(reason) + "}";
        first = false;
    }
    text += "\n]}\n";
    // Written beside and renamed, so a reader never sees half a summary.
    const std::string temp = path + ".partial";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    return !ec;
}

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int runConvert(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--help" || a == "-h") {
            std::fputs(kConvertUsage, stdout);
            return 0;
        }
    }
    TConvertRequest request;
    std::string error;
    if (!parseConvertArgs(args, &request, &error)) return usageError(error);
    gStopOnce = qEnvironmentVariableIsSet(kJobEnvironment) ? 1 : 0;
    if (request.listCodecs) return listCodecs(request);
    if (!request.fromList.empty() && !readMovieList(request.fromList, &request.movies, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // A shard takes its part of the movies before any is probed; where --output is a folder or a file
    // depends on the whole list.
    std::vector<size_t> listIndex;
    if (request.tasksFile.empty()) {
        request.listedMovies = request.movies.size();
        std::vector<std::string> part;
        for (size_t i = 0; i < request.movies.size(); ++i) {
            if (request.shard && !inShard(*request.shard, i)) continue;
            part.push_back(request.movies[i]);
            listIndex.push_back(i);
        }
        request.movies = std::move(part);
    }

    // The window layer runs headless: Qt's offscreen platform unless the caller chose one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    struct TQuietQt {
        TQuietQt() { gQtHandler = qInstallMessageHandler(quietQtMessages); }
        ~TQuietQt() { qInstallMessageHandler(gQtHandler); }
    } quietQt;
    std::unique_ptr<QApplication> ownApp;
    static int argc = 1;
    static char arg0[] = "tolvikan";
    static char* argv[] = {arg0, nullptr};
    if (!QApplication::instance()) ownApp = std::make_unique<QApplication>(argc, argv);

    TPreparedRun run;
    int prepareStatus =
        request.tasksFile.empty() ? prepareMovieTasks(request, &run) : prepareTaskFile(request, &run);
    if (prepareStatus != 0) return prepareStatus;
    if (!request.tasksFile.empty()) {
        std::vector<TPreparedTask> part;
        for (size_t i = 0; i < run.tasks.size(); ++i) {
            if (request.shard && !inShard(*request.shard, i)) continue;
            part.push_back(std::move(run.tasks[i]));
            listIndex.push_back(i);
        }
        run.tasks = std::move(part);
    }
    std::vector<TTaskResult> results(run.tasks.size());

    std::vector<TConvertReporter::TTaskInfo> infos;
    for (const TPreparedTask& t : run.tasks)
        infos.push_back({t.movie, t.output});
    TReportMode mode = request.json                 ? TReportMode::Json
                       : ::isatty(::fileno(stderr)) ? TReportMode::Terminal
                                                    : TReportMode::Log;
    TConvertReporter reporter(mode, infos, stderr, stdout, monotonicSeconds);
    TFfmpegLog ffmpegLog(request.verbose);
    auto drainLog = [&] { ffmpegLog.drain([&](const std::string& line) { reporter.statusLine(line); }); };
    QTimer logTimer;
    QObject::connect(&logTimer, &QTimer::timeout, drainLog);
    logTimer.start(200);

    // What was refused before the run (a missing movie, an output that exists) is reported first.
    for (size_t i = 0; i < run.tasks.size(); ++i)
        if (!run.tasks[i].error.empty()) reporter.taskEnded(static_cast<int>(i), false, run.tasks[i].error);

    int done = 0, failed = 0;
    bool interrupted = false;
    bool recordsSound = false;
    for (const TPreparedTask& t : run.tasks)
        recordsSound = recordsSound || (t.checked && t.error.empty() && t.task->adoSource == asRecord &&
                                        IsVideoType(t.task->destType));
    int jobs = request.jobs ? *request.jobs : run.checkedCount() > 1 ? defaultJobs() : 1;
    if (jobs > 1 && recordsSound) {
        // A recording pass captures whatever the sound system plays: two at once would record each other.
        if (request.jobs)
            reporter.statusLine("Status:> Sound is recorded from the movies: one task at a time");
        jobs = 1;
    }
    if (jobs > 1 && run.checkedCount() > 1) {
        TJobsOptions options;
        options.jobs = jobs;
        options.program = QCoreApplication::applicationFilePath().toStdString();
        if (const char* own = std::getenv("TOLVIKAN_PROGRAM"); own && *own) options.program = own;
        if (request.background) {
            char rgb[8];
            std::snprintf(rgb, sizeof rgb, "%06X", *request.background & 0xFFFFFF);
            options.childOptions = {"--background", rgb};
        }
        if (request.verbose) options.childOptions.push_back("--verbose");
        std::function<void()> stop;
        TStopSignals stopSignals([&stop] {
            if (stop) stop();
        });
        runJobs(run, options, reporter, &results, [&stop](std::function<void()> f) { stop = std::move(f); });
        interrupted = stopSignals.interrupted();
        for (size_t i = 0; i < run.tasks.size(); ++i)
            if (results[i].ended) (results[i].done ? done : failed)++;
    } else if (run.checkedCount() > 0) {
        TInteractFrm frm;
        frm.FastClock = true;
        frm.ShowMessage = [](const QString& text) {
            std::fprintf(stderr, "tolvikan convert: %s\n", text.toLocal8Bit().constData());
        };
        frm.AskErrorAction = [](const QString&) { return 4; };  // never asked: the policy is "Ignore"
        frm.setErrorPolicy(epIgnore);
        // Without the frame-event movie no frame is ever announced and the frame loops would wait for a Stop
        // that no one gives here.
        bool needsFrameEvents = false;
        for (const TPreparedTask& t : run.tasks)
            needsFrameEvents = needsFrameEvents ||
                               (t.checked && t.error.empty() && t.task->destSequenceMode != smFrameByFrame);
        if (needsFrameEvents && !QFileInfo(frm.FpsMovieFile).isFile()) {
            std::fprintf(
                stderr,
                "tolvikan convert: the frame-event movie %s is missing (it belongs beside the program)\n",
                frm.FpsMovieFile.toLocal8Bit().constData());
            return 1;
        }
        if (request.background) frm.setBackgroundCustom(*request.background);

        // Each file is written under a ".partial" name and takes its own name once finished, and an image
        // sequence is written into a ".partial" folder and moved into its own once finished, so an
        // interrupted batch rerun with -n converts exactly what is missing.
        std::vector<TTaskItem> items;
        for (TPreparedTask& t : run.tasks) {
            const bool runs = t.checked && t.error.empty();
            if (runs && t.task->destType == dtImageSequence)
                t.task->destFilepath = partialFolder(t.output);
            else if (runs)
                t.task->destFilename = ExtractFileName(partialName(t.output));
            items.push_back({runs, t.task.get()});
        }
        frm.setTaskItems(std::move(items));

        QObject::connect(&frm, &TInteractFrm::statusLine, [&](const QString& line) {
            drainLog();  // FFmpeg's lines of the task before come before its finish line
            reporter.statusLine(line.toStdString());
        });
        QObject::connect(&frm, &TInteractFrm::currentProgress,
                         [&](int position, int maximum) { reporter.currentProgress(position, maximum); });
        QObject::connect(&frm, &TInteractFrm::totalProgress,
                         [&](int position, int maximum) { reporter.totalProgress(position, maximum); });
        QObject::connect(&frm, &TInteractFrm::taskEnded, [&](int index, bool ok, const QString& reason) {
            std::string why = reason.toStdString();
            if (index >= 0 && index < static_cast<int>(run.tasks.size())) {
                TPreparedTask& t = run.tasks[static_cast<size_t>(index)];
                TTaskResult& result = results[static_cast<size_t>(index)];
                t.ended = true;
                result.output = t.output;
                const bool images = t.task->destType == dtImageSequence;
                const std::string partial = images ? partialFolder(t.output) : partialName(t.output);
                std::error_code ec;
                const bool written = images ? std::filesystem::is_directory(partial, ec)
                                            : std::filesystem::is_regular_file(partial, ec);
                // A task reported done must have left its file; a success without one would be a lie.
                if (ok && !written) {
                    ok = false;
                    why = t.output + " was not written";
                } else if (ok && why.empty() && images) {
                    std::string error;
                    if (!finishImageSequence(*t.task, t.output, &error)) {
                        ok = false;
                        why = error;
                    }
                } else if (ok && why.empty()) {
                    std::filesystem::rename(partial, t.output, ec);
                    if (ec) {
                        ok = false;
                        why = "cannot rename " + partial + " to " + t.output + ": " + ec.message();
                    }
                }
                if (!ok || !why.empty()) {
                    // Stopped or failed: what was written keeps the partial name (a playable file, the
                    // images so far).
                    if (written) result.output = partial;
                    reporter.setOutput(index, result.output);
                }
                result.ended = true;
                result.done = ok;
                result.reason = why;
            }
            if (ok)
                ++done;
            else
                ++failed;
            reporter.taskEnded(index, ok, why);
        });

        // Sound recorded from a movie comes from the recording window's pass, run by the driver before the
        // video; the window is made only when a task needs it (it loads the MP3 encoder and talks to the
        // sound system).
        std::unique_ptr<TRecordFrm> recordFrm;
        bool recording = false;
        for (const TPreparedTask& t : run.tasks)
            recording = recording || (t.checked && t.error.empty() && t.task->adoSource == asRecord &&
                                      !t.task->adoDirect && IsVideoType(t.task->destType));
        if (recording) {
            TRecordFrm::Options options;
            options.showMessage = [](const QString& text) {
                std::fprintf(stderr, "tolvikan convert: %s\n", text.toLocal8Bit().constData());
            };
            options.logLine = [&reporter](const QString& line) { reporter.statusLine(line.toStdString()); };
            recordFrm = std::make_unique<TRecordFrm>(options);
            recordFrm->CenterOver = &frm;
            TRecordFrm* rf = recordFrm.get();
            RecordingPassHook = [rf](TCovSettings& t) {
                rf->SetTask(&t);
                rf->exec();
            };
            SetDefaultRecordingSourceHook = [rf] { rf->SetDefaultRecordingSource(); };
            rf->SetDefaultRecordingSource();
        }

        TStopSignals stopSignals([&frm, &recordFrm] {
            frm.StopConverting();
            // A recording pass in progress ends too; the driver then sees the stop before the video.
            if (recordFrm && recordFrm->isVisible()) recordFrm->menCancelClick();
        });
        frm.RunTasks();
        interrupted = stopSignals.interrupted();
        RecordingPassHook = nullptr;
        SetDefaultRecordingSourceHook = nullptr;
    }

    // Refused before the run, and checked tasks a stop kept from starting.
    for (size_t i = 0; i < run.tasks.size(); ++i) {
        const TPreparedTask& t = run.tasks[i];
        if (!t.error.empty()) {
            ++failed;
        } else if (t.checked && !t.ended) {
            ++failed;
            reporter.taskEnded(static_cast<int>(i), false, "not started: the run was stopped");
        }
    }
    drainLog();
    int status = interrupted ? 130 : failed > 0 ? 1 : 0;
    reporter.finished(done, failed, interrupted, status);
    if (!request.summaryFile.empty() && !writeSummary(request.summaryFile, request, run, listIndex, results,
                                                      interrupted, done, failed, status)) {
        std::fprintf(stderr, "tolvikan convert: cannot write the summary %s\n", request.summaryFile.c_str());
        if (status == 0) status = 1;
    }
    return status;
}

}  // namespace cli
