#include "app/desktop.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPlainTextEdit>

#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>

#include "app/main_frm.h"
#include "audio/audio_format_frm.h"
#include "audio/record_frm.h"
#include "audio/volume_control.h"
#include "capture/shockwave_flash_ex.h"
#include "convert/interact_frm.h"
#include "convert/recording_hooks.h"
#include "mcl/mcl.h"
#include "tasks/file_names.h"
#include "tasks/ui_hooks.h"
#include "ui/seek_frm.h"
#include "ui/select_frm.h"
#include "ui/settings_frm.h"
#include "ui/ui_seams.h"

namespace {

constexpr int32_t kFfmpegError = 16;    // FFmpeg's AV_LOG_ERROR
constexpr int32_t kFfmpegWarning = 24;  // AV_LOG_WARNING

TRecordFrm* recordFrm = nullptr;
TInteractFrm* interactFrm = nullptr;

}  // namespace

void CreateDesktopWindows() {
    PumpMessagesHook = [] { QCoreApplication::processEvents(); };
    BeginBusyCursorHook = [] { QApplication::setOverrideCursor(Qt::WaitCursor); };
    EndBusyCursorHook = [] { QApplication::restoreOverrideCursor(); };

    MainFrm = new TMainFrm;
    SettingsFrm = new TSettingsFrm(MainFrm);
    SettingsFrm->Owner = MainFrm;
    AudioFormatFrm = new TAudioFormatFrm(SettingsFrm);
    AudioFormatFrm->Owner = SettingsFrm;
    recordFrm = new TRecordFrm(MainFrm);  // loads the MP3 encoder
    interactFrm = new TInteractFrm(MainFrm);
    MainFrm->InteractFrm = interactFrm;
    recordFrm->CenterOver = interactFrm;
    interactFrm->OpenVolumeControl = [] { OpenRecordingVolumeControl(); };
    // Start replaces files only when the user says so; the run ends with what it converted and what not.
    interactFrm->ConfirmReplace = [](const QStringList& existing) {
        constexpr int kShown = 10;
        QString list = existing.mid(0, kShown).join('\n');
        if (existing.size() > kShown) list += QString("\n... and %1 more").arg(existing.size() - kShown);
        return uiseams::AskYesNo(interactFrm, "These files exist and the conversion replaces them:\n" + list +
                                                  "\n\nReplace them?");
    };
    // FFmpeg's errors and warnings go to the conversion window's log (from whatever thread logs them).
    MclSetLogSink(kFfmpegWarning, [](int32_t, const std::string& line) {
        const QString text = "Status:> FFmpeg: " + QString::fromStdString(line);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [text] {
                if (interactFrm) interactFrm->memStatus->appendPlainText(text);
            },
            Qt::QueuedConnection);
    });
    interactFrm->RunFinished = [](int converted, const QStringList& notConverted) {
        const QString total =
            QString("Status:> %1 converted, %2 not converted").arg(converted).arg(notConverted.size());
        interactFrm->memStatus->appendPlainText(total);
        for (const QString& line : notConverted)
            interactFrm->memStatus->appendPlainText("Status:>   not converted: " + line);
        if (!notConverted.isEmpty())
            uiseams::ShowMessage(interactFrm, QString("%1 converted; not converted:\n").arg(converted) +
                                                  notConverted.join('\n'));
    };
    RecordingPassHook = [](TCovSettings& task) {
        recordFrm->SetTask(&task);
        recordFrm->exec();
    };
    SetDefaultRecordingSourceHook = [] { recordFrm->SetDefaultRecordingSource(); };
    SeekFrm = new TSeekFrm(MainFrm);
    SeekFrm->Owner = MainFrm;
    SeekFrm->PreviewFlash = MainFrm->PreviewFlash;
    SelectFrm = new TSelectFrm(SettingsFrm);

    // The task list's last step on loading: the recording source, as the conversion window's command does.
    MainFrm->ListOptions.setRecordingSource = [] {
        if (SetDefaultRecordingSourceHook) SetDefaultRecordingSourceHook();
    };
}

void DestroyDesktopWindows() {
    MclSetLogSink(kFfmpegError, nullptr);
    delete SelectFrm;
    SelectFrm = nullptr;
    delete SeekFrm;
    SeekFrm = nullptr;
    delete interactFrm;
    interactFrm = nullptr;
    delete recordFrm;
    recordFrm = nullptr;
    delete AudioFormatFrm;
    AudioFormatFrm = nullptr;
    delete SettingsFrm;
    SettingsFrm = nullptr;
    delete MainFrm;  // deletes the system's temporary files its tasks name
    MainFrm = nullptr;
    RecordingPassHook = nullptr;
    SetDefaultRecordingSourceHook = nullptr;
    PumpMessagesHook = nullptr;
    BeginBusyCursorHook = nullptr;
    EndBusyCursorHook = nullptr;
}

bool IsMovieArgument(const std::string& argument) {
    const std::string ext = AsciiLower(ExtractFileExt(argument));
    std::error_code ec;
    return (ext == ".swf" || ext == ".exe") && std::filesystem::is_regular_file(argument, ec);
}

std::string MissingDisplayReason(const char* qpaPlatform, const char* display, const char* waylandDisplay) {
    auto given = [](const char* v) { return v && *v; };
    if (given(qpaPlatform)) return "";  // the caller chose a platform; Qt reports what it cannot open
    if (given(waylandDisplay)) return "";
    if (!given(display)) return "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    // A local X display ":N" or ":N.M" listens on its socket in /tmp/.X11-unix; without it Qt would abort.
    std::string d = display;
    if (d.size() > 1 && d[0] == ':') {
        std::string number =
            d.substr(1, d.find('.') == std::string::npos ? std::string::npos : d.find('.') - 1);
        std::error_code ec;
        if (!number.empty() && !std::filesystem::exists("/tmp/.X11-unix/X" + number, ec))
            return "no X server answers on display " + d;
    }
    return "";
}

int RunDesktop(int argc, char** argv) {
    const std::string noDisplay = MissingDisplayReason(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                                       std::getenv("WAYLAND_DISPLAY"));
    if (!noDisplay.empty()) {
        std::fprintf(stderr,
                     "tolvikan: %s, so the desktop program cannot open its window.\n"
                     "Convert from the command line instead: tolvikan convert MOVIE... (tolvikan --help "
                     "shows how).\n",
                     noDisplay.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvikan"));
    try {
        CreateDesktopWindows();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolvikan: %s\n", e.what());
        QMessageBox::critical(
            nullptr, QStringLiteral("Tolvikan"),
            QStringLiteral("Shockwave Flash OCX file lost, please re-install it,\nthen try it "
                           "again! Now,the application terminate!"));
        DestroyDesktopWindows();
        return 1;
    }
    MainFrm->show();
    QStringList movies;
    for (int i = 1; i < argc; ++i)
        if (IsMovieArgument(argv[i])) movies << QString::fromLocal8Bit(argv[i]);
    // Once the loop runs: the window has loaded its list by then.
    if (!movies.isEmpty()) QTimer::singleShot(0, MainFrm, [movies] { MainFrm->AddMovies(movies); });
    int status = QApplication::exec();
    DestroyDesktopWindows();
    return status;
}
