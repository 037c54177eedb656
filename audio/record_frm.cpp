#include "audio/record_frm.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

#include "audio/una_blade_mp3_enc.h"
#include "capture/shockwave_flash_ex.h"
#include "tasks/temp_files.h"

namespace {

constexpr int kFrameEventLayer = 88;
constexpr int kTimerMs = 100;
constexpr int kClientWidth = 521;
constexpr int kClientHeight = 300;
constexpr int kIdlePanelWidth = 352;
constexpr int kIdlePanelHeight = 240;

const uint16_t kWavBits[] = {8, 16};
const uint32_t kWavFreq[] = {44100, 22050, 11025};
const uint16_t kWavChannels[] = {1, 2};
const uint32_t kMp3BitRate[] = {96, 112, 128, 160, 192, 224, 256, 320};

template <class T, size_t N>
bool pick(const T (&table)[N], int32_t index, T* value) {
    if (index < 0 || size_t(index) >= N) return false;
    *value = table[index];
    return true;
}

QString hexCode(uint32_t code) {
    return QString::number(code, 16).toUpper();
}

std::string withExtension(const std::string& name, const char* extension) {
    std::filesystem::path p(name);
    p.replace_extension(extension);
    return p.string();
}

void removeOwnFile(const std::string& name) {
    if (name.empty() || !IsOwnTempFile(name)) return;
    std::error_code ignored;
    std::filesystem::remove(name, ignored);
}

bool headless() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

}  // namespace

TRecordFrm::TRecordFrm(QWidget* parent) : TRecordFrm(Options{}, parent) {}

TRecordFrm::TRecordFrm(const Options& options, QWidget* parent) : QDialog(parent) {
    FormCreate(options);
}

TRecordFrm::~TRecordFrm() {
    // FormDestroy. A window destroyed during a pass still finishes its files first.
    if (passOpen_) FormClose();
    if (FlashCtl) FlashCtl->setSoundSink({});
    delete FlashCtl;
    FlashCtl = nullptr;
    Mp3Encoder.reset();
}

void TRecordFrm::FormCreate(const Options& options) {
    ShowMessage = options.showMessage;
    LogLine = options.logLine;
    setWindowTitle(QStringLiteral("Recording..."));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    MainMenu = new QMenuBar(this);
    menPause = MainMenu->addAction(QStringLiteral("&Pause"));
    menCancel = MainMenu->addAction(QStringLiteral("Cancel current recording"));
    connect(menPause, &QAction::triggered, this, [this] { menPauseClick(); });
    connect(menCancel, &QAction::triggered, this, [this] { menCancelClick(); });
    layout->setMenuBar(MainMenu);

    ScrollBox = new QScrollArea(this);
    ScrollBox->setWidgetResizable(false);
    panRecord = new QWidget;
    panRecord->setFocusPolicy(Qt::StrongFocus);
    ScrollBox->setWidget(panRecord);
    layout->addWidget(ScrollBox, 1);

    ToolBar = new QFrame(this);
    ToolBar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ToolBar->setAccessibleName(QStringLiteral(" Recording progress"));
    ToolBar->setMinimumHeight(18);
    auto* bar = new QHBoxLayout(ToolBar);
    bar->setContentsMargins(2, 0, 2, 0);
    Label2 = new QLabel(QStringLiteral("Current:"), ToolBar);
    prbRecord = new QProgressBar(ToolBar);
    prbRecord->setFixedWidth(81);
    prbRecord->setTextVisible(false);
    labRecord = new QLabel(ToolBar);
    bar->addWidget(Label2);
    bar->addWidget(prbRecord);
    bar->addWidget(labRecord, 1);
    layout->addWidget(ToolBar);

    timRecord = new QTimer(this);
    timRecord->setInterval(kTimerMs);
    connect(timRecord, &QTimer::timeout, this, [this] { timRecordTimer(); });

    // The capture feeds the writer; the recording pass reads what it captures.
    waveIn.consumer(&waveRiff);
    waveIn.onDataAvailable = [this](unavclInOutPipe* sender, const void* data, size_t length) {
        waveInDataAvailable(sender, data, length);
    };
    waveRiff.isInput(false);

    // The Flash host fills panRecord; the movie takes the mouse during a pass.
    FlashCtl = new TShockwaveFlashEx(panRecord);
    auto* hostLayout = new QVBoxLayout(panRecord);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    hostLayout->addWidget(FlashCtl);
    FlashCtl->setVisible(true);
    FlashCtl->Movie(QStringLiteral(" "));
    movieSound_.follow(*FlashCtl);
    FlashCtl->PreviewMsg = true;
    FlashCtl->OnFSCommand = [this](TShockwaveFlash*, const QString& command, const QString& args) {
        FlashFSCommand(command, args);
    };
    panRecord->move(0, 0);
    panRecord->resize(kIdlePanelWidth, kIdlePanelHeight);
    resize(kClientWidth, kClientHeight + MainMenu->sizeHint().height());

    const std::string folder = unaExecutableFolder();
    FpsMovieFile = QString::fromStdString(folder) + QStringLiteral("fps1");

    // The MP3 encoder; a failure only affects MP3 recording.
    const QString library = options.mp3EncoderPath.isEmpty()
                                ? QString::fromStdString(folder) + QStringLiteral(MP3ENC_LIBRARY_FILE_NAME)
                                : options.mp3EncoderPath;
    const QString fileName = QFileInfo(library).fileName();
    try {
        if (QFileInfo::exists(library)) {
            Mp3Encoder = std::make_unique<unaLameMp3Enc>(library.toStdString(), 0);
            Mp3Encoder->setOnDataAvailable([this](unaAbstractEncoder* sender, const void* data, uint32_t size,
                                                  bool&) { EncoderDataAvailable(sender, data, size); });
            if (Mp3Encoder->errorCode() != 0) {
                log(QString::fromStdString(Mp3Encoder->errorMessage()));
                message(QStringLiteral("initialize ''%1'' failed!").arg(fileName));
            }
        } else {
            log(QStringLiteral("the MP3 encoder %1 is missing; MP3 recording is not available").arg(library));
            message(QStringLiteral("File ''%1'' lost!").arg(fileName));
        }
    } catch (const std::exception& e) {
        Mp3Encoder.reset();
        log(QStringLiteral("the MP3 encoder %1 cannot be created: %2")
                .arg(library, QString::fromUtf8(e.what())));
        message(QStringLiteral("initialize ''%1'' failed!").arg(fileName));
    }
}

