#include "app/desktop.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <exception>

#include "app/main_frm.h"
#include "audio/audio_format_frm.h"
#include "audio/record_frm.h"
#include "audio/volume_control.h"
#include "capture/shockwave_flash_ex.h"
#include "convert/interact_frm.h"
#include "convert/recording_hooks.h"
#include "tasks/ui_hooks.h"
#include "ui/seek_frm.h"
#include "ui/select_frm.h"
#include "ui/settings_frm.h"

namespace {

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

int RunDesktop(int argc, char** argv) {
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
    int status = QApplication::exec();
    DestroyDesktopWindows();
    return status;
}
