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
// dropped on read, a write replaces one key in place (new keys after the last non-blank
// line of their section, new sections at the end of the file) and keeps every other line
// byte for byte, its own line end included. On disk the file is Windows-1252 text; lines
// that a write produces end in CR LF. The line rules are those of IniDocument.
//
// Every read looks at the file as it is on disk at that moment; nothing is cached, so
// changes by other programs are seen. A read never creates the file; a write creates it.
//
// Every change reaches the disk as one whole-file replace (new file beside it,
// flushed, renamed over), so the file always holds either the old or the new content.
// Changes made between beginBatch() and commitBatch() reach the disk as one replace.
// A file that exists but cannot be read is never replaced: the write throws instead.
//
// Characters without a Windows-1252 byte are written as '?'; a line break inside a
// section name, key or value is written as a blank, so no write can add lines of its own.
class IniFile
{
public:
    explicit IniFile(const QString &path);
    ~IniFile();
    IniFile(const IniFile &) = delete;
    IniFile &operator=(const IniFile &) = delete;

    QString path() const;

    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;
    // Decimal with an optional sign, or hexadecimal after 0x/0X (after the sign, if any).
    // The whole value must be the number and fit an int: "12abc", "1.5" or "" give the default.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;

    // These throw IniWriteError when the file cannot be written.
    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    // The key lines "key=value" of a section, in file order; empty if it is missing.
    // A key that appears more than once is listed once, with the value that reads return.
    QStringList readSection(const QString &section) const;
    // Removes every occurrence of the section with all its lines. Nothing is written when
    // the section is not there.
    void eraseSection(const QString &section);

    // Group several writes into one replace of the file: all of them or none. The batch
    // starts from the file as it is at its first change; reads during the batch see its
    // changes. Batches nest: only the outermost commit writes. A batch still open when the
    // object is destroyed is dropped.
    void beginBatch();
    void commitBatch(); // throws IniWriteError; the batch is dropped either way
    void rollbackBatch(); // drops the batch, nested levels included

    // Every change outside a batch is on the disk when its call returns, so there is never
    // anything pending here; kept for callers that flush before closing.
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
