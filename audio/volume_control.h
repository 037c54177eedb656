// The desktop's volume control, opened on its recording page for the "&Advanced" recording settings.
// Thread: the user-interface thread. Never waits for the program it starts.
#pragma once

#include <QString>
#include <QStringList>

struct TVolumeControlCommand {
    QString program;  // full path
    QStringList arguments;
};

// The first volume control found on PATH (pavucontrol on its recording tab, then pavucontrol-qt), or an
// empty program when none is installed.
TVolumeControlCommand FindVolumeControl();

// Starts it detached; false (and nothing happens) when none is installed or it cannot be started.
bool OpenRecordingVolumeControl();
