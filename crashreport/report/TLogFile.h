#pragma once
// The log file: the last reports, one after the other, in a UTF-8 text file ".crashlog".
//
// Each stored report ends with three line breaks; on disk every report is followed by one more,
// so reports are separated by a run of four line breaks, which a report itself never holds.
// Reading keeps only the pieces that hold a table (a dash line followed by a line break and
// "|"); anything else is dropped. Saving replaces the file in one step: the text is written to a
// temporary file beside it, flushed to the disk and renamed over the log, so a failed or
// interrupted save leaves the previous log whole.
//
// A log that exists but cannot be read (no read permission, not a regular file, a read error,
// or larger than MaxLogFileSize) is never written over: its reports would be lost. Such a log
// reads as empty, says so in isUnreadable() and refuses to be saved.

#include "ReportItems.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace crashreport {

class TLogFile {
public:
    // A log larger than this is not read; no log this program writes comes near it.
    static constexpr std::uint64_t MaxLogFileSize = std::uint64_t(64) << 20;

    // Reads the file when it exists. A read-only log is never written.
    explicit TLogFile(std::string fileName, bool readOnly = false);

    const std::string &fileName() const { return m_fileName; }
    bool isReadOnly() const { return m_readOnly; }
    // The file exists but could not be read; save() leaves it alone.
    bool isUnreadable() const { return m_unreadable; }
    // The last error of reading, saving or deleting, empty when none.
    const std::string &errorString() const { return m_error; }

    // Adds a report; limit -1 (or any negative) keeps all, else the oldest go until limit - 1
    // remain before the new one is added.
    void addReport(const std::string &report, int limit);
    // Writes the stored reports; false (and the file left as it was) on failure.
    bool save();
    // Deletes the file and forgets the stored reports.
    bool remove();

    std::size_t count() const { return m_reports.size(); }
    const std::string &report(std::size_t index) const { return m_reports.at(index); }
    const std::vector<std::string> &reports() const { return m_reports; }
    // The text that save() writes.
    std::string text() const;

    // The index of the first report in which every item has the given value, or -1.
    int findReport(const std::vector<std::string> &itemNumbers, const std::vector<std::string> &values) const;
    // The value of item "h.i" of a report; empty when the report or item does not exist.
    std::optional<std::string> item(const std::string &itemNumber, std::size_t reportIndex) const;
    // Replaces an item's value in a report (see replaceReportItem); false when not possible.
    bool replaceItem(std::size_t reportIndex, const std::string &itemNumber, const std::string &value,
                     const std::string &label = {});

    ReportParts parts(std::size_t reportIndex) const;

    // Deletes the log when item "1.3" of its last report is not the program's version. A log
    // whose last report does not show the version is kept. True when the log was deleted.
    bool deleteOnVersionChange(const std::string &programVersion);

    // The reports as XML (root "Log"); one report only when an index is given.
    std::string toXml() const;
    std::string toXml(std::size_t reportIndex) const;

    // Splits a log file's text into its stored reports.
    static std::vector<std::string> splitLogText(std::string text);

private:
    bool read();

    std::string m_fileName;
    bool m_readOnly;
    bool m_unreadable = false;
    std::vector<std::string> m_reports;
    std::string m_error;
};

} // namespace crashreport
