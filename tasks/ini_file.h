// The INI text of the task-list file: sections and "key=value" entries kept in the
// order they were first written, looked up without regard to (ASCII) case. Pure text in memory; the file
// itself is read and written by tasks/task_list_file.cpp. One object per use; any thread.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

class TIniFile {
  public:
    // Parses INI text: lines end with CR LF (a lone LF is taken too); a line that is the single character
    // 0x1A is ignored; a line beginning with '[' and ending with ']' opens a section; any other line belongs
    // to the current section unchanged (no trimming), lines before the first section are ignored. An entry's
    // key is the text before its first '=', its value everything after it; a line without '=' is kept but
    // matches no key. When a section or key occurs twice, the first one is found.
    static TIniFile Parse(const std::string& text);

    // The value of key in section, or nothing when the section or the key is missing.
    std::optional<std::string> read(const std::string& section, const std::string& key) const;

    // Sets key in section: an existing entry keeps its place, a new one goes to the end of its section, a new
    // section to the end of the file.
    void write(const std::string& section, const std::string& key, const std::string& value);

    // The whole text: "[name]" CR LF, the entries, then one empty line after each section's last entry.
    // Sections without entries are not written.
    std::string text() const;

    size_t sectionCount() const { return sections_.size(); }

  private:
    struct TSection {
        std::string name;
        std::vector<std::string> lines;  // "key=value", or a line without '=' as read
    };
    const TSection* find(const std::string& name) const;
    TSection* find(const std::string& name);
    std::vector<TSection> sections_;
};

// ASCII case-insensitive equality (section names and keys).
bool SameTextAscii(const std::string& a, const std::string& b);
