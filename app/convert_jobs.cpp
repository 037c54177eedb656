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

// One child process and the tasks it was given, converted in their order.
struct TJob {
    std::vector<size_t> tasks;  // indexes in the run
    size_t next = 0;            // tasks[next] is the one being converted; those before it have ended
    std::unique_ptr<QProcess> process;
    QByteArray pending;  // stdout not yet split into lines
    QByteArray errors;   // stderr
    int frames = 0;      // progress of tasks[next]
    int total = 0;
    bool current() const { return next < tasks.size(); }
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
            if (!job->current()) continue;
            if (job->total > 0) framesTotal += job->total - expected[job->tasks[job->next]];
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

    // The child numbers its tasks by their place in its list; the lines between two task ends are about the
    // task it is converting.
    auto handleLine = [&](TJob& job, const QByteArray& line) {
        const QJsonObject e = QJsonDocument::fromJson(line).object();
        const QString event = e.value("event").toString();
        const int current = job.current() ? static_cast<int>(job.tasks[job.next]) : -1;
        if (event == "status") {
            // Each child ends its run with this line; the batch says it once, at its end.
            const std::string text = e.value("line").toString().toStdString();
            if (text != "Status:> All Finished") reporter.statusLine(text, current);
        } else if (event == "progress" && current >= 0) {
            job.frames = e.value("frames").toInt();
            job.total = e.value("total").toInt();
            reporter.taskProgress(current, job.frames, job.total);
            report();
        } else if (event == "task") {
            const int place = e.value("task").toInt(-1);
            if (place < 0 || static_cast<size_t>(place) >= job.tasks.size()) return;
            finishTask(job.tasks[static_cast<size_t>(place)], e.value("done").toBool(),
                       e.value("output").toString().toStdString(),
                       e.value("reason").toString().toStdString());
            while (job.current() && (*results)[job.tasks[job.next]].ended)
                ++job.next;
            job.frames = job.total = 0;
        }
    };

    std::function<void()> startNext;
    auto jobEnded = [&](TJob* job, int exitCode, QProcess::ExitStatus how) {
        job->pending += job->process->readAllStandardOutput();
        for (const QByteArray& line : job->pending.split('\n'))
            if (!line.trimmed().isEmpty()) handleLine(*job, line);
        job->pending.clear();
        if (job->current()) {
            // The child ended without reporting the task it was converting: its last words on stderr say
            // why. Its tasks after that one go back to the queue (unless the run is stopping).
            QByteArray why = job->errors.trimmed();
            const int cut = why.lastIndexOf('\n');
            if (cut >= 0) why = why.mid(cut + 1);
            std::string reason = why.toStdString();
            if (reason.empty())
                reason = how == QProcess::CrashExit
                             ? "the conversion process crashed"
                             : "the conversion process ended with status " + std::to_string(exitCode);
            const size_t index = job->tasks[job->next];
            finishTask(index, false, run.tasks[index].output, reason);
            for (size_t i = job->tasks.size(); i-- > job->next + 1;)
                if (!(*results)[job->tasks[i]].ended) waiting.push_front(job->tasks[i]);
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

    // Each child starts once (the program, its libraries, the player) and converts a share of the waiting
    // tasks, in the run's order: their frames up to the waiting frames over the number of jobs. The shares
    // shrink as the queue does, so the children end close together, and a batch of many movies starts a few
    // processes per job rather than one per movie.
    int listCount = 0;
    startNext = [&] {
        while (!stopping && static_cast<int>(running.size()) < options.jobs && !waiting.empty()) {
            long long waitingFrames = 0;
            for (size_t index : waiting)
                waitingFrames += std::max(1, expected[index]);
            const long long share = (waitingFrames + options.jobs - 1) / options.jobs;
            auto job = std::make_unique<TJob>();
            std::vector<TaskListEntry> list;
            long long frames = 0;
            while (!waiting.empty() &&
                   (job->tasks.empty() || frames + std::max(1, expected[waiting.front()]) <= share)) {
                const size_t index = waiting.front();
                waiting.pop_front();
                frames += std::max(1, expected[index]);
                job->tasks.push_back(index);
                list.emplace_back();
                list.back().task = std::make_unique<TCovSettings>(*run.tasks[index].task);
            }
            const std::string listPath =
                QDir(lists.path()).filePath(QString("job%1.ini").arg(++listCount)).toStdString();
            try {
                SaveTaskList(listPath, list);
            } catch (const std::exception& e) {
                for (size_t index : job->tasks)
                    finishTask(index, false, run.tasks[index].output, e.what());
                continue;
            }
            job->process = std::make_unique<QProcess>();
            QProcess* p = job->process.get();
            TJob* raw = job.get();
            // A process group of its own: a Ctrl+C on the terminal reaches the parent alone, which stops each
            // child once (a second signal would end a child at once, before it finishes its file).
            p->setChildProcessModifier([] { ::setpgid(0, 0); });
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(kJobEnvironment, "1");
            p->setProcessEnvironment(environment);
            // One job in the child: its share is converted in turn (several tasks would start jobs of their
            // own).
            QStringList args{"convert", "--tasks", QString::fromStdString(listPath), "-y", "--json",
                             "--jobs",  "1"};
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
                const std::string reason =
                    "cannot start " + options.program + ": " + raw->process->errorString().toStdString();
                for (size_t index : raw->tasks)
                    finishTask(index, false, run.tasks[index].output, reason);
                raw->next = raw->tasks.size();
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
