#include "tasks/file_names.h"

namespace {

size_t FileNameStart(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// Position of the extension's dot, or npos.
size_t ExtensionDot(const std::string& path) {
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < FileNameStart(path)) return std::string::npos;
    return dot;
}

}  // namespace

std::string ExtractFilePath(const std::string& path) {
    return path.substr(0, FileNameStart(path));
}

std::string ExtractFileName(const std::string& path) {
    return path.substr(FileNameStart(path));
}

std::string ExtractFileExt(const std::string& path) {
    size_t dot = ExtensionDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    size_t dot = ExtensionDot(path);
    return (dot == std::string::npos ? path : path.substr(0, dot)) + ext;
}

std::string AsciiLower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}
