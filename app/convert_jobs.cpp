#include "app/convert_jobs.h"

#include <QByteArray>
#include <QDir>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <unistd.h>

#include <deque>
#include <filesystem>
#include <limits>
#include <memory>
#include <thread>

#include "app/convert_options.h"
#include "tasks/file_names.h"
#include "tasks/task_list_file.h"

namespace cli {
namespace {

struct TJob {
    size_t index = 0;  // in the run
    std::unique_ptr<QProcess> process;
    QByteArray pending;  // stdout not yet split into lines
    QByteArray errors;   // stderr
    int frames = 0;
    int total = 0;
};

}  // namespace

std::string partialName(const std::string& output) {
    const std::string ext = ExtractFileExt(output);
    const std::string dir = ExtractFilePath(output);
    const std::string name = ExtractFileName(output);
    if (ext.empty() || ext.size() == name.size()) return output + ".partial";
    return output.substr(0, output.size() - ext.size()) + ".partial" + ext;
}

std::string partialFolder(const std::string& folder) {
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + ".partial/";
}

bool finishImageSequence(const TCovSettings& task, const std::string& folder, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec && !fs::is_directory(folder)) {
        *error = "cannot make the folder " + folder + ": " + ec.message();
        return false;
    }
    for (const std::string& image : existingImages(task, std::numeric_limits<size_t>::max())) {
        const fs::path to = fs::path(folder) / fs::path(image).filename();
        fs::rename(image, to, ec);
        if (ec) {
            *error = "cannot move " + image + " to " + to.string() + ": " + ec.message();
            return false;
        }
    }
    fs::remove(task.destFilepath, ec);  // only when empty: whatever else is there stays
    return true;
}

