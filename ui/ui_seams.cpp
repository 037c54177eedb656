#include "ui/ui_seams.h"

#include <QColor>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace uiseams {

namespace {

QStringList QtOpenFileNames(QWidget* parent, const QString& caption, const QString& filter,
                            const QString& startDir, bool multiple) {
    if (multiple) return QFileDialog::getOpenFileNames(parent, caption, startDir, filter);
    QString one = QFileDialog::getOpenFileName(parent, caption, startDir, filter);
    return one.isEmpty() ? QStringList() : QStringList{one};
}

QString QtSaveFileName(QWidget* parent, const QString& caption, const QString& filter,
                       const QString& defaultSuffix, const QString& startPath) {
    QFileDialog dialog(parent, caption, startPath, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!startPath.isEmpty()) dialog.selectFile(startPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

QString QtExistingDirectory(QWidget* parent, const QString& caption, const QString& startDir) {
    return QFileDialog::getExistingDirectory(parent, caption, startDir);
}

void QtMessage(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QStringLiteral("Tolvikan"), text);
}

bool QtYesNo(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, QStringLiteral("Tolvikan"), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

// The colour dialog remembers the colour last chosen in it (white at first), as the platform's did.
uint32_t lastChosen = 0x00FFFFFF;

std::optional<uint32_t> QtColor(QWidget* parent, uint32_t /*initial*/) {
    QColor start(int(lastChosen & 0xFF), int((lastChosen >> 8) & 0xFF), int((lastChosen >> 16) & 0xFF));
    QColor c = QColorDialog::getColor(start, parent);
    if (!c.isValid()) return std::nullopt;
    lastChosen = uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
    return lastChosen;
}

bool QtOpenUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

}  // namespace

std::function<QStringList(QWidget*, const QString&, const QString&, const QString&, bool)> GetOpenFileNames =
    QtOpenFileNames;
std::function<QString(QWidget*, const QString&, const QString&, const QString&, const QString&)>
    GetSaveFileName = QtSaveFileName;
std::function<QString(QWidget*, const QString&, const QString&)> GetExistingDirectory = QtExistingDirectory;
std::function<void(QWidget*, const QString&)> ShowMessage = QtMessage;
std::function<bool(QWidget*, const QString&)> AskYesNo = QtYesNo;
std::function<std::optional<uint32_t>(QWidget*, uint32_t)> ChooseColor = QtColor;
std::function<bool(const QUrl&)> OpenUrl = QtOpenUrl;

void RestoreDefaults() {
    GetOpenFileNames = QtOpenFileNames;
    GetSaveFileName = QtSaveFileName;
    GetExistingDirectory = QtExistingDirectory;
    ShowMessage = QtMessage;
    AskYesNo = QtYesNo;
    ChooseColor = QtColor;
    OpenUrl = QtOpenUrl;
}

}  // namespace uiseams
