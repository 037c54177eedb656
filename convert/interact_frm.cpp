#include "convert/interact_frm.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <exception>
#include <stdexcept>
#include <thread>

#include "capture/shockwave_flash_ex.h"
#include "convert/movie_sound.h"
#include "convert/recording_hooks.h"
#include "convert/task_objects.h"
#include "tasks/cov_settings.h"
#include "tasks/file_names.h"
#include "tasks/swf_probe.h"

namespace {

// Keeps the frame loops' waits from sleeping longer than this when no other event is due.
constexpr int kHeartbeatMs = 100;

// Threads that draw each picture of a conversion: two where the machine has the cores, as drawing is most
// of a conversion's work on the thread that feeds the encoder. A job of a batch (app/convert_jobs marks its
// processes with TOLVIKAN_BATCH_JOB) draws on one: the batch's other jobs keep the other cores busy.
int DrawingThreads() {
    if (qEnvironmentVariableIsSet("TOLVIKAN_BATCH_JOB")) return 1;
    return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

QString filesDone(int position, int count) {
    return QString::number(position) + "/" + QString::number(count) + " Files Done";
}

}  // namespace

TInteractFrm::TInteractFrm(QWidget* parent) : QDialog(parent) {
    FormCreate();
}

TInteractFrm::~TInteractFrm() = default;

void TInteractFrm::FormCreate() {
    setWindowTitle("Converting...");
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setFont(QFont("Arial"));
    resize(599, 391);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    menuBar = new QMenuBar(this);
    layout->setMenuBar(menuBar);
    menStart = menuBar->addAction("&Start!", this, [this] { RunTasks(); });
    menStop = menuBar->addAction("S&top", this, [this] { StopConverting(); });
    menSkip = menuBar->addAction("Cancel current converting", this, [this] { CancelCurrentTask(); });

    menOptions = menuBar->addMenu("Options");
    menOptionsAction = menOptions->menuAction();

    menBackground = menOptions->addMenu("Background Color");
    auto* bgGroup = new QActionGroup(this);
    menBgDefault = menBackground->addAction("Default", this, [this] { menBgDefaultClick(); });
    menBgCustomize = menBackground->addAction("Customize", this, [this] { menBgCustomizeClick(); });
    for (QAction* a : {menBgDefault, menBgCustomize}) {
        a->setCheckable(true);
        bgGroup->addAction(a);
    }
    menBgDefault->setChecked(true);
    updateBgSwatch(Qt::white);

    QMenu* errors = menOptions->addMenu("If some errors occur");
    auto* errorGroup = new QActionGroup(this);
    menErrorAsk = errors->addAction("Ask me", this, [this] { setErrorPolicy(epAskMe); });
    menErrorIgnore = errors->addAction("Ignore(Recommended)", this, [this] { setErrorPolicy(epIgnore); });
    menErrorAbort = errors->addAction("Abort", this, [this] { setErrorPolicy(epAbort); });
    for (QAction* a : {menErrorAsk, menErrorIgnore, menErrorAbort}) {
        a->setCheckable(true);
        errorGroup->addAction(a);
    }

    QMenu* priority = menOptions->addMenu("Converting Priority");
    auto* priorityGroup = new QActionGroup(this);
    menFastSpeed = priority->addAction("Fast Speed", this, [this] { setPriority(cpFastSpeed); });
    menBetterQuality = priority->addAction("Better Quality", this, [this] { setPriority(cpBetterQuality); });
    for (QAction* a : {menFastSpeed, menBetterQuality}) {
        a->setCheckable(true);
        priorityGroup->addAction(a);
    }

    QMenu* recording = menOptions->addMenu("Recording Settings");
    menRecordDefault = recording->addAction("&Default", this, [this] { menRecordDefaultClick(); });
    menRecordAdvanced = recording->addAction("&Advanced", this, [this] { menRecordAdvancedClick(); });

    menClose = menuBar->addAction("&Close", this, [this] { close(); });
    menPause = menuBar->addAction("&Pause");
    menResume = menuBar->addAction("&Resume");
    menPause->setVisible(false);
    menResume->setVisible(false);

    setErrorPolicy(epIgnore);
    setPriority(cpFastSpeed);

    // The player panel in a scroll box: the panel takes the player size of each task.
    scbInteract = new QScrollArea(this);
    scbInteract->setWidgetResizable(false);
    panInteract = new QWidget;
    panInteract->setAutoFillBackground(true);
    panInteract->setFixedSize(352, 240);
    scbInteract->setWidget(panInteract);
    layout->addWidget(scbInteract, 1);

    FlashCtl = new TShockwaveFlashEx(panInteract);
    FlashCtl->setDrawingThreads(DrawingThreads());
    FlashCtl->setGeometry(panInteract->rect());
    FlashCtl->setVisible(true);
    FlashCtl->Movie(" ");
    FlashCtl->OnFSCommand = [this](TShockwaveFlash*, const QString& command, const QString& args) {
        FlashFSCommand(command, args);
    };
    FlashCtl->OnSkipTimer = [this](TShockwaveFlashEx*) { FlashSkipTimer(); };
    FlashCtl->OnBeforeTimer = [](TShockwaveFlashEx*) {};
    FlashCtl->OnAfterTimer = [](TShockwaveFlashEx*) {};

    memStatus = new QPlainTextEdit(this);
    memStatus->setReadOnly(true);
    memStatus->setFixedHeight(69);
    memStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(memStatus);

    auto* statusBar = new QWidget(this);
    auto* bar = new QHBoxLayout(statusBar);
    bar->setContentsMargins(4, 2, 4, 2);
    bar->addWidget(new QLabel(" Converting progress", statusBar));
    bar->addWidget(new QLabel("Total:", statusBar));
    prbTotal = new QProgressBar(statusBar);
    prbTotal->setTextVisible(false);
    bar->addWidget(prbTotal, 1);
    labTotal = new QLabel(statusBar);
    bar->addWidget(labTotal);
    bar->addWidget(new QLabel("Current:", statusBar));
    prbCurrent = new QProgressBar(statusBar);
    prbCurrent->setFormat("%p%");  // the current task's percentage, in the bar
    bar->addWidget(prbCurrent, 1);
    labCurrent = new QLabel(statusBar);
    bar->addWidget(labCurrent);
    layout->addWidget(statusBar);

    timInteract = new QTimer(this);
    timInteract->setInterval(200);
    connect(timInteract, &QTimer::timeout, this, [this] { timInteractTimer(); });
    heartbeat_ = new QTimer(this);
    heartbeat_->setInterval(kHeartbeatMs);

    FpsMovieFile = QDir(QCoreApplication::applicationDirPath()).filePath("fps");

    ShowMessage = [this](const QString& text) { QMessageBox::information(this, windowTitle(), text); };
    AskErrorAction = [this](const QString& text) {
        auto answer = QMessageBox::warning(this, windowTitle(), text,
                                           QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
        switch (answer) {
            case QMessageBox::Abort:
                return kMclActionAbort;
            case QMessageBox::Retry:
                return kMclActionRetry;
            case QMessageBox::Ignore:
                return kMclActionIgnore;
            default:
                return 0;
        }
    };
    ChooseColor = [this](QColor* colour) {
        QColor chosen = QColorDialog::getColor(*colour, this);
        if (!chosen.isValid()) return false;
        *colour = chosen;
        return true;
    };
    OpenVolumeControl = [] {
        // The desktop's mixer, opened on its recording tab; nothing when none is installed.
        QString mixer = QStandardPaths::findExecutable("pavucontrol");
        if (!mixer.isEmpty()) QProcess::startDetached(mixer, {"--tab=2"});
    };

    setRunning(false);
    memStatus->clear();
}

void TInteractFrm::FormShow() {
    CurFrame = 1;
    Converting = false;
    SkipCurrent = false;
    FrameReady = false;
    if (QWidget* owner = parentWidget()) {
        QWidget* main = owner->window();
        move(main->x() + (main->width() - width()) / 2, main->y() + (main->height() - height()) / 2);
    }
    int count = 0;
    for (const TTaskItem& item : TaskItems)
        count += item.checked && item.task ? 1 : 0;
    setTotalProgress(0, static_cast<int>(TaskItems.size()));
    prbTotal->setRange(0, std::max(count, 1));
    labTotal->setText(filesDone(0, count));
    setCurrentProgress(0, 0);
    labCurrent->setText("0 Frames Done");
    memStatus->clear();
    addStatus("Status:> Ready... Click \"Start!\" menu to begin converting.");
}

void TInteractFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TInteractFrm::closeEvent(QCloseEvent* event) {
    if (Converting) {
        ShowMessage("Please stop converting at first, then close the window!");
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TInteractFrm::reject() {
    // Escape and the window's close button end up here as well: the same refusal as a close during a run.
    if (Converting) {
        ShowMessage("Please stop converting at first, then close the window!");
        return;
    }
    QDialog::reject();
}

// --- status and progress ---

void TInteractFrm::addStatus(const QString& line) {
    memStatus->appendPlainText(line);
    memStatus->verticalScrollBar()->setValue(memStatus->verticalScrollBar()->maximum());
    emit statusLine(line);
}

void TInteractFrm::setCurrentProgress(int position, int maximum) {
    // A task whose end frame lies below its start frame has a negative total; the bar shows it as empty. (A
    // range of 0..0 would make the bar a busy indicator, so the smallest range is 0..1.)
    prbCurrent->setRange(0, std::max(maximum, 1));
    prbCurrent->setValue(std::clamp(position, 0, std::max(maximum, 1)));
    emit currentProgress(position, maximum);
}

void TInteractFrm::setCurrentFrames(int position, int maximum) {
    // The bar and the title show how far the task is; the label and the title, once frames have been
    // counted, how long it has to go. All are set before the progress signal goes out.
    const QString frames = QString::number(position) + "/" + QString::number(maximum) + " Frames Done";
    if (maximum <= 0) {
        labCurrent->setText(frames);
        setCurrentProgress(position, maximum);
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (position <= 1 || taskStartMs_ == 0) {
        taskStartMs_ = now;
        taskStartFrame_ = position;
    }
    QString left;
    const int counted = position - taskStartFrame_;
    const double seconds = (now - taskStartMs_) / 1000.0;
    if (counted > 0 && seconds > 0.5 && position < maximum) {
        const long long s = std::llround((maximum - position) * seconds / counted);
        left = QString("%1:%2 left").arg(s / 60).arg(s % 60, 2, 10, QChar('0'));
    }
    labCurrent->setText(left.isEmpty() ? frames : frames + ", " + left);
    const qint64 percent = std::clamp<qint64>(qint64{position} * 100 / maximum, 0, 100);
    setWindowTitle(QString("Converting... %1%").arg(percent) + (left.isEmpty() ? "" : " - " + left));
    setCurrentProgress(position, maximum);
}

void TInteractFrm::setTotalProgress(int position, int maximum) {
    prbTotal->setRange(0, std::max(maximum, 1));
    prbTotal->setValue(std::clamp(position, 0, std::max(maximum, 1)));
    emit totalProgress(position, maximum);
}

void TInteractFrm::setRunning(bool running) {
    menStop->setVisible(running);
    menStart->setVisible(!running);
    menOptionsAction->setVisible(!running);
    menClose->setVisible(!running);
    if (!running) menSkip->setVisible(false);
}

// --- options ---

void TInteractFrm::setErrorPolicy(TErrorPolicy policy) {
    errorPolicy_ = policy;
    menErrorAsk->setChecked(policy == epAskMe);
    menErrorIgnore->setChecked(policy == epIgnore);
    menErrorAbort->setChecked(policy == epAbort);
}

void TInteractFrm::setPriority(TConvertPriority priority) {
    priority_ = priority;
    menFastSpeed->setChecked(priority == cpFastSpeed);
    menBetterQuality->setChecked(priority == cpBetterQuality);
}

void TInteractFrm::updateBgSwatch(const QColor& colour) {
    QPixmap swatch(12, 12);
    swatch.fill(colour);
    QPainter painter(&swatch);
    painter.setPen(Qt::gray);
    painter.drawRect(0, 0, 11, 11);
    painter.end();
    menBackground->menuAction()->setIcon(QIcon(swatch));
}

void TInteractFrm::setBackgroundDefault() {
    backgroundOption_ = boDefault;
    menBgDefault->setChecked(true);
    menBgCustomize->setChecked(false);
    updateBgSwatch(Qt::white);
    BgColor = 0x00FFFFFF;
    FlashCtl->BackgroundColor(0x00FFFFFF);
}

void TInteractFrm::setBackgroundCustom(uint32_t rgb) {
    backgroundOption_ = boCustomize;
    menBgCustomize->setChecked(true);
    menBgDefault->setChecked(false);
    BgColor = rgb & 0x00FFFFFF;
    updateBgSwatch(QColor::fromRgb(BgColor));
    FlashCtl->BackgroundColor(static_cast<int>(BgColor));
}

void TInteractFrm::menBgDefaultClick() {
    setBackgroundDefault();
}

void TInteractFrm::menBgCustomizeClick() {
    backgroundOption_ = boCustomize;
    menBgCustomize->setChecked(true);
    menBgDefault->setChecked(false);
    QColor colour = QColor::fromRgb(BgColor);
    if (!ChooseColor || !ChooseColor(&colour)) return;  // cancelled: Customize stays, BgColor keeps its value
    setBackgroundCustom(colour.rgb() & 0x00FFFFFF);
}

void TInteractFrm::menRecordDefaultClick() {
    if (SetDefaultRecordingSourceHook) {
        try {
            SetDefaultRecordingSourceHook();
        } catch (const std::exception&) {
            // The message below is shown whatever the outcome.
        }
    }
    ShowMessage("Recording source is set to \"Stereo Mix\".\nRecording volume is set to 100%.");
}

void TInteractFrm::menRecordAdvancedClick() {
    if (OpenVolumeControl) OpenVolumeControl();
}

// --- commands ---

void TInteractFrm::StopConverting() {
    Converting = false;
    FlashCtl->StopPlay();
    addStatus("Status:> Stop converting");
}

void TInteractFrm::CancelCurrentTask() {
    SkipCurrent = true;
    QString ending;
    if (CurTask) {
        switch (CurTask->destType) {
            case dtAVI:
                ending = "\" to AVI.";
                break;
            case dtMPEG:
                ending = "\" to MPEG.";
                break;
            case dtGIF:
                ending = "\" to GIF Animation.";
                break;
            case dtImageSequence:
                ending = "\" to Image Sequence.";
                break;
            case dtMP4:
                ending = "\" to MP4.";
                break;
            case dtWebM:
                ending = "\" to WebM.";
                break;
            case dtMOV:
                ending = "\" to MOV.";
                break;
        }
    }
    addStatus("Status:> Cancel converting \"" + (CurTask ? movieName(*CurTask) : QString()) + ending);
}

void TInteractFrm::RunTasks() {
    if (Converting) return;  // a run is going on already (the menu item is hidden then)
    Converting = true;
    setRunning(true);
    heartbeat_->start();

    // The files counter counts the tasks that run: the checked ones.
    int count = 0;
    QStringList existing;
    for (const TTaskItem& item : TaskItems) {
        if (!item.checked || !item.task) continue;
        ++count;
        const TCovSettings& t = *item.task;
        if (t.destType != dtImageSequence &&
            QFileInfo(QString::fromStdString(t.destFilepath + t.destFilename)).isFile())
            existing << QString::fromStdString(t.destFilepath + t.destFilename);
    }
    // Start asks before a run replaces what exists: otherwise those files would be lost.
    if (ConfirmReplace && !existing.isEmpty() && !ConfirmReplace(existing)) {
        Converting = false;
        setRunning(false);
        heartbeat_->stop();
        return;
    }
    int converted = 0;
    QStringList notConverted;
    const QMetaObject::Connection tally =
        connect(this, &TInteractFrm::taskEnded, this, [&](int index, bool done, const QString& reason) {
            const TCovSettings* t = index >= 0 && index < static_cast<int>(TaskItems.size())
                                        ? TaskItems[size_t(index)].task
                                        : nullptr;
            const QString movie = t ? movieName(*t) : QString("task %1").arg(index + 1);
            if (done && reason.isEmpty())
                ++converted;
            else
                notConverted << movie + ": " +
                                    (done ? reason + ", the file holds the frames so far" : reason);
        });
    int started = 0;
    labTotal->setText(filesDone(0, count));
    labCurrent->setText("0 Frames Done");
    setTotalProgress(0, static_cast<int>(TaskItems.size()));
    prbTotal->setRange(0, std::max(count, 1));

    QString escaped;
    int index = 0;
    try {
        const int items = static_cast<int>(TaskItems.size());
        for (index = 0; index < items && Converting; ++index) {
            const TTaskItem item = TaskItems[static_cast<size_t>(index)];
            if (item.checked && item.task) {
                taskStartMs_ = 0;
                runTask(index, *item.task);
                ++started;
            }
            // The signal counts list positions (the command line's reporter takes it as the task's index);
            // the window's counter and bar count the checked tasks.
            labTotal->setText(filesDone(started, count));
            setTotalProgress(index + 1, items);
            prbTotal->setRange(0, std::max(count, 1));
            prbTotal->setValue(started);
        }
    } catch (const std::exception& e) {
        escaped = QString::fromStdString(e.what());
        if (escaped.isEmpty()) escaped = "Unknown error";
    } catch (...) {
        escaped = "Unknown error";
    }

    Converting = false;
    timInteract->stop();
    heartbeat_->stop();
    setRunning(false);
    addStatus("Status:> All Finished");
    labTotal->setText(filesDone(0, count));
    labCurrent->setText("0 Frames Done");
    setTotalProgress(0, static_cast<int>(TaskItems.size()));
    prbTotal->setRange(0, std::max(count, 1));
    setCurrentProgress(0, 0);
    setWindowTitle("Converting...");
    if (!escaped.isEmpty()) {
        emit taskEnded(index, false, escaped);
        ShowMessage(escaped);
    }
    disconnect(tally);
    if (RunFinished) RunFinished(converted, notConverted);
}

void TInteractFrm::runTask(int index, TCovSettings& task) {
    lastSkipReason_.clear();
    stoppedBy_.clear();
    if (task.swfFileType == sftProjector || task.swfFileType == sftProjectorCompressed) {
        if (!QFileInfo(QString::fromStdString(task.swfPlayFilename)).isFile())
            task.swfPlayFilename = ExtractSwfFromExe(task.swfFilename);
    } else {
        task.swfPlayFilename = task.swfFilename;
    }

    bool done = false;
    switch (task.destType) {
        case dtAVI:
        case dtMPEG:
        case dtMP4:
        case dtWebM:
        case dtMOV:
            task.destLastFrame = 0;
            task.adoUseFilename.clear();
            // The movie's own sound taken directly is written by the video path itself (ConvertToVideo).
            if (task.adoSource == asRecord && !task.adoDirect) {
                addStatus("Status:> Recording from \"" + movieName(task) + "\"");
                if (RecordingPassHook) RecordingPassHook(task);
            }
            done = ConvertToVideo(task);
            break;
        case dtGIF:
            done = ConvertToGIF(task);
            break;
        case dtImageSequence:
            done = ConvertToImageSequence(task);
            break;
        default:
            lastSkipReason_ = "unknown output type";
            break;
    }

    if (done && lastSkipReason_.isEmpty()) {
        emit taskEnded(index, true, endedEarly());
    } else {
        emit taskEnded(index, false, lastSkipReason_.isEmpty() ? QString("not converted") : lastSkipReason_);
    }
}

QString TInteractFrm::endedEarly() const {
    if (!stoppedBy_.isEmpty()) return stoppedBy_;
    if (SkipCurrent) return "cancelled";
    if (!Converting) return "stopped";
    return "";
}

void TInteractFrm::addEndStatus(const TCovSettings& task, const QString& ending) {
    const QString how = endedEarly();
    if (how.isEmpty()) {
        addStatus("Status:> Finish converting \"" + movieName(task) + ending);
        return;
    }
    const QString verb = how == "cancelled" ? "Cancelled" : "Stopped";
    const QString why = how == "cancelled" || how == "stopped" ? QString() : " (" + how + ")";
    const QString kept = task.destType == dtImageSequence ? "the images of the frames so far are written"
                                                          : "the file holds the frames so far";
    addStatus("Status:> " + verb + " converting \"" + movieName(task) + ending.chopped(1) + why + ": " +
              kept + ".");
}

// --- the frame gate ---

void TInteractFrm::FlashFSCommand(const QString& command, const QString&) {
    if (command != "enterFrame") return;
    if (!Converting || !CurTask || CurTask->destSequenceMode == smFrameByFrame) return;
    FlashCtl->SkipTimer = true;
    FrameReady = true;
}

void TInteractFrm::FlashSkipTimer() {
    if (Converting && CurTask && CurTask->destSequenceMode != smFrameByFrame && !FrameReady)
        FlashCtl->SkipTimer = false;
}

void TInteractFrm::timInteractTimer() {
    if (!CurTask || CurTask->destSequenceMode != smSkipBackward) return;
    try {
        if (!FlashCtl->IsPlaying()) FlashCtl->Play();
    } catch (const std::exception&) {
        // A movie that cannot be restarted is tried again on the next tick.
    }
}

// --- helpers shared by the output paths ---

QString TInteractFrm::movieName(const TCovSettings& task) {
    return QString::fromStdString(ExtractFileName(task.swfFilename));
}

bool TInteractFrm::checkInputs(TCovSettings& task, const QString& folder) {
    CurTask = &task;
    const QString movie = QString::fromStdString(task.swfPlayFilename);
    if (movie.isEmpty() || !QFileInfo(movie).isFile()) {
        lastSkipReason_ =
            "movie missing: " + (movie.isEmpty() ? QString::fromStdString(task.swfFilename) : movie);
        return false;
    }
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        lastSkipReason_ = "folder not creatable: " + folder;
        return false;
    }
    return true;
}

void TInteractFrm::beginTask(const TFrameSizes& sizes, int maximum) {
    SkipCurrent = false;
    menSkip->setText("Cancel current converting");
    menSkip->setVisible(true);
    setCurrentProgress(0, maximum);
    panInteract->setFixedSize(std::max(sizes.panelW, 1), std::max(sizes.panelH, 1));
    FlashCtl->setGeometry(0, 0, std::max(sizes.panelW, 1), std::max(sizes.panelH, 1));
    panInteract->setFocus();
    FlashCtl->setFocus();
}

int TInteractFrm::loadMovieForConversion(const TCovSettings& task, bool videoPath) {
    FlashCtl->PreviewMsg = true;
    FlashCtl->SkipTimer = false;
    FrameReady = false;
    // Loading a movie brings the movie's own background back, as the Flash control does; "Customize"
    // puts the chosen colour over it below. The video path says so explicitly with the blank colour text.
    if (videoPath)
        FlashCtl->BGColor(" ");
    else
        FlashCtl->BackgroundColor(-1);
    // A video shows each frame for 1 / its rate (the movie's whole frames per second): the sounds scripts
    // start run out by that clock here as in the pass that takes the movie's sound, so both players see
    // the same completions on the same frames.
    FlashCtl->setSoundFrameRate(videoPath ? TaskVideoRate(task) : 0);
    FlashCtl->Movie(" ");
    FlashCtl->Movie(QString::fromStdString(task.swfPlayFilename));
    // Without the frame-event movie no frame is ever announced: the run waits until the user stops it or
    // cancels the task, so the log says why.
    if (!FlashCtl->LoadMovie(88, FpsMovieFile) && task.destSequenceMode != smFrameByFrame)
        addStatus("Status:> Frame-event movie \"" + FpsMovieFile + "\" not loaded: " + FlashCtl->LoadError());
    if (task.destStartFrame > 1) FlashCtl->GotoFrame(task.destStartFrame);
    if (backgroundOption_ == boCustomize) FlashCtl->BackgroundColor(static_cast<int>(BgColor));
    FlashCtl->StopPlay();
    return task.destStartFrame;
}

void TInteractFrm::startBySequenceMode(const TCovSettings& task) {
    switch (task.destSequenceMode) {
        case smNormal:
            FlashCtl->Play();
            break;
        case smSkipBackward:
            timInteract->start();
            break;
        default:
            break;
    }
}

void TInteractFrm::endPlayback() {
    timInteract->stop();
    FlashCtl->setPixelAspect(1.0);
    FlashCtl->StopPlay();
    FlashCtl->Movie(" ");
    menSkip->setVisible(false);
}

void TInteractFrm::pumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TInteractFrm::waitForFrame() {
    if (FastClock) {
        // The clock is stepped here instead of by its timer; the "goto backward" restart keeps its pace.
        if (CurTask && CurTask->destSequenceMode == smSkipBackward) timInteractTimer();
        FlashCtl->tick();
        pumpMessages();
    } else {
        // Sleeps until the next event (the player's clock, a menu command or the heartbeat).
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

TGrabSource TInteractFrm::grabSource() const {
    TGrabSource source;
    source.player = FlashCtl;
    source.panel = panInteract;
    source.bgColor = BgColor;
    return source;
}

void TInteractFrm::ErrorProc(int32_t, const char* fileName, int32_t* action) {
    if (!action) return;
    switch (errorPolicy_) {
        case epAskMe: {
            const QString text =
                "An error occurs while converting, in most time, please ignore it.\nFileName: \"" +
                QString::fromUtf8(fileName ? fileName : "") + "\"";
            const int answer = AskErrorAction ? AskErrorAction(text) : 0;
            if (answer == kMclActionIgnore) {
                *action = kMclActionIgnore;
            } else if (answer == kMclActionRetry) {
                *action = kMclActionRetry;
            } else if (answer == kMclActionAbort) {
                *action = kMclActionAbort;
                Converting = false;
                stoppedBy_ = "aborted after an error";
            }
            break;
        }
        case epIgnore:
            *action = kMclActionIgnore;
            break;
        case epAbort:
            *action = kMclActionAbort;
            Converting = false;
            stoppedBy_ = "aborted after an error";
            break;
    }
}
