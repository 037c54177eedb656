// TInteractFrm: the conversion window. It runs the checked tasks of a task list in order, shows the movie
// being converted in its own Flash host, and hands each task to its output path (video, GIF animation, image
// sequence), with a status log, two progress bars and the options that steer a run.
//
// Owns: its Flash host, the per-task bitmaps and library objects (freed when the task ends) and the options,
// which last for the life of the window. Borrows the task records (TaskItems) while it runs them.
// Thread: the user-interface thread only; the output paths pump the message queue while they wait for frames,
// so Stop, Cancel and the player's clock run nested inside RunTasks.
// Never: block on a message box that a test or the command line cannot answer (every box goes through the
// replaceable seams below); delete a file that is not one of the system's temporary files.
#pragma once

#include <QColor>
#include <QDialog>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QCloseEvent;
class QLabel;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QScrollArea;
class QShowEvent;
class QTimer;
class QWidget;
class TShockwaveFlashEx;
struct MclSource;
struct TCovSettings;
struct TFrameSizes;
struct TGrabSource;
struct TVideoJob;

// One item of the main window's task list: its check mark and its task record (owned by the list).
struct TTaskItem {
    bool checked = false;
    TCovSettings* task = nullptr;
};

// "If some errors occur": what a media-library error during video output does.
enum TErrorPolicy { epAskMe = 0, epIgnore = 1, epAbort = 2 };
// "Background Color": the movie's own background, or BgColor drawn behind every converted movie.
enum TBackgroundOption { boDefault = 0, boCustomize = 1 };
// "Converting Priority": the quality flag handed to the media library (0 fast, 1 better quality).
enum TConvertPriority { cpFastSpeed = 0, cpBetterQuality = 1 };

class TInteractFrm : public QDialog {
    Q_OBJECT

  public:
    explicit TInteractFrm(QWidget* parent = nullptr);
    ~TInteractFrm() override;

    // --- the task list (set before each showing or run) ---
    std::vector<TTaskItem> TaskItems;
    void setTaskItems(std::vector<TTaskItem> items) { TaskItems = std::move(items); }

    // --- commands ---
    void RunTasks();           // "&Start!": converts every checked task in list order
    void StopConverting();     // "S&top": ends the current task with the frames so far, and the run
    void CancelCurrentTask();  // "Cancel current converting": ends the current task, the run goes on

    // --- options (the menus set the same state) ---
    TErrorPolicy errorPolicy() const { return errorPolicy_; }
    void setErrorPolicy(TErrorPolicy policy);
    TConvertPriority priority() const { return priority_; }
    void setPriority(TConvertPriority priority);
    TBackgroundOption backgroundOption() const { return backgroundOption_; }
    // "Default": the movie's own background; BgColor becomes white and the player shows white at once.
    void setBackgroundDefault();
    // "Customize" with a colour chosen (0x00RRGGBB): BgColor := rgb, the player's background at once.
    void setBackgroundCustom(uint32_t rgb);
    // The background colour 0x00RRGGBB: 0 until a background command sets it.
    uint32_t BgColor = 0;

    // Path of the frame-event movie "fps": the executable's folder + "fps" unless set otherwise.
    QString FpsMovieFile;
    void setFpsMovieFile(const QString& path) { FpsMovieFile = path; }

    // Drives the player's clock from the frame loops instead of waiting for its timer, so a conversion runs
    // as fast as capture and encoding allow, in the window as on the command line; the loops pump events
    // every frame, so the window stays responsive and Stop and Cancel act at once. The frame gate works the
    // same way: every clock message still passes the host's hook. Off, the movie's own timer paces the run.
    // (The preview and the sound recording pass have players of their own and keep real time.)
    bool FastClock = true;

    // --- state shared by the output paths, the frame gate and the library callbacks ---
    bool Converting = false;   // a run is active
    bool SkipCurrent = false;  // cancel the current task
    bool FrameReady = false;   // the player is held on a frame not yet captured
    int CurFrame = 1;          // the video output's frame counter
    TCovSettings* CurTask = nullptr;

    // --- seams for message boxes and dialogs (tests and the command line replace them) ---
    // An information box with this text (default: QMessageBox::information over this window).
    std::function<void(const QString& text)> ShowMessage;
    // "Ask me": the Abort / Retry / Ignore box for a library error with this text; returns the action
    // (2 abort, 3 retry, 4 ignore) or any other value for a box closed without a choice.
    std::function<int(const QString& text)> AskErrorAction;
    // The colour dialog: returns true with the chosen colour, false when cancelled.
    std::function<bool(QColor* colour)> ChooseColor;
    // Starts the desktop's volume control in its recording view (default: pavucontrol when installed).
    std::function<void()> OpenVolumeControl;
    // Asked by Start with the files the checked tasks would replace (none: not asked); false: nothing runs.
    // Unset: never asked (the command line has its own rule for existing outputs).
    std::function<bool(const QStringList& existing)> ConfirmReplace;
    // Told at the end of a run: the tasks converted, and "movie: reason" of each that was not converted,
    // stopped or cancelled.
    std::function<void(int converted, const QStringList& notConverted)> RunFinished;

