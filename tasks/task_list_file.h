// The task-list file: the main window's tasks and their check boxes, stored as INI text
// (CR LF lines, sections General, Task<i>, DestAVICodecInfo<i>, DestMPEGCodecInfo<i>). Only the main window
// (and tests) call this, on the user-interface thread. Never loses the old list: a save writes a temporary
// file in the same folder and renames it over the old one (QSaveFile).
//
// Errors: a file that exists but cannot be read, and a list that cannot be written, throw TaskListError whose
// message names the file and gives the system's reason; the main window shows it. Damage inside one task
// (a colour that is not hexadecimal) only drops that task; loading goes on with the next one.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tasks/cov_settings.h"

class TaskListError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One item of the main window's list: the record it owns and its check box ("IsItemChecked").
struct TaskListEntry {
    std::unique_ptr<TCovSettings> task;
    bool checked = true;
};

// A borrowed view of one item, for saving a list held elsewhere.
struct TaskListItemRef {
    const TCovSettings* task = nullptr;
    bool checked = true;
};

struct TaskListOptions {
    // Decimal separator of destSplitSize: the user's (QLocale::system()) unless a test sets another.
    std::string decimalSeparator = SystemDecimalSeparator();
    // Codec list for the defaults that each loaded task starts from (FillTaskDefaults without probe).
    TCodecSource codecs = MclCodecSource();
    // Load's last step, run after every load that read the file, whatever the list holds: the recording
    // window's SetDefaultRecordingSource ("Stereo Mix" at full volume). Empty: nothing.
    std::function<void()> setRecordingSource;

    static std::string SystemDecimalSeparator();
};

// Where the list lives: beside the executable with its extension replaced by ".ini" (appended when it has
// none: /usr/bin/tolvikan -> /usr/bin/tolvikan.ini) when that folder is writable, else
// $XDG_CONFIG_HOME/tolvikan/tolvikan.ini (~/.config when XDG_CONFIG_HOME is unset or not absolute).
std::string TaskListFilePath();
// The same rule on given inputs (tests): exePath, whether its folder counts as writable, the XDG_CONFIG_HOME
// value (may be empty) and HOME.
std::string TaskListFilePathFor(const std::string& exePath, bool exeFolderWritable,
                                const std::string& xdgConfigHome, const std::string& home);

// The file's whole text for these items (what SaveTaskList writes).
std::string TaskListText(const std::vector<TaskListItemRef>& items, const TaskListOptions& options = {});

// Save: writes every item in order, whether or not its movie still exists; the parent folder is created when
// missing. Pending user-interface messages are processed after each task. Throws TaskListError.
void SaveTaskList(const std::string& path, const std::vector<TaskListItemRef>& items,
                  const TaskListOptions& options = {});
void SaveTaskList(const std::string& path, const std::vector<TaskListEntry>& entries,
                  const TaskListOptions& options = {});

// Load: a missing file gives an empty list. Tasks whose swfFilename names no existing file are dropped
// silently, so the next save renumbers the rest; a task whose reading fails (a colour that is not
// hexadecimal) is dropped too. A codecName longer than 127 bytes is cut to 127 (at a UTF-8 character
// boundary). Throws TaskListError when the file exists but cannot be read (setRecordingSource is then not
// called).
std::vector<TaskListEntry> LoadTaskList(const std::string& path, const TaskListOptions& options = {});
// Steps 1 to 4 of a load on text already read (LoadTaskList reads the file, runs this, then the recording
// source hook). Does not call setRecordingSource.
std::vector<TaskListEntry> LoadTaskListText(const std::string& text, const TaskListOptions& options = {});
