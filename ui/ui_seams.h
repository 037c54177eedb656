// Replaceable front doors to the modal platform dialogs the windows open: file and folder choosers, message
// boxes, the colour dialog and the desktop's "open this document". The windows call only these, so tests
// swap in answers and never block on a dialog that nobody closes.
// Owns nothing. Called on the user-interface thread only. The defaults are the Qt dialogs.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

class QWidget;
class QUrl;

namespace uiseams {

// An open-file dialog for existing files. `filter` in Qt's form ("Name (*.ext);;All Files (*)").
// Returns the chosen files (at most one unless `multiple`); empty when cancelled.
extern std::function<QStringList(QWidget* parent, const QString& caption, const QString& filter,
                                 const QString& startDir, bool multiple)>
    GetOpenFileNames;
// A save-file dialog; `defaultSuffix` is added when the typed name has none. Empty when cancelled.
extern std::function<QString(QWidget* parent, const QString& caption, const QString& filter,
                             const QString& defaultSuffix, const QString& startPath)>
    GetSaveFileName;
// A folder chooser that lets the user make a new folder. Empty when cancelled.
extern std::function<QString(QWidget* parent, const QString& caption, const QString& startDir)>
    GetExistingDirectory;
// A plain message box with an OK button.
extern std::function<void(QWidget* parent, const QString& text)> ShowMessage;
// A confirmation with the buttons Yes and No; true for Yes.
extern std::function<bool(QWidget* parent, const QString& text)> AskYesNo;
// The colour dialog, opened on `initial` (0x00BBGGRR); the chosen colour in the same encoding, or nothing
// when cancelled.
extern std::function<std::optional<uint32_t>(QWidget* parent, uint32_t initial)> ChooseColor;
// Opens a document with the desktop's default program; false when nothing could open it.
extern std::function<bool(const QUrl& url)> OpenUrl;

// Puts the Qt dialogs back (tests call this when they are done).
void RestoreDefaults();

}  // namespace uiseams
