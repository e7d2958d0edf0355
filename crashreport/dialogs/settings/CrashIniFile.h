#pragma once
// A small profile file of the crash-report library's own (it cannot use the program's INI layer):
// section and key names are matched without regard to case, values are read trimmed and without
// one pair of enclosing quotes, and a write changes only its own line, keeping every other line.
// Lines end with CR LF. save() writes a new file beside the old one and renames it over.

#include <string>
#include <vector>

namespace crashreport {

class TCrashIniFile {
public:
    // Reads the file; a missing or unreadable file gives an empty profile.
    void load(const std::string &path);
    void parse(const std::string &text);

    std::string value(const std::string &section, const std::string &key, const std::string &fallback = {}) const;
    bool has(const std::string &section, const std::string &key) const;
    void setValue(const std::string &section, const std::string &key, const std::string &value);

    std::string text() const;
    // Creates the folder when needed. False when the file could not be written (the old file
    // then stays as it was).
    bool save(const std::string &path) const;

private:
    int findSection(const std::string &section) const;
    int findKey(int sectionLine, const std::string &key) const;
    std::vector<std::string> m_lines;
};

} // namespace crashreport