int TRecordFrm::framesWanted() const {
    if (!RecordTask) return 1;
    const int64_t first = std::max<int32_t>(RecordTask->destStartFrame, 1);
    const int64_t wanted = int64_t(RecordTask->destEndFrame) - first + 1;
    return int(std::clamp<int64_t>(wanted, 1, INT32_MAX));
}

void TRecordFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous() || passOpen_) return;
    FormShow();
}

void TRecordFrm::FormShow() {
    passOpen_ = true;
    centreWindow();
    // Whatever an earlier pass left paused is running again.
    menPause->setText(QStringLiteral("&Pause"));
    FlashCtl->SkipTimer = false;
    waveIn.consumer(&waveRiff);
    paused_ = false;
    recording_ = false;
    RecordActive = false;
    labRecord->clear();
    if (!RecordTask) {
        log(QStringLiteral("no task to record"));
        QTimer::singleShot(0, this, [this] { close(); });
        return;
    }
    TCovSettings& task = *RecordTask;
    passType_ = task.adoFileType;
    prbRecord->setRange(0, std::max(1, task.destEndFrame - task.destStartFrame + 1));
    prbRecord->setValue(0);
    panRecord->resize(std::max(1, task.swfW), std::max(1, task.swfH));
    panRecord->setFocus();
    FlashCtl->setFocus();
    FlashCtl->Movie(QStringLiteral(" "));
    FlashCtl->Movie(QString::fromStdString(task.swfPlayFilename));
    QString loadError = FlashCtl->LoadError();
    if (loadError.isEmpty() && !FlashCtl->LoadMovie(kFrameEventLayer, FpsMovieFile))
        loadError = FlashCtl->LoadError();
    if (!loadError.isEmpty()) {
        // Without the movie, or without the frame events that count it, the pass could never end.
        log(QStringLiteral("cannot play %1: %2")
                .arg(QString::fromStdString(task.swfPlayFilename), loadError));
        message(QStringLiteral("Recording cannot play the movie: %1").arg(loadError));
        QTimer::singleShot(0, this, [this] { close(); });
        emit passStarted();
        return;
    }
    if (task.destStartFrame > 1) FlashCtl->GotoFrame(task.destStartFrame);
    FlashCtl->Play();
    // The frame shown by loading is not counted: each later frame event is one more frame played, so the
    // pass ends with destStartFrame + RecordFrames as the last frame shown.
    RecordTicks = 0;
    RecordFrames = 0;
    RecordStopped = false;
    StartRecording();
    emit passStarted();
}

