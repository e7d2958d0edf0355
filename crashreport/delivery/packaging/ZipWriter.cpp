#include "ZipWriter.h"

#include "ZipCrypto.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <random>
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

// Raw deflate at level 9 with a 15-bit window and memory level 8.
bool Deflate(const std::vector<unsigned char> &in, std::vector<unsigned char> &out)
{
    z_stream stream {};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&stream, uLong(in.size())) + 16);
    stream.next_in = const_cast<unsigned char *>(in.data());
    stream.next_out = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    int result = Z_OK;
    while (result == Z_OK) {
        // zlib counts in 32 bits: feed at most 1 GiB at a time.
        if (stream.avail_in == 0) {
            stream.avail_in = uInt(std::min<std::size_t>(inLeft, 1u << 30));
            inLeft -= stream.avail_in;
        }
        if (stream.avail_out == 0) {
            stream.avail_out = uInt(std::min<std::size_t>(outLeft, 1u << 30));
            outLeft -= stream.avail_out;
        }
        result = deflate(&stream, inLeft == 0 ? Z_FINISH : Z_NO_FLUSH);
    }
    const bool ok = result == Z_STREAM_END;
    out.resize(ok ? std::size_t(stream.total_out) : 0);
    deflateEnd(&stream);
    return ok;
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
        std::vector<unsigned char> packed;
        if (!Deflate(data, packed))
            return false;
        const bool encrypted = !m_password.empty();
        if (encrypted) {
            // 11 random bytes and the check byte (the CRC's high byte), then the data.
            std::vector<unsigned char> header(12);
            std::random_device random;
            for (std::size_t i = 0; i < 11; ++i)
                header[i] = static_cast<unsigned char>(random());
            header[11] = static_cast<unsigned char>(crc >> 24);
            packed.insert(packed.begin(), header.begin(), header.end());
            ZipCrypto(m_password).encrypt(packed.data(), packed.size());
        }

        // Bit 0: encrypted; bit 11: the name is UTF-8. The data is written raw:
        // deflated (and encrypted) above.
        const uLong flags = (encrypted ? 0x1 : 0) | (IsAscii(nameInArchive) ? 0 : 0x800);
        const int zip64 = data.size() >= 0xFFFFFFFFu || packed.size() >= 0xFFFFFFFFu ? 1 : 0;
        auto *zip = static_cast<zipFile>(m_zip);
        if (zipOpenNewFileInZip4_64(zip, nameInArchive.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                9, 1, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0, flags, zip64)
            != ZIP_OK)
            return false;
        bool ok = true;
        for (std::size_t done = 0; ok && done < packed.size();) {
            const unsigned chunk = unsigned(std::min<std::size_t>(packed.size() - done, 1u << 30));
            ok = zipWriteInFileInZip(zip, packed.data() + done, chunk) == ZIP_OK;
            done += chunk;
        }
        return zipCloseFileInZipRaw64(zip, data.size(), crc) == ZIP_OK && ok;
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
