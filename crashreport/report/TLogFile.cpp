#include "TLogFile.h"

#include "LogXml.h"

#include <cerrno>
#include <exception>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crashreport {

namespace {
constexpr const char *ReportEnd = "\r\n\r\n\r\n";
constexpr const char *Separator = "\r\n\r\n\r\n\r\n";

bool endsWith(const std::string &s, const char *suffix)
{
    const std::size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

bool hasTable(const std::string &piece)
{
    return piece.find("-\r\n|") != std::string::npos;
}

std::string systemError(const std::string &what, const std::string &fileName)
{
    return what + " \"" + fileName + "\": " + std::strerror(errno);
}

bool writeAll(int fd, const std::string &data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}
} // namespace

TLogFile::TLogFile(std::string fileName, bool readOnly) : m_fileName(std::move(fileName)), m_readOnly(readOnly)
{
    try {
        read();
    } catch (const std::exception &e) { // a log too large for the memory left
        m_reports.clear();
        m_unreadable = true;
        m_error = "Cannot read \"" + m_fileName + "\": " + e.what();
    }
}

std::vector<std::string> TLogFile::splitLogText(std::string text)
{
    std::vector<std::string> reports;
    if (!endsWith(text, ReportEnd))
        text += ReportEnd;
    // A run of four or more line breaks ends a piece; the last four are the separator.
    std::size_t start = 0;
    std::size_t pos = 0;
    while ((pos = text.find(Separator, pos)) != std::string::npos) {
        std::size_t runEnd = pos + 8;
        while (text.compare(runEnd, 2, "\r\n") == 0)
            runEnd += 2;
        const std::size_t pieceEnd = runEnd - 8;
        std::string piece = text.substr(start, pieceEnd - start);
        if (hasTable(piece))
            reports.push_back(std::move(piece) + ReportEnd);
        start = pos = runEnd;
    }
    // A last piece that is not followed by a separator (the file ended after fewer breaks).
    if (start < text.size()) {
        std::string piece = text.substr(start);
        if (endsWith(piece, ReportEnd))
            piece.erase(piece.size() - 6);
        if (hasTable(piece))
            reports.push_back(std::move(piece) + ReportEnd);
    }
    return reports;
}

bool TLogFile::read()
{
    m_reports.clear();
    m_unreadable = false;
    const int fd = ::open(m_fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        m_unreadable = true;
        m_error = systemError("Cannot read", m_fileName);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        m_unreadable = true;
        m_error = "Cannot read \"" + m_fileName + "\": not a regular file";
        return false;
    }
    const std::string tooLarge = "Cannot read \"" + m_fileName + "\": larger than "
        + std::to_string(MaxLogFileSize >> 20) + " MB";
    if (std::uint64_t(st.st_size) > MaxLogFileSize) {
        ::close(fd);
        m_unreadable = true;
        m_error = tooLarge;
        return false;
    }
    std::string text;
    text.reserve(std::size_t(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_unreadable = true;
            m_error = systemError("Cannot read", m_fileName);
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buf, std::size_t(n));
        if (text.size() > MaxLogFileSize) { // grew while it was read
            m_unreadable = true;
            m_error = tooLarge;
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    m_reports = splitLogText(std::move(text));
    return true;
}

void TLogFile::addReport(const std::string &report, int limit)
{
    if (limit >= 0) {
        const std::size_t keep = limit > 0 ? std::size_t(limit - 1) : 0;
        if (m_reports.size() > keep)
            m_reports.erase(m_reports.begin(), m_reports.end() - std::ptrdiff_t(keep));
    }
    m_reports.push_back(report + ReportEnd);
}

std::string TLogFile::text() const
{
    std::string out;
    std::size_t size = 0;
    for (const std::string &r : m_reports)
        size += r.size() + 2;
    out.reserve(size);
    for (const std::string &r : m_reports) {
        out += r;
        out += "\r\n";
    }
    if (!m_reports.empty() && !endsWith(m_reports.back(), "\r\n"))
        out.erase(out.size() - 2);
    return out;
}

bool TLogFile::save()
{
    m_error.clear();
    if (m_readOnly) {
        m_error = "The log \"" + m_fileName + "\" is read-only";
        return false;
    }
    if (m_unreadable) {
        m_error = "The log \"" + m_fileName + "\" could not be read and is left as it is";
        return false;
    }
    const std::size_t slash = m_fileName.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : m_fileName.substr(0, slash == 0 ? 1 : slash);
    std::string tempName = m_fileName + ".XXXXXX";
    std::vector<char> temp(tempName.begin(), tempName.end());
    temp.push_back('\0');
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        m_error = systemError("Cannot write", m_fileName);
        return false;
    }
    tempName = temp.data();
    // Keep the permissions of an existing log; a new one gets the usual mode for files.
    struct stat st {};
    mode_t mode = 0644;
    if (::stat(m_fileName.c_str(), &st) == 0)
        mode = st.st_mode & 07777;
    else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const bool written = writeAll(fd, text()) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int savedErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(tempName.c_str(), m_fileName.c_str()) != 0) {
        if (written && closed)
            m_error = systemError("Cannot replace", m_fileName);
        else {
            errno = written ? errno : savedErrno;
            m_error = systemError("Cannot write", m_fileName);
        }
        ::unlink(tempName.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool TLogFile::remove()
{
    m_error.clear();
    m_reports.clear();
    if (m_readOnly) {
        m_error = "The log \"" + m_fileName + "\" is read-only";
        return false;
    }
    if (::unlink(m_fileName.c_str()) != 0 && errno != ENOENT) {
        m_error = systemError("Cannot delete", m_fileName);
        return false;
    }
    return true;
}

int TLogFile::findReport(const std::vector<std::string> &itemNumbers, const std::vector<std::string> &values) const
{
    if (itemNumbers.size() != values.size())
        return -1;
    for (std::size_t r = 0; r < m_reports.size(); ++r) {
        bool all = true;
        for (std::size_t i = 0; i < itemNumbers.size() && all; ++i)
            all = readReportItem(m_reports[r], itemNumbers[i]) == values[i];
        if (all)
            return int(r);
    }
    return -1;
}

std::optional<std::string> TLogFile::item(const std::string &itemNumber, std::size_t reportIndex) const
{
    if (reportIndex >= m_reports.size())
        return std::nullopt;
    return readReportItem(m_reports[reportIndex], itemNumber);
}

bool TLogFile::replaceItem(std::size_t reportIndex, const std::string &itemNumber, const std::string &value,
                           const std::string &label)
{
    if (reportIndex >= m_reports.size())
        return false;
    return replaceReportItem(m_reports[reportIndex], itemNumber, value, label);
}

ReportParts TLogFile::parts(std::size_t reportIndex) const
{
    if (reportIndex >= m_reports.size())
        return ReportParts {};
    return splitReportParts(m_reports[reportIndex]);
}

bool TLogFile::deleteOnVersionChange(const std::string &programVersion)
{
    if (m_reports.empty())
        return false;
    const std::optional<std::string> version = readReportItem(m_reports.back(), "1.3");
    if (!version || *version == programVersion)
        return false;
    return remove();
}

std::string TLogFile::toXml() const
{
    return logToXml(m_reports);
}

std::string TLogFile::toXml(std::size_t reportIndex) const
{
    if (reportIndex >= m_reports.size())
        return logToXml({});
    return logToXml({ m_reports[reportIndex] });
}

} // namespace crashreport
