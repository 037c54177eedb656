#include "app/convert_tasks.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tasks/ini_file.h"
#include "tasks/ini_values.h"
#include "tasks/source_file.h"
#include "tasks/swf_probe.h"
#include "tasks/task_list_file.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

std::string absolute(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

// Why a movie cannot become a task, or "" when it can.
std::string movieProblem(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return "no such file";
    if (!fs::is_regular_file(path, ec)) return "not a regular file";
    try {
        TSwfInfo info;
        TSwfProbeDetail detail;
        bool failed = ProbeSwfFile(path, info, &detail);
        if (info.fileType == sftInvalid) return "not a Flash movie or projector";
        if (failed) return detail.error.empty() ? "damaged movie header" : detail.error;
    } catch (const SwfFileError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

size_t TPreparedRun::checkedCount() const {
    size_t n = 0;
    for (const TPreparedTask& t : tasks)
        if (t.checked && t.error.empty()) ++n;
    return n;
}

std::optional<bool> askOnTerminal(const std::string& path) {
    if (!::isatty(STDIN_FILENO) || !::isatty(STDERR_FILENO)) return std::nullopt;
    std::fprintf(stderr, "tolvikan convert: %s exists. Overwrite? [y/N] ", path.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

int prepareMovieTasks(const TConvertRequest& request, TPreparedRun* run, const TOverwriteQuestion& ask,
                      const TCodecSource& codecs) {
    run->tasks.clear();
    for (const std::string& movie : request.movies) {
        TPreparedTask t;
        t.movie = movie;
        t.task = std::make_unique<TCovSettings>();
        std::string path = absolute(movie);
        t.task->swfFilename = path;
        t.error = movieProblem(path);
        if (t.error.empty()) {
            try {
                FillTaskDefaults(*t.task, path, true, codecs);
                const size_t listed = request.listedMovies ? request.listedMovies : request.movies.size();
                t.error = applyConvertOptions(request, path, listed, *t.task, codecs);
            } catch (const std::exception& e) {
                t.error = e.what();
            }
        }
        if (t.error.empty()) t.output = taskOutput(*t.task);
        run->tasks.push_back(std::move(t));
    }
    applyOutputRule(run, request.overwrite, ask);
    return 0;
}

int prepareTaskFile(const TConvertRequest& request, TPreparedRun* run, const TOverwriteQuestion& ask,
                    const TCodecSource& codecs) {
    run->tasks.clear();
    const std::string& path = request.tasksFile;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        std::fprintf(stderr, "tolvikan convert: %s: %s\n", path.c_str(),
                     fs::exists(path, ec) ? "not a regular file" : "no such file");
        return 1;
    }
    std::vector<TaskListEntry> entries;
    std::string text;
    try {
        TaskListOptions options;
        options.codecs = codecs;
        entries = LoadTaskList(path, options);
        std::ifstream in(path, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        text = ss.str();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolvikan convert: %s\n", e.what());
        return 1;
    }

    // The loader drops a task whose movie is gone, or which it could not read, without a word; the file's
    // own list says which ones those were, so a checked one is reported instead of vanishing.
    TIniFile ini = TIniFile::Parse(text);
    long long count = 0;
    if (auto v = ini.read("General", "TaskCount")) count = ParseIniInt(*v).value_or(0);
    size_t next = 0;
    for (long long i = 0; i < count && i < 1000000; ++i) {
        std::string section = "Task" + std::to_string(i);
        std::string movie = ini.read(section, "swfFilename").value_or("");
        bool checked = ParseIniInt(ini.read(section, "IsItemChecked").value_or("")).value_or(1) != 0;
        if (next < entries.size() && entries[next].task->swfFilename == movie) {
            TaskListEntry& e = entries[next++];
            TPreparedTask t;
            t.movie = movie;
            t.checked = e.checked;
            t.task = std::move(e.task);
            t.output = taskOutput(*t.task);
            run->tasks.push_back(std::move(t));
            continue;
        }
        if (!checked) continue;
        TPreparedTask t;
        t.movie = movie.empty() ? section : movie;
        t.task = std::make_unique<TCovSettings>();
        t.task->swfFilename = movie;
        bool exists = !movie.empty() && fs::exists(movie, ec);
        t.error = exists ? "the task could not be read from " + path : "no such file";
        run->tasks.push_back(std::move(t));
    }
    // Whatever the loader returned that the walk above did not meet (a file it read differently) still runs.
    for (; next < entries.size(); ++next) {
        TPreparedTask t;
        t.movie = entries[next].task->swfFilename;
        t.checked = entries[next].checked;
        t.task = std::move(entries[next].task);
        t.output = taskOutput(*t.task);
        run->tasks.push_back(std::move(t));
    }

    bool anyChecked = false;
    for (const TPreparedTask& t : run->tasks)
        anyChecked = anyChecked || t.checked;
    if (!anyChecked) {
        std::fprintf(stderr, "tolvikan convert: %s: no checked task to convert\n", path.c_str());
        return 1;
    }
    applyOutputRule(run, request.overwrite, ask);
    return 0;
}

void applyOutputRule(TPreparedRun* run, TOverwrite overwrite, const TOverwriteQuestion& ask) {
    std::vector<const TPreparedTask*> earlier;
    for (TPreparedTask& t : run->tasks) {
        if (!t.checked || !t.error.empty()) continue;
        for (const TPreparedTask* e : earlier) {
            if (e->output == t.output) {
                t.error = "writes the same output as " + e->movie + ": " + t.output;
                break;
            }
        }
        if (!t.error.empty()) continue;
        earlier.push_back(&t);
        std::string existing = existingOutput(*t.task);
        if (existing.empty() || overwrite == TOverwrite::Yes) continue;
        if (overwrite == TOverwrite::No) {
            t.error = existing + " exists (-n: not overwritten)";
            continue;
        }
        std::optional<bool> answer = ask ? ask(existing) : std::nullopt;
        if (!answer)
            t.error = existing + " exists (-y overwrites it)";
        else if (!*answer)
            t.error = existing + " exists (not overwritten)";
    }
}

}  // namespace cli
