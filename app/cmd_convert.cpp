#include "app/cmd_convert.h"

#include <QApplication>
#include <QFileInfo>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include <sys/socket.h>
#include <chrono>

#include "app/convert_options.h"
#include "app/convert_progress.h"
#include "app/convert_tasks.h"
#include "audio/record_frm.h"
#include "convert/interact_frm.h"
#include "convert/recording_hooks.h"
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
// message pumping. A second signal ends the process at once.
int gSignalPipe[2] = {-1, -1};

extern "C" void onStopSignal(int sig) {
    char c = static_cast<char>(sig);
    [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &c, 1);
    std::signal(sig, SIG_DFL);
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
    if (request.listCodecs) return listCodecs(request);

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

    std::vector<TConvertReporter::TTaskInfo> infos;
    for (const TPreparedTask& t : run.tasks)
        infos.push_back({t.movie, t.output});
    TReportMode mode = request.json                 ? TReportMode::Json
                       : ::isatty(::fileno(stderr)) ? TReportMode::Terminal
                                                    : TReportMode::Log;
    TConvertReporter reporter(mode, infos, stderr, stdout, monotonicSeconds);

    // What was refused before the run (a missing movie, an output that exists) is reported first.
    for (size_t i = 0; i < run.tasks.size(); ++i)
        if (!run.tasks[i].error.empty()) reporter.taskEnded(static_cast<int>(i), false, run.tasks[i].error);

    int done = 0, failed = 0;
    bool interrupted = false;
    if (run.checkedCount() > 0) {
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

        std::vector<TTaskItem> items;
        for (TPreparedTask& t : run.tasks)
            items.push_back({t.checked && t.error.empty(), t.task.get()});
        frm.setTaskItems(std::move(items));

        QObject::connect(&frm, &TInteractFrm::statusLine,
                         [&](const QString& line) { reporter.statusLine(line.toStdString()); });
        QObject::connect(&frm, &TInteractFrm::currentProgress,
                         [&](int position, int maximum) { reporter.currentProgress(position, maximum); });
        QObject::connect(&frm, &TInteractFrm::totalProgress,
                         [&](int position, int maximum) { reporter.totalProgress(position, maximum); });
        QObject::connect(&frm, &TInteractFrm::taskEnded, [&](int index, bool ok, const QString& reason) {
            std::string why = reason.toStdString();
            if (index >= 0 && index < static_cast<int>(run.tasks.size())) {
                TPreparedTask& t = run.tasks[static_cast<size_t>(index)];
                t.ended = true;
                // A task reported done must have left its file; a success without one would be a lie.
                if (ok && t.task->destType != dtImageSequence &&
                    !QFileInfo(QString::fromStdString(t.output)).isFile()) {
                    ok = false;
                    why = t.output + " was not written";
                }
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
            recording = recording ||
                        (t.checked && t.error.empty() && t.task->adoSource == asRecord &&
                         !t.task->adoDirect && (t.task->destType == dtAVI || t.task->destType == dtMPEG));
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
    int status = interrupted ? 130 : failed > 0 ? 1 : 0;
    reporter.finished(done, failed, interrupted, status);
    return status;
}

}  // namespace cli