void TRecordFrm::StartRecording() {
    TCovSettings& task = *RecordTask;
    try {
        const std::string name = GetTempFile();
        const bool started = task.adoFileType == aftMP3 ? StartMp3(withExtension(name, ".mp3"))
                                                        : StartWav(withExtension(name, ".wav"));
        if (!started) return;
        recording_ = true;
        RecordActive = true;
        timRecord->start();
    } catch (const std::exception& e) {
        timRecord->stop();
        log(QStringLiteral("recording did not start: %1").arg(QString::fromUtf8(e.what())));
        message(QStringLiteral("Unexpected error!"));
    } catch (...) {
        timRecord->stop();
        message(QStringLiteral("Unexpected error!"));
    }
}

bool TRecordFrm::StartWav(const std::string& fileName) {
    const TCovSettings& task = *RecordTask;
    // A value outside its table leaves that setting as the last pass had it.
    uint16_t bits;
    uint32_t freq;
    uint16_t channels;
    if (pick(kWavBits, task.adoWavBits, &bits)) {
        waveIn.pcm_BitsPerSample(bits);
        waveRiff.pcm_BitsPerSample(bits);
    }
    if (pick(kWavFreq, task.adoWavFreq, &freq)) {
        waveIn.pcm_SamplesPerSec(freq);
        waveRiff.pcm_SamplesPerSec(freq);
    }
    if (pick(kWavChannels, task.adoWavChannel, &channels)) {
        waveIn.pcm_NumChannels(channels);
        waveRiff.pcm_NumChannels(channels);
    }
    waveRiff.isInput(false);
    waveRiff.fileName(fileName);
    // Opening the capture opens the writer first: the header is on disk before the first block arrives.
    waveIn.active(true);
    if (!waveRiff.active()) {
        CaptureFailed(QString::fromStdString(waveRiff.errorText()), fileName);
        return false;
    }
    if (!waveIn.active()) {
        CaptureFailed(QString::fromStdString(waveIn.errorText()), fileName);
        return false;
    }
    RecordTask->adoUseFilename = fileName;
    return true;
}

