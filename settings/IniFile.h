#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <stdexcept>

namespace vetu {

// Raised when a file cannot be written; what() is "Unable to write to <full path>".
class IniWriteError : public std::runtime_error
{
public:
    explicit IniWriteError(const QString &path);
    QString path() const { return m_path; }

private:
    QString m_path;
};

// One INI-style text file with the platform profile semantics the device relies on:
// section and key names match without regard to case, blanks around a value are
// dropped on read, a write replaces one key in place (new keys at the end of their
// section, new sections at the end of the file) and keeps every other line as it is.
// On disk the file is Windows-1252 text with CR LF line ends.
//
// Every change reaches the disk as one whole-file replace (new file beside it,
// flushed, renamed over), so the file always holds either the old or the new content.
// Changes made between beginBatch() and commitBatch() reach the disk as one replace.
class IniFile
{
public:
    explicit IniFile(const QString &path);
    ~IniFile();
    IniFile(const IniFile &) = delete;
    IniFile &operator=(const IniFile &) = delete;

    QString path() const;

    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;
    // Decimal, or hexadecimal after 0x/0X; anything else gives the default.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;

    // These throw IniWriteError when the file cannot be written.
    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    // The key lines "key=value" of a section, in file order; empty if it is missing.
    QStringList readSection(const QString &section) const;
    void eraseSection(const QString &section);

    // Group several writes into one replace of the file: all of them or none.
    void beginBatch();
    void commitBatch(); // throws IniWriteError; the batch is dropped either way
    void rollbackBatch();

    // Writes anything still pending; a no-op when nothing is pending.
    void flush();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// RAII helper: begins a batch, commits it with commit(), rolls back otherwise.
class IniBatch
{
public:
    explicit IniBatch(IniFile &file) : m_file(file) { m_file.beginBatch(); }
    ~IniBatch()
    {
        if (!m_done)
            m_file.rollbackBatch();
    }
    void commit()
    {
        m_done = true;
        m_file.commitBatch();
    }

private:
    IniFile &m_file;
    bool m_done = false;
};

// True when every character of text has a Windows-1252 byte.
bool IsWindows1252Encodable(const QString &text);

} // namespace vetu
