// The system's temporary files: they live in the platform's temporary folder and their names
// begin with "QMR". Only such files are ever deleted by the system; IsOwnTempFile is the test for that.
// Any thread (GetTempFile guards its own state). Never deletes anything but the probe file it made itself.
#pragma once

#include <string>

// QDir::tempPath() with a trailing '/' (UTF-8); "/tmp/" when TMPDIR names no existing folder.
std::string GetTempDir();

// A fresh name "<GetTempDir()>QMRxxxxxx.tmp". The name is reserved by creating the file exclusively and then
// removing it, so no file exists under it when it is returned, and names from different calls of this
// process always differ. Callers replace the extension (".swf", ".wav", ".mp3").
// Throws std::runtime_error naming the folder when no file can be created there.
std::string GetTempFile();

// True when the file-name part of `path` begins with exactly "QMR" (case-sensitive) and its directory part,
// with trailing separator, is exactly GetTempDir(). Pure text comparison: nothing is resolved.
bool IsOwnTempFile(const std::string& path);
