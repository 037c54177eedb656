#include "tasks/ini_file.h"

#include "tasks/file_names.h"

bool SameTextAscii(const std::string& a, const std::string& b) {
    return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

TIniFile TIniFile::Parse(const std::string& text) {
    TIniFile ini;
    TSection* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        size_t next = eol == std::string::npos ? text.size() : eol + 1;
        std::string line = text.substr(pos, (eol == std::string::npos ? text.size() : eol) - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pos = next;
        if (line == "\x1A") continue;  // DOS end-of-file mark
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            ini.sections_.push_back({line.substr(1, line.size() - 2), {}});
            current = &ini.sections_.back();
            continue;
        }
        if (current) current->lines.push_back(std::move(line));
    }
    return ini;
}

const TIniFile::TSection* TIniFile::find(const std::string& name) const {
    for (const TSection& s : sections_)
        if (SameTextAscii(s.name, name)) return &s;
    return nullptr;
}

TIniFile::TSection* TIniFile::find(const std::string& name) {
    return const_cast<TSection*>(static_cast<const TIniFile*>(this)->find(name));
}

std::optional<std::string> TIniFile::read(const std::string& section, const std::string& key) const {
    const TSection* s = find(section);
    if (!s) return std::nullopt;
    for (const std::string& line : s->lines) {
        size_t eq = line.find('=');
        if (eq != std::string::npos && SameTextAscii(line.substr(0, eq), key)) return line.substr(eq + 1);
    }
    return std::nullopt;
}

void TIniFile::write(const std::string& section, const std::string& key, const std::string& value) {
    TSection* s = find(section);
    if (!s) {
        sections_.push_back({section, {}});
        s = &sections_.back();
    }
    for (std::string& line : s->lines) {
        size_t eq = line.find('=');
        if (eq != std::string::npos && SameTextAscii(line.substr(0, eq), key)) {
            line = line.substr(0, eq + 1) + value;
            return;
        }
    }
    s->lines.push_back(key + "=" + value);
}

std::string TIniFile::text() const {
    std::string out;
    for (const TSection& s : sections_) {
        if (s.lines.empty()) continue;
        out += "[" + s.name + "]\r\n";
        for (const std::string& line : s.lines)
            out += line + "\r\n";
        out += "\r\n";
    }
    return out;
}