bool TRecordFrm::StartMp3(const std::string& fileName) {
    const TCovSettings& task = *RecordTask;
    ActiveMp3Encoder = Mp3Encoder.get();
    unaLameMp3Enc* encoder = ActiveMp3Encoder;
    if (!encoder) {
        // Told at start-up; the movie plays, nothing is recorded and the task gets no sound file.
        log(QStringLiteral("no MP3 encoder: the pass records nothing"));
        return false;
    }
    uint32_t freq = 44100;
    pick(kWavFreq, task.adoWavFreq, &freq);
    int32_t mode = BE_MP3_MODE_STEREO;
    uint16_t channels = 2;
    switch (task.adoMp3Channel) {
        case 0:
            mode = BE_MP3_MODE_MONO;
            channels = 1;
            break;
        case 2:
            mode = BE_MP3_MODE_JSTEREO;
            break;
        case 3:
            mode = BE_MP3_MODE_DUALCHANNEL;
            break;
        default:
            break;
    }
    uint32_t kbps = 128;
    pick(kMp3BitRate, task.adoMp3BitRate, &kbps);
    // The encoder reads 16-bit samples whatever the WAV sample size says.
    waveIn.pcm_BitsPerSample(16);
    waveIn.pcm_SamplesPerSec(freq);
    waveIn.pcm_NumChannels(channels);

    BE_CONFIG config;
    std::memset(&config, 0, sizeof(config));
    config.dwConfig = BE_CONFIG_LAME;
    BE_CONFIG_LHV1& l = config.format.LHV1;
    l.dwStructVersion = CURRENT_STRUCT_VERSION;
    l.dwStructSize = CURRENT_STRUCT_SIZE;
    l.dwSampleRate = freq;
    l.dwReSampleRate = 0;
    l.nMode = mode;
    l.dwBitrate = kbps;
    l.dwMaxBitrate = kbps;
    l.nPreset = LQP_NOPRESET;
    l.nVBRQuality = 9;
    l.nVbrMethod = VBR_METHOD_NONE;
    l.bNoRes = -1;
    if (encoder->setConfig(config) != 0) {
        log(QString::fromStdString(encoder->errorMessage()));
        message(QStringLiteral("Recording config fails, error code: ") + hexCode(encoder->errorCode()));
        ActiveMp3Encoder = nullptr;
        return false;
    }
    if (encoder->open() != 0) {
        log(QString::fromStdString(encoder->errorMessage()));
        message(QStringLiteral("Recocrding open fails, error code: ") + hexCode(encoder->errorCode()));
        ActiveMp3Encoder = nullptr;
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(mp3Lock_);
        mp3File_ = std::fopen(fileName.c_str(), "wb");
    }
    if (!mp3File_) {
        const QString why = QString::fromUtf8(std::strerror(errno));
        encoder->close();
        ActiveMp3Encoder = nullptr;
        CaptureFailed(QStringLiteral("cannot create %1: %2").arg(QString::fromStdString(fileName), why), {});
        return false;
    }
    appending_ = true;
    // The writer leaves the chain; captured blocks reach only waveInDataAvailable.
    waveRiff.isInput(true);
    waveIn.active(true);
    if (waveIn.device()) waveIn.device()->assignOutputQueue(false);
    if (!waveIn.active()) {
        encoder->close();
        appending_ = false;
        {
            std::lock_guard<std::mutex> guard(mp3Lock_);
            std::fclose(mp3File_);
            mp3File_ = nullptr;
        }
        ActiveMp3Encoder = nullptr;
        CaptureFailed(QString::fromStdString(waveIn.errorText()), fileName);
        return false;
    }
    RecordTask->adoUseFilename = fileName;
    return true;
}

void TRecordFrm::CaptureFailed(const QString& why, const std::string& fileName) {
    waveIn.active(false);
    waveRiff.active(false);
    waveRiff.fileName({});
    removeOwnFile(fileName);
    log(QStringLiteral("sound capture failed: %1").arg(why));
    message(QStringLiteral("Sound capture fails: %1").arg(why));
}

void TRecordFrm::FlashFSCommand(const QString& command, const QString&) {
    if (command != QLatin1String("enterFrame") || RecordStopped || !passOpen_) return;
    ++RecordFrames;
    prbRecord->setValue(std::min(RecordFrames, prbRecord->maximum()));
    updateLabel();
    if (RecordFrames >= framesWanted()) {
        timRecord->stop();
        FlashCtl->StopPlay();
        FlashCtl->Movie(QStringLiteral(" "));
        StopCapture();
        close();
    }
}

void TRecordFrm::updateLabel() {
    QString size;
    if (passType_ == aftMP3) {
        unaLameMp3Enc* encoder = ActiveMp3Encoder;
        size = QString::number(encoder ? encoder->encodedDataSize() >> 10 : 0);
    } else {
        size = QString::number(waveRiff.inBytes() / 1024);
    }
    labRecord->setText(QStringLiteral("%1/%2 Frames Done -- %3s / %4KB")
                           .arg(prbRecord->value())
                           .arg(prbRecord->maximum())
                           .arg(RecordTicks / 10)
                           .arg(size));
}

void TRecordFrm::timRecordTimer() {
    ++RecordTicks;
    if (RecordTask && RecordTask->destSequenceMode > smNormal && !FlashCtl->IsPlaying()) FlashCtl->Play();
}

void TRecordFrm::menPauseClick() {
    if (!passOpen_) return;
    // Pause and resume follow the menu's own state, so a pass that plays without recording (its capture
    // could not start) pauses too instead of taking the first click for a resume.
    try {
        if (!paused_) {
            timRecord->stop();
            FlashCtl->StopPlay();
            // The movie and the frame-event movie freeze: no frame events while paused.
            FlashCtl->SkipTimer = true;
            if (recording_) {
                if (passType_ == aftWAV)
                    waveIn.consumer(nullptr);  // capture runs on; nothing reaches the file
                else
                    waveIn.active(false);
            }
            menPause->setText(QStringLiteral("&Resume"));
            paused_ = true;
            RecordActive = false;
        } else {
            if (recording_) {
                if (passType_ == aftWAV)
                    waveIn.consumer(&waveRiff);  // what was captured meanwhile is discarded
                else
                    waveIn.active(true);
            }
            menPause->setText(QStringLiteral("&Pause"));
            paused_ = false;
            RecordActive = recording_;
            FlashCtl->Play();
            FlashCtl->SkipTimer = false;
            if (recording_) timRecord->start();
        }
    } catch (...) {
    }
}

