#pragma once
// A ZIP archive writer on minizip: deflate level 9, each entry with its
// source file's modification time, traditional PKWARE encryption when a
// password is given. Nothing here throws.

#include <string>
#include <vector>

namespace crashreport {

class TZipWriter {
public:
    // Deletes any file of that name and opens a new archive there.
    TZipWriter(const std::string &archivePath, std::string password = {});
    // Closes the archive (no archive comment).
    ~TZipWriter();
    TZipWriter(const TZipWriter &) = delete;
    TZipWriter &operator=(const TZipWriter &) = delete;

    bool isOpen() const { return m_zip != nullptr; }
    // Adds the whole source file under nameInArchive. False when the file
    // cannot be read completely or the archive refuses the entry; the
    // archive stays usable.
    bool addFile(const std::string &sourcePath, const std::string &nameInArchive);
    // Closes the archive now; false when the central directory could not be written.
    bool close();

private:
    void *m_zip = nullptr;
    std::string m_password;
};

// Packs the files (source path, name in archive) into one archive. Writes
// nothing for an empty list; a file that cannot be added is skipped. Returns
// the number of files packed, -1 when the archive could not be created.
struct TZipEntry {
    std::string sourcePath;
    std::string nameInArchive;
};
int PackFiles(const std::string &archivePath, const std::string &password, const std::vector<TZipEntry> &files);

} // namespace crashreport
