#include "CrashIniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

namespace crashreport {

namespace {

std::string trim(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool sameName(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool isSection(const std::string &line, std::string *name = nullptr)
{
    const std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    const auto close = t.find(']');
    if (close == std::string::npos)
        return false;
    if (name)
        *name = trim(t.substr(1, close - 1));
    return true;
}

bool makeFolders(const std::string &folder)
{
    if (folder.empty())
        return true;
    struct stat st{};
    if (::stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const auto slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

void TCrashIniFile::load(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    parse(text.str());
}

void TCrashIniFile::parse(const std::string &text)
{
    m_lines.clear();
    std::size_t at = 0;
    while (at < text.size()) {
        auto end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        m_lines.push_back(line);
        at = end + 1;
    }
}

int TCrashIniFile::findSection(const std::string &section) const
{
    std::string name;
    for (std::size_t i = 0; i < m_lines.size(); ++i)
        if (isSection(m_lines[i], &name) && sameName(name, section))
            return static_cast<int>(i);
    return -1;
}

int TCrashIniFile::findKey(int sectionLine, const std::string &key) const
{
    for (std::size_t i = static_cast<std::size_t>(sectionLine) + 1; i < m_lines.size(); ++i) {
        if (isSection(m_lines[i]))
            break;
        const auto eq = m_lines[i].find('=');
        if (eq != std::string::npos && sameName(trim(m_lines[i].substr(0, eq)), key))
            return static_cast<int>(i);
    }
    return -1;
}

bool TCrashIniFile::has(const std::string &section, const std::string &key) const
{
    const int s = findSection(section);
    return s >= 0 && findKey(s, key) >= 0;
}

std::string TCrashIniFile::value(const std::string &section, const std::string &key, const std::string &fallback) const
{
    const int s = findSection(section);
    const int k = s >= 0 ? findKey(s, key) : -1;
    if (k < 0)
        return fallback;
    const std::string &line = m_lines[k];
    std::string v = trim(line.substr(line.find('=') + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

void TCrashIniFile::setValue(const std::string &section, const std::string &key, const std::string &value)
{
    int s = findSection(section);
    if (s < 0) {
        if (!m_lines.empty() && !trim(m_lines.back()).empty())
            m_lines.emplace_back();
        m_lines.push_back("[" + section + "]");
        m_lines.push_back(key + "=" + value);
        return;
    }
    const int k = findKey(s, key);
    if (k >= 0) {
        const std::string &line = m_lines[k];
        m_lines[k] = line.substr(0, line.find('=')) + "=" + value;
        return;
    }
    // After the section's last key line, before any blank lines that end the section.
    std::size_t insertAt = static_cast<std::size_t>(s) + 1;
    for (std::size_t i = insertAt; i < m_lines.size() && !isSection(m_lines[i]); ++i)
        if (!trim(m_lines[i]).empty())
            insertAt = i + 1;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + value);
}

std::string TCrashIniFile::text() const
{
    std::string out;
    for (const auto &line : m_lines)
        out += line + "\r\n";
    return out;
}

bool TCrashIniFile::save(const std::string &path) const
{
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && !makeFolders(path.substr(0, slash)))
        return false;
    const std::string temp = path + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const std::string bytes = text();
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace crashreport
