// File-name pieces as the tasks layer uses them (the directory part keeps its trailing separator; the
// extension is the text from the last '.' of the file-name part on, dot included). Pure string work on
// '/'-separated UTF-8 paths: nothing here touches the file system. Any thread.
#pragma once

#include <string>

// "/a/b/movie.swf" -> "/a/b/"; a name without directory -> "".
std::string ExtractFilePath(const std::string& path);
// "/a/b/movie.swf" -> "movie.swf".
std::string ExtractFileName(const std::string& path);
// "/a/b/movie.SWF" -> ".SWF"; no dot in the file-name part -> "".
std::string ExtractFileExt(const std::string& path);
// Replaces the extension (or appends when there is none): ("/a/tolvikan", ".ini") -> "/a/tolvikan.ini".
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// ASCII lower case (extensions are compared this way; other bytes stay as they are).
std::string AsciiLower(std::string s);
