// TMainFrm: the program's main window and the home of the task list. One item per movie, each owning its task
// record, with a check box and three columns; a summary of the selected task; a preview pane with its own
// player, a seek slider and a frame label; the commands that add, remove, clear and edit tasks, seek the
// preview, open the help page and start a conversion run in the conversion window.
// Loads the task-list file when first shown and saves it on close when the list changed; on destruction
// deletes the system's temporary files that tasks name (and nothing else).
// User-interface thread only. Every modal platform dialog goes through ui/ui_seams.h.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QTreeWidgetItem>

#include <memory>
#include <string>
#include <vector>

#include "tasks/cov_settings.h"
#include "tasks/task_list_file.h"

class TShockwaveFlashEx;
class TSoundOutput;
class TInteractFrm;
class QLabel;
class QMenu;
class QAction;
class QSlider;
class QSplitter;
class QToolButton;
class QPushButton;
class QTreeWidget;

// One item of the task list: it owns its task record, which goes with the item.
class TTaskListItem : public QTreeWidgetItem {
  public:
    explicit TTaskListItem(std::unique_ptr<TCovSettings> task);
    TCovSettings* Task() const { return task_.get(); }

  private:
    std::unique_ptr<TCovSettings> task_;
};

// The three column texts of a task: "movie.swf@/dir/", the sound source, the output.
QString VideoSourceText(const TCovSettings& task);
QString AudioSourceText(const TCovSettings& task);
QString ExportToText(const TCovSettings& task);

class TMainFrm : public QMainWindow {
    Q_OBJECT

  public:
    explicit TMainFrm(QWidget* parent = nullptr);
    ~TMainFrm() override;

    bool Modified = false;  // the list changed since it was loaded; read once, on close
    bool Seeking = false;   // the user holds the seek slider
    TShockwaveFlashEx* PreviewFlash = nullptr;

    // Where the list is kept (TaskListFilePath() unless a test sets another) and how it is read and written.
    std::string TaskListPath;
    TaskListOptions ListOptions;
    // The codec list for new tasks' defaults.
    TCodecSource Codecs = MclCodecSource();
    // The help page beside the executable.
    QString HelpFile;
    // The conversion window the Convert command shows (set at start-up).
    TInteractFrm* InteractFrm = nullptr;

    // --- controls ---
    QTreeWidget* lstFile = nullptr;
    QLabel* labEmptyHint = nullptr;  // shown over the empty list
    QMenu* popMenu = nullptr;
    QAction* menAdd = nullptr;
    QAction* menRemove = nullptr;
    QAction* menClear = nullptr;
    QAction* menSettings = nullptr;
    QAction* menCheckAll = nullptr;
    QAction* menUncheckAll = nullptr;
    QLabel* labType = nullptr;
    QLabel* labCodec = nullptr;
    QLabel* labMode = nullptr;
    QLabel* labColor = nullptr;
    QLabel* labStart = nullptr;
    QLabel* labEnd = nullptr;
    QLabel* labWidth = nullptr;
    QLabel* labHeight = nullptr;
    QLabel* labAudioSource = nullptr;
    QLabel* labAudioFormat = nullptr;
    QWidget* panPreview = nullptr;
    QSlider* trkSeek = nullptr;
    QLabel* labCurrentFrame = nullptr;
    QToolButton* btnAdd = nullptr;
    QToolButton* btnRemove = nullptr;
    QToolButton* btnClear = nullptr;
    QToolButton* btnSettings = nullptr;
    QToolButton* btnHelp = nullptr;
    QPushButton* btnConvert = nullptr;
    QToolButton* btnPlay = nullptr;
    QToolButton* btnPause = nullptr;
    QToolButton* btnStop = nullptr;
    QToolButton* btnBack = nullptr;
    QToolButton* btnForward = nullptr;
    QToolButton* btnSeek = nullptr;

    // --- the list ---
    int TaskCount() const;
    TTaskListItem* TaskItem(int index) const;
    TTaskListItem* SelectedItem() const;

    // --- commands ---
    void btnAddClick();                        // the open dialog, then AddMovies
    void AddMovies(const QStringList& files);  // each file: check, defaults, settings dialog, append
    void btnRemoveClick();
    void btnClearClick();
    void btnSettingsClick();  // edit the selected task
    void CheckAll(bool checked);
    void ShowTaskSummary(TCovSettings& task);
    void ShowCurrentFrame();
    void btnPlayClick();
    void btnPauseClick();
    void btnStopClick();
    void btnBackClick();
    void btnForwardClick();
    void btnSeekClick();
    void trkSeekMouseDown();
    void trkSeekMouseUp();
    void btnConvertClick();
    void btnHelpClick();  // also F1
    // The list changed: marked, and saved at once once the list has been loaded.
    void ListChanged();

    void LoadList();  // the first showing's load, run as soon as the window is on screen
    bool ListLoaded() const { return listLoaded_; }
    void SaveList();  // the closing's save

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::unique_ptr<TSoundOutput> previewSound_;  // the preview's movie sound

    void buildSummary(QWidget* panel);
    void buildPreview(QWidget* panel);
    void buildToolBar();
    void appendTask(std::unique_ptr<TCovSettings> task, bool checked);
    void setColumns(TTaskListItem* item);
    void selectItem(TTaskListItem* item);
    void deleteAllItems();
    std::vector<TaskListItemRef> itemRefs() const;

    bool shown_ = false;
    bool listLoaded_ = false;
    bool updatingItems_ = false;  // item changes made by the window itself, not by a click
};

extern TMainFrm* MainFrm;