int defaultJobs() {
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

bool runJobs(TPreparedRun& run, const TJobsOptions& options, TConvertReporter& reporter,
             std::vector<TTaskResult>* results,
             const std::function<void(std::function<void()>)>& onStopHook) {
    results->assign(run.tasks.size(), TTaskResult{});
    QTemporaryDir lists;
    std::deque<size_t> waiting;
    // Frames each task will deliver, for the summed progress before a task has started.
    std::vector<int> expected(run.tasks.size(), 0);
    for (size_t i = 0; i < run.tasks.size(); ++i) {
        const TPreparedTask& t = run.tasks[i];
        if (!t.checked || !t.error.empty()) continue;
        waiting.push_back(i);
        expected[i] = std::max(0, t.task->destEndFrame - t.task->destStartFrame + 1);
    }
    const int total = static_cast<int>(waiting.size());
    int finished = 0;
    bool stopping = false;
    std::vector<std::unique_ptr<TJob>> running;
    QEventLoop loop;

    auto report = [&] {
        long long frames = 0, framesTotal = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            framesTotal += expected[i];
            if ((*results)[i].ended) frames += expected[i];
        }
        for (const auto& job : running) {
            if (job->total > 0) framesTotal += job->total - expected[job->index];
            frames += job->frames;
        }
        reporter.batchProgress(finished, total, static_cast<int>(running.size()), frames, framesTotal);
    };

    auto finishTask = [&](size_t index, bool done, const std::string& output, const std::string& reason) {
        TTaskResult& r = (*results)[index];
        if (r.ended) return;
        r.ended = true;
        r.done = done;
        r.output = output;
        r.reason = reason;
        run.tasks[index].ended = true;
        ++finished;
        reporter.setOutput(static_cast<int>(index), output);
        reporter.taskEnded(static_cast<int>(index), done, reason);
    };

    auto handleLine = [&](TJob& job, const QByteArray& line) {
        const QJsonObject e = QJsonDocument::fromJson(line).object();
        const QString event = e.value("event").toString();
        if (event == "status") {
            // Each child ends its run with this line; the batch says it once, at its end.
            const std::string text = e.value("line").toString().toStdString();
            if (text != "Status:> All Finished") reporter.statusLine(text, static_cast<int>(job.index));
        } else if (event == "progress") {
            job.frames = e.value("frames").toInt();
            job.total = e.value("total").toInt();
            reporter.taskProgress(static_cast<int>(job.index), job.frames, job.total);
            report();
        } else if (event == "task") {
            finishTask(job.index, e.value("done").toBool(), e.value("output").toString().toStdString(),
                       e.value("reason").toString().toStdString());
        }
    };

    std::function<void()> startNext;
    auto jobEnded = [&](TJob* job, int exitCode, QProcess::ExitStatus how) {
        job->pending += job->process->readAllStandardOutput();
        for (const QByteArray& line : job->pending.split('\n'))
            if (!line.trimmed().isEmpty()) handleLine(*job, line);
        job->pending.clear();
        if (!(*results)[job->index].ended) {
            // The child ended without reporting its task: its last words on stderr say why.
            QByteArray why = job->errors.trimmed();
            const int cut = why.lastIndexOf('\n');
            if (cut >= 0) why = why.mid(cut + 1);
            std::string reason = why.toStdString();
            if (reason.empty())
                reason = how == QProcess::CrashExit
                             ? "the conversion process crashed"
                             : "the conversion process ended with status " + std::to_string(exitCode);
            finishTask(job->index, false, run.tasks[job->index].output, reason);
        }
        for (auto it = running.begin(); it != running.end(); ++it)
            if (it->get() == job) {
                it->release()->process.release()->deleteLater();
                delete job;
                running.erase(it);
                break;
            }
        report();
        startNext();
    };

    startNext = [&] {
        while (!stopping && static_cast<int>(running.size()) < options.jobs && !waiting.empty()) {
            const size_t index = waiting.front();
            waiting.pop_front();
            TPreparedTask& t = run.tasks[index];
            const std::string listPath =
                QDir(lists.path()).filePath(QString("task%1.ini").arg(index)).toStdString();
            try {
                std::vector<TaskListEntry> one(1);
                one[0].task = std::make_unique<TCovSettings>(*t.task);
                SaveTaskList(listPath, one);
            } catch (const std::exception& e) {
                finishTask(index, false, t.output, e.what());
                continue;
            }
            auto job = std::make_unique<TJob>();
            job->index = index;
            job->process = std::make_unique<QProcess>();
            QProcess* p = job->process.get();
            TJob* raw = job.get();
            // A process group of its own: a Ctrl+C on the terminal reaches the parent alone, which stops each
            // child once (a second signal would end a child at once, before it finishes its file).
            p->setChildProcessModifier([] { ::setpgid(0, 0); });
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(kJobEnvironment, "1");
            p->setProcessEnvironment(environment);
            QStringList args{"convert", "--tasks", QString::fromStdString(listPath), "-y", "--json"};
            for (const std::string& o : options.childOptions)
                args << QString::fromStdString(o);
            QObject::connect(p, &QProcess::readyReadStandardOutput, [&, raw] {
                raw->pending += raw->process->readAllStandardOutput();
                int at;
                while ((at = raw->pending.indexOf('\n')) >= 0) {
                    const QByteArray line = raw->pending.left(at);
                    raw->pending.remove(0, at + 1);
                    if (!line.trimmed().isEmpty()) handleLine(*raw, line);
                }
            });
            QObject::connect(p, &QProcess::readyReadStandardError,
                             [raw] { raw->errors += raw->process->readAllStandardError(); });
            QObject::connect(p, &QProcess::finished,
                             [&, raw](int code, QProcess::ExitStatus how) { jobEnded(raw, code, how); });
            QObject::connect(p, &QProcess::errorOccurred, [&, raw](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart) return;
                finishTask(
                    raw->index, false, run.tasks[raw->index].output,
                    "cannot start " + options.program + ": " + raw->process->errorString().toStdString());
                jobEnded(raw, -1, QProcess::CrashExit);
            });
            running.push_back(std::move(job));
            p->start(QString::fromStdString(options.program), args);
        }
        if (running.empty()) loop.quit();
    };

    onStopHook([&] {
        stopping = true;
        // Each child stops like one conversion stops: the file being written is finished with its frames.
        for (const auto& job : running)
            job->process->terminate();
    });
    startNext();
    if (!running.empty()) loop.exec();
    onStopHook(nullptr);
    reporter.statusLine("Status:> All Finished");
    return stopping;
}

}  // namespace cli
