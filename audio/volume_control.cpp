#include "audio/volume_control.h"

#include <QProcess>
#include <QStandardPaths>

TVolumeControlCommand FindVolumeControl() {
    // pavucontrol's tab 2 is "Recording": the streams that record, each with the source it records from.
    struct Candidate {
        const char* program;
        const char* arguments[1];
    };
    static const Candidate kCandidates[] = {
        {"pavucontrol", {"--tab=2"}},
        {"pavucontrol-qt", {"--tab=2"}},
    };
    for (const Candidate& c : kCandidates) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(c.program));
        if (path.isEmpty()) continue;
        TVolumeControlCommand command{path, {}};
        for (const char* a : c.arguments)
            command.arguments << QString::fromLatin1(a);
        return command;
    }
    return {};
}

bool OpenRecordingVolumeControl() {
    const TVolumeControlCommand command = FindVolumeControl();
    if (command.program.isEmpty()) return false;
    return QProcess::startDetached(command.program, command.arguments);
}