void TRecordFrm::menCancelClick() {
    close();
}

void TRecordFrm::done(int result) {
    if (passOpen_) FormClose();
    QDialog::done(result);
}

void TRecordFrm::FormClose() {
    RecordStopped = true;
    if (RecordTask) RecordTask->destLastFrame = RecordTask->destStartFrame + RecordFrames;
    timRecord->stop();
    FlashCtl->StopPlay();
    FlashCtl->Movie(QStringLiteral(" "));
    StopCapture();
    passOpen_ = false;
    recording_ = false;
    paused_ = false;
    RecordActive = false;
    panRecord->resize(kIdlePanelWidth, kIdlePanelHeight);
    emit passEnded();
}

void TRecordFrm::StopCapture() {
    try {
        if (passType_ == aftWAV) {
            // Closing the writer writes what it still holds and the final header sizes.
            waveRiff.active(false);
            if (waveRiff.device() && !waveRiff.errorText().empty())
                log(QString::fromStdString(waveRiff.errorText()));
            waveRiff.fileName({});
            waveIn.active(false);
        } else {
            waveIn.active(false);
            // The encoder's last blocks arrive while it closes; they belong in the file, so appending goes
            // on until close has returned.
            if (unaLameMp3Enc* encoder = ActiveMp3Encoder) encoder->close();
            appending_ = false;
            std::lock_guard<std::mutex> guard(mp3Lock_);
            if (mp3File_) {
                if (std::fclose(mp3File_) != 0) log(QStringLiteral("cannot finish the MP3 file"));
                mp3File_ = nullptr;
            }
            ActiveMp3Encoder = nullptr;
        }
    } catch (...) {
    }
}

void TRecordFrm::waveInDataAvailable(unavclInOutPipe*, const void* data, size_t length) {
    unaLameMp3Enc* encoder = ActiveMp3Encoder;
    if (encoder && passType_ == aftMP3 && !RecordStopped) encoder->encodeChunk(data, length);
}

void TRecordFrm::EncoderDataAvailable(unaAbstractEncoder*, const void* data, uint32_t size) {
    if (!appending_ || passType_ != aftMP3) return;
    std::lock_guard<std::mutex> guard(mp3Lock_);
    if (mp3File_) std::fwrite(data, 1, size, mp3File_);
}

TRecordingSourceResult TRecordFrm::SetDefaultRecordingSource(uint32_t componentType,
                                                             const QString& lineName) {
    std::string detail;
    const TRecordingSourceResult result =
        SetDefaultRecordingSourceOn(componentType, lineName.toStdString(), &detail);
    log(QString::fromStdString(detail));
    if (result == TRecordingSourceResult::rsNoDevice) message(QStringLiteral("No Recorder Device!"));
    return result;
}

void TRecordFrm::centreWindow() {
    QWidget* over = CenterOver;
    if (!over) {
        over = QApplication::activeWindow();
        if (over == this) over = nullptr;
    }
    if (!over) over = parentWidget();
    if (!over) return;
    const QRect o = over->frameGeometry();
    const QRect me = frameGeometry();
    move(o.left() + (o.width() - me.width()) / 2, o.top() + (o.height() - me.height()) / 2);
}

void TRecordFrm::message(const QString& text) {
    if (ShowMessage) {
        ShowMessage(text);
    } else if (headless()) {
        std::fprintf(stderr, "tolvikan: %s\n", text.toLocal8Bit().constData());
    } else {
        QMessageBox::information(isVisible() ? this : parentWidget(), QCoreApplication::applicationName(),
                                 text);
    }
}

void TRecordFrm::log(const QString& line) {
    if (line.isEmpty()) return;
    if (LogLine)
        LogLine(line);
    else
        qWarning().noquote() << "recording:" << line;
}