    // --- the window's controls ---
    QMenuBar* menuBar = nullptr;
    QAction* menStart = nullptr;
    QAction* menStop = nullptr;
    QAction* menSkip = nullptr;
    QMenu* menOptions = nullptr;
    QAction* menOptionsAction = nullptr;
    QMenu* menBackground = nullptr;
    QAction* menBgDefault = nullptr;
    QAction* menBgCustomize = nullptr;
    QAction* menErrorAsk = nullptr;
    QAction* menErrorIgnore = nullptr;
    QAction* menErrorAbort = nullptr;
    QAction* menFastSpeed = nullptr;
    QAction* menBetterQuality = nullptr;
    QAction* menRecordDefault = nullptr;
    QAction* menRecordAdvanced = nullptr;
    QAction* menClose = nullptr;
    QAction* menPause = nullptr;
    QAction* menResume = nullptr;
    QScrollArea* scbInteract = nullptr;
    QWidget* panInteract = nullptr;
    TShockwaveFlashEx* FlashCtl = nullptr;
    QPlainTextEdit* memStatus = nullptr;
    QProgressBar* prbTotal = nullptr;
    QLabel* labTotal = nullptr;
    QProgressBar* prbCurrent = nullptr;
    QLabel* labCurrent = nullptr;
    QTimer* timInteract = nullptr;

    // --- output paths (RunTasks calls them; public for the command line and the tests) ---
    bool ConvertToVideo(TCovSettings& task);
    bool ConvertToGIF(TCovSettings& task);
    bool ConvertToImageSequence(TCovSettings& task);

    // --- handlers ---
    void FlashFSCommand(const QString& command, const QString& args);  // the frame gate
    void FlashSkipTimer();                                             // the gate's release
    void timInteractTimer();
    void menBgDefaultClick();
    void menBgCustomizeClick();
    void menRecordDefaultClick();
    void menRecordAdvancedClick();

  signals:
    // Every line appended to the status log.
    void statusLine(const QString& line);
    // prbCurrent / prbTotal moved (also when their maximum changes).
    void currentProgress(int position, int maximum);
    void totalProgress(int position, int maximum);
    // A checked task ended: done when its output was written (also a file cut short by Stop or Cancel, reason
    // "stopped" or "cancelled"), else skipped with the reason (movie missing, folder not creatable, error).
    void taskEnded(int index, bool done, const QString& reason);

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void FormCreate();
    void FormShow();

    void runTask(int index, TCovSettings& task);
    // Writes the movie's own sound for `frames` frames to a temporary WAV file named in task.adoUseFilename.
    void takeMovieSound(TCovSettings& task, int frames);
    void addStatus(const QString& line);
    void setCurrentProgress(int position, int maximum);
    void setCurrentFrames(int position, int maximum);  // bar and "n/m Frames Done"
    void setTotalProgress(int position, int maximum);
    void setRunning(bool running);
    void updateBgSwatch(const QColor& colour);

    // Per-task steps shared by the three output paths.
    static QString movieName(const TCovSettings& task);
    // Why the current task ends before its last frame: "stopped", "cancelled", "aborted after an error", or
    // "" when it runs to its end.
    QString endedEarly() const;
    // The task's last log line: "Finish converting" when it ran to its end, else what ended it and that
    // the output holds the frames so far. `ending` closes the movie's name: "\" to AVI.".
    void addEndStatus(const TCovSettings& task, const QString& ending);
    bool checkInputs(TCovSettings& task, const QString& folder);
    void beginTask(const TFrameSizes& sizes, int maximum);
    int loadMovieForConversion(const TCovSettings& task, bool videoPath);  // returns the first frame number
    void startBySequenceMode(const TCovSettings& task);
    void endPlayback();
    void pumpMessages();
    // One step of waiting for the frame gate: sleeps until the next event, or steps the clock (FastClock).
    void waitForFrame();
    TGrabSource grabSource() const;

    // The media library's callbacks of the video output.
    void VideoSourceProc(MclSource* source);
    void AudioSourceProc(MclSource* source, int32_t index);
    void ErrorProc(int32_t unused, const char* fileName, int32_t* action);

    TErrorPolicy errorPolicy_ = epIgnore;
    TConvertPriority priority_ = cpFastSpeed;
    TBackgroundOption backgroundOption_ = boDefault;
    QTimer* heartbeat_ = nullptr;  // wakes the frame loops' waits during a run
    qint64 taskStartMs_ = 0;       // when the current task's first frame was counted (the title's time left)
    int taskStartFrame_ = 0;
    QString lastSkipReason_;  // why the current task was not converted
    QString stoppedBy_;       // why the current task ended early ("aborted after an error")
    std::unique_ptr<TVideoJob> video_;
};
