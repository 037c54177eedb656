#include "tasks/temp_files.h"

#include <QDir>
#include <QTemporaryFile>

#include <mutex>
#include <set>
#include <stdexcept>

#include "tasks/file_names.h"

std::string GetTempDir() {
    // Qt gives the canonical TMPDIR, and an empty text when TMPDIR names no existing folder: /tmp then, as
    // Qt itself takes when TMPDIR is unset.
    std::string dir = QDir::tempPath().toStdString();
    if (dir.empty()) dir = "/tmp";
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string GetTempFile() {
    // GetTempFileNameA counts up; QTemporaryFile draws random names. Remembering what this process handed out
    // keeps "names from different calls differ" true even if a random name comes round again after the
    // caller deleted its file.
    static std::mutex mutex;
    static std::set<std::string> issued;

    const QString pattern = QString::fromStdString(GetTempDir()) + QStringLiteral("QMRXXXXXX.tmp");
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name;
        {
            QTemporaryFile file(pattern);
            file.setAutoRemove(false);
            if (!file.open())
                throw std::runtime_error("Cannot create a temporary file in \"" + GetTempDir() +
                                         "\": " + file.errorString().toStdString());
            name = file.fileName().toStdString();
            file.close();
            // Removing it is what makes the name free for the caller's own file (GetTempFileNameA's file is
            // deleted the same way).
            QFile::remove(file.fileName());
        }
        std::lock_guard<std::mutex> lock(mutex);
        if (issued.insert(name).second) return name;
    }
    throw std::runtime_error("Cannot find a fresh temporary file name in \"" + GetTempDir() + "\"");
}

bool IsOwnTempFile(const std::string& path) {
    return ExtractFileName(path).compare(0, 3, "QMR") == 0 && ExtractFilePath(path) == GetTempDir();
}
