#pragma once
// Builder of the numbered sections of a report ("Application:", "  1.3 Version Number: 6.0").
//
// Item numbers never shift: a hidden item still takes its number. When the text is taken,
// sections without a shown item are dropped, the colons of each section are aligned and the dash
// line under each heading is as long as the section's longest item line.

#include <string>
#include <vector>

namespace crashreport {

class TLogItem {
public:
    explicit TLogItem(int firstSection = 0) : m_section(firstSection) { }

    void addSection(const std::string &name);
    void addItem(const std::string &label, const std::string &value, bool shown = true);

    int section() const { return m_section; }
    int item() const { return m_item; }

    // The finished text. Lines end with CR LF; the text itself does not end with a line break.
    std::string text() const;

private:
    struct Item {
        std::string head;  // "  1.3 Version Number"
        std::string value; // encoded: continuation lines already prefixed
    };
    struct Section {
        std::string name;
        std::vector<Item> items;
    };
    int m_section;
    int m_item = 0;
    std::vector<Section> m_sections;
};

// Writes a value the way item lines hold it: line breaks become CR LF; a value of several lines
// has every ": " written as ":_", every empty line as "." and every line after the first
// prefixed with one space.
std::string encodeItemValue(const std::string &value);

// The reverse of encodeItemValue for the lines of one item (first line without the label).
std::string decodeItemValue(const std::vector<std::string> &lines);

} // namespace crashreport
