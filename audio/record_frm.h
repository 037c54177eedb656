// TRecordFrm: the sound recording window. A video task whose sound is recorded from the movie gets its sound
// track here, in a pass of its own before the conversion: the movie plays once in real time in this window's
// Flash host while the sound the desktop plays (the monitor of the default output) is captured to a
// temporary WAV file, or through the MP3 encoder to a temporary MP3 file. The frame-event movie "fps1" over
// the movie counts the frames played; the pass ends when the task's frame range has played, or when the user
// cancels, and leaves the task's adoUseFilename (the file, empty when nothing could be recorded) and
// destLastFrame (destStartFrame + frames played) for the conversion.
//
// Owns its Flash host, the capture pipe and the WAV writer pipe, and the MP3 encoder (loaded once, at
// creation). Borrows the task while it is shown.
// Threads: the user-interface thread, except waveInDataAvailable (capture thread) and EncoderDataAvailable
// (encoder thread, and the closing thread for the encoder's last blocks); these two only queue and append.
// Never: block on a message box where no one can answer it (ShowMessage and LogLine are seams; on the
// offscreen platform the default writes to standard error), or depend on the conversion window.
//
// Wiring, done once at start-up by the application (one line each):
//   RecordingPassHook = [frm](TCovSettings& t) { frm->SetTask(&t); frm->exec(); };   //
//   convert/recording_hooks.h SetDefaultRecordingSourceHook = [frm] { frm->SetDefaultRecordingSource(); }; //
//   convert/recording_hooks.h interactFrm->OpenVolumeControl = [] { OpenRecordingVolumeControl(); }; //
//   audio/volume_control.h frm->CenterOver = interactFrm;  // the pass centres itself over the conversion
//   window After the task list is loaded: frm->SetDefaultRecordingSource();  (the command line: before
//   recording)
#pragma once

#include <QDialog>
#include <QString>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>

#include "audio/ms_mixer.h"
#include "audio/sound_output.h"
#include "audio/unavcl_wave_pipes.h"
#include "tasks/cov_settings.h"

class QAction;
class QCloseEvent;
class QFrame;
class QLabel;
class QMenuBar;
class QProgressBar;
class QScrollArea;
class QShowEvent;
class QTimer;
class TShockwaveFlashEx;
class unaAbstractEncoder;
class unaLameMp3Enc;

class TRecordFrm : public QDialog {
    Q_OBJECT

  public:
    struct Options {
        // The MP3 encoder library; empty: mp3enc.so beside the executable.
        QString mp3EncoderPath;
        // Message boxes and log lines (empty: the defaults described above).
        std::function<void(const QString& text)> showMessage;
        std::function<void(const QString& line)> logLine;
    };

    explicit TRecordFrm(QWidget* parent = nullptr);
    explicit TRecordFrm(const Options& options, QWidget* parent = nullptr);
    ~TRecordFrm() override;

    // The task of the next pass; the pass runs when the window is shown (exec) and ends by closing it.
    void SetTask(TCovSettings* task) { RecordTask = task; }

    // Makes the line of `componentType` (the wave-output kind: a monitor) or named exactly `lineName` the
    // only recording source, at full volume, mute untouched. "No Recorder Device!" when there is no sound
    // system to talk to; the other outcomes are logged.
    TRecordingSourceResult SetDefaultRecordingSource(
        uint32_t componentType = MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
        const QString& lineName = QString::fromLatin1(kStereoMixLine));

    // The frame-event movie: the executable's folder + "fps1" unless set otherwise.
    QString FpsMovieFile;
    // The window the pass centres itself over (the conversion window); null: the active window or parent.
    QWidget* CenterOver = nullptr;

    std::function<void(const QString& text)> ShowMessage;
    std::function<void(const QString& line)> LogLine;

    // --- state of the pass ---
    TCovSettings* RecordTask = nullptr;
    int RecordTicks = 0;   // tenths of a second of unpaused recording
    int RecordFrames = 0;  // frame events counted
    std::atomic<bool> RecordStopped{true};
    bool RecordActive = false;  // recording, not paused
    std::unique_ptr<unaLameMp3Enc> Mp3Encoder;
    std::atomic<unaLameMp3Enc*> ActiveMp3Encoder{nullptr};

    // --- the window's parts ---
    QMenuBar* MainMenu = nullptr;
    QAction* menPause = nullptr;
    QAction* menCancel = nullptr;
    QScrollArea* ScrollBox = nullptr;
    QWidget* panRecord = nullptr;
    QFrame* ToolBar = nullptr;
    QLabel* Label2 = nullptr;
    QProgressBar* prbRecord = nullptr;
    QLabel* labRecord = nullptr;
    QTimer* timRecord = nullptr;
    TShockwaveFlashEx* FlashCtl = nullptr;
    // The movie's own sound goes to the default output, whose monitor the pass records.
    TSoundOutput movieSound_;
    // The writer before the capture, so the capture (which writes into the writer) goes first.
    TunavclWaveRiff waveRiff;
    TunavclWaveInDevice waveIn;

    // --- handlers ---
    void timRecordTimer();
    void menPauseClick();
    void menCancelClick();
    void FlashFSCommand(const QString& command, const QString& args);
    void waveInDataAvailable(unavclInOutPipe* sender, const void* data, size_t length);
    void EncoderDataAvailable(unaAbstractEncoder* sender, const void* data, uint32_t size);

    // Frame events that end the pass: the frame range's length (destEndFrame - destStartFrame + 1, a start
    // below 1 counting as 1).
    int framesWanted() const;

  signals:
    // The pass has started (recording or not) / has ended and the task's run-time fields are set.
    void passStarted();
    void passEnded();

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    void FormCreate(const Options& options);
    void FormShow();
    void FormClose();
    void StartRecording();
    bool StartWav(const std::string& fileName);
    bool StartMp3(const std::string& fileName);
    // Gives up recording: the pass plays on without it, and the task gets no sound file.
    void CaptureFailed(const QString& why, const std::string& fileName);
    void StopCapture();
    void updateLabel();
    void centreWindow();
    void message(const QString& text);
    void log(const QString& line);

    bool passOpen_ = false;
    bool recording_ = false;  // the capture (and encoder) started for this pass
    bool paused_ = false;
    std::atomic<TAudioFileType> passType_{aftWAV};  // read by the capture and encoder threads
    std::mutex mp3Lock_;
    std::FILE* mp3File_ = nullptr;  // under mp3Lock_
    std::atomic<bool> appending_{false};
};
