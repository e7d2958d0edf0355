#include "KeptArchives.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace crashreport
{

namespace
{
    void pruneArchives(const fs::path &folder)
    {
        std::error_code ec;
        std::vector<std::string> names;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".zip") == 0 && it->is_regular_file(ec))
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        for (std::size_t i = 0; i + MaxKeptArchives < names.size(); ++i)
            fs::remove(folder / names[i], ec);
    }
} // namespace

bool keepFailedArchive(const std::string &archivePath, const std::string &folder, const std::string &keptName,
    std::string &error)
{
    try {
        const fs::path target = fs::path(folder) / keptName;
        std::error_code ec;
        fs::rename(archivePath, target, ec);
        if (ec) {
            // Another file system: copy, then remove the original.
            ec.clear();
            fs::copy_file(archivePath, target, fs::copy_options::overwrite_existing, ec);
            if (ec) {
                error = ec.message();
                return false;
            }
            fs::remove(archivePath, ec);
        }
        pruneArchives(folder);
        return true;
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
}

} // namespace crashreport
