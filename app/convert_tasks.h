// The tasks of one `tolvikan convert` run, before the conversion window takes them: a task per movie made
// with FillTaskDefaults and the command's options, or the checked tasks of a task-list file; then the rule
// for outputs that exist already (-y, -n, or a question on a terminal) and for two tasks writing the same
// output. A task that cannot run keeps its place in the list, unchecked, with the reason, so the run's report
// keeps the order of the command line (or of the file). Thread: the command line's main thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/convert_options.h"
#include "tasks/cov_settings.h"

namespace cli {

struct TPreparedTask {
    std::string movie;                   // as the command line or the file names it
    std::string output;                  // file, or folder of an image sequence
    std::unique_ptr<TCovSettings> task;  // always set (an empty record for a movie that could not be read)
    bool checked = true;                 // false: an unchecked task of a task-list file, passed over
    std::string error;                   // why a checked task does not run; "" when it runs
    bool ended = false;                  // the conversion window reported its end
};

struct TPreparedRun {
    std::vector<TPreparedTask> tasks;
    // Tasks that are checked and not refused.
    size_t checkedCount() const;
};

// Asked for each output that exists when neither -y nor -n was given. Returns whether to overwrite, or
// nothing when nobody can be asked (not a terminal): the output is then kept and the task not converted.
using TOverwriteQuestion = std::function<std::optional<bool>(const std::string& path)>;
// The question on the terminal (stderr, answer on stdin); nothing when stdin or stderr is not a terminal.
std::optional<bool> askOnTerminal(const std::string& path);

// A task per movie of the request. Returns 0, or an exit status for an error that ends the command before
// any task (its message printed on stderr).
int prepareMovieTasks(const TConvertRequest& request, TPreparedRun* run,
                      const TOverwriteQuestion& ask = askOnTerminal,
                      const TCodecSource& codecs = MclCodecSource());

// The tasks of request.tasksFile: checked tasks run, unchecked ones keep their place unchecked; a checked
// task the loader dropped (its movie is gone, or the task could not be read) is listed with that reason.
// Returns 0, or 1 when the file cannot be read or holds no checked task (message on stderr).
int prepareTaskFile(const TConvertRequest& request, TPreparedRun* run,
                    const TOverwriteQuestion& ask = askOnTerminal,
                    const TCodecSource& codecs = MclCodecSource());

// The output rule over the runnable tasks of a run, in order: a task writing the output of an earlier one is
// refused; an existing output is overwritten with -y, kept with -n, else `ask` decides.
void applyOutputRule(TPreparedRun* run, TOverwrite overwrite, const TOverwriteQuestion& ask);

}  // namespace cli
