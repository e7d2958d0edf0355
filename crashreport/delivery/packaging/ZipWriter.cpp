#include "ZipWriter.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

namespace crashreport {

namespace {

bool ReadWholeFile(const std::string &path, std::vector<unsigned char> &data, std::time_t &modified)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    struct stat st {};
    bool ok = ::fstat(::fileno(file), &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        modified = st.st_mtime;
        try {
            data.resize(std::size_t(st.st_size));
        } catch (...) {
            ok = false;
        }
    }
    if (ok)
        ok = std::fread(data.data(), 1, data.size(), file) == data.size();
    // The file must not have grown behind our back either: all or nothing.
    if (ok)
        ok = std::fgetc(file) == EOF && !std::ferror(file);
    std::fclose(file);
    return ok;
}

bool IsAscii(const std::string &text)
{
    for (const unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

} // namespace

TZipWriter::TZipWriter(const std::string &archivePath, std::string password) : m_password(std::move(password))
{
    // A link at that name is removed, never written through.
    ::unlink(archivePath.c_str());
    m_zip = zipOpen64(archivePath.c_str(), APPEND_STATUS_CREATE);
}

TZipWriter::~TZipWriter()
{
    close();
}

bool TZipWriter::close()
{
    if (!m_zip)
        return false;
    const int result = zipClose(static_cast<zipFile>(m_zip), nullptr);
    m_zip = nullptr;
    return result == ZIP_OK;
}

bool TZipWriter::addFile(const std::string &sourcePath, const std::string &nameInArchive)
{
    if (!m_zip || nameInArchive.empty())
        return false;
    try {
        std::vector<unsigned char> data;
        std::time_t modified = 0;
        if (!ReadWholeFile(sourcePath, data, modified))
            return false;

        zip_fileinfo info {};
        struct tm local {};
        if (localtime_r(&modified, &local)) {
            info.tmz_date.tm_sec = uInt(local.tm_sec);
            info.tmz_date.tm_min = uInt(local.tm_min);
            info.tmz_date.tm_hour = uInt(local.tm_hour);
            info.tmz_date.tm_mday = uInt(local.tm_mday);
            info.tmz_date.tm_mon = uInt(local.tm_mon);
            info.tmz_date.tm_year = uInt(local.tm_year + 1900);
        }
        uLong crc = crc32(0L, Z_NULL, 0);
        for (std::size_t done = 0; done < data.size();) {
            const uInt chunk = uInt(std::min<std::size_t>(data.size() - done, 1u << 30));
            crc = crc32(crc, data.data() + done, chunk);
            done += chunk;
        }
        const char *password = m_password.empty() ? nullptr : m_password.c_str();
        // Bit 11: the name is UTF-8.
        const uLong flags = IsAscii(nameInArchive) ? 0 : 0x800;
        const int zip64 = data.size() >= 0xFFFFFFFFu ? 1 : 0;
        auto *zip = static_cast<zipFile>(m_zip);
        if (zipOpenNewFileInZip4_64(zip, nameInArchive.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                9, 0, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, password, crc, 0, flags, zip64)
            != ZIP_OK)
            return false;
        bool ok = true;
        for (std::size_t done = 0; ok && done < data.size();) {
            const unsigned chunk = unsigned(std::min<std::size_t>(data.size() - done, 1u << 30));
            ok = zipWriteInFileInZip(zip, data.data() + done, chunk) == ZIP_OK;
            done += chunk;
        }
        return zipCloseFileInZip(zip) == ZIP_OK && ok;
    } catch (...) {
        return false;
    }
}

int PackFiles(const std::string &archivePath, const std::string &password, const std::vector<TZipEntry> &files)
{
    if (files.empty())
        return 0;
    TZipWriter writer(archivePath, password);
    if (!writer.isOpen())
        return -1;
    int packed = 0;
    for (const TZipEntry &entry : files)
        if (writer.addFile(entry.sourcePath, entry.nameInArchive))
            ++packed;
    return writer.close() ? packed : -1;
}

} // namespace crashreport
