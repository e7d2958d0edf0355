#pragma once
// A fresh folder under the system's temporary folder for one test, removed with everything in
// it (also when a test took its permissions away) at the end of the test.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace crashreport::testing {

class CrashTempFolder {
public:
    explicit CrashTempFolder(const std::string &prefix = "crashreport")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~CrashTempFolder()
    {
        if (m_path.empty())
            return;
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    CrashTempFolder(const CrashTempFolder &) = delete;
    CrashTempFolder &operator=(const CrashTempFolder &) = delete;

    std::string file(const std::string &name) const { return m_path + "/" + name; }
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace crashreport::testing
