#include "IniFile.h"

#include "AtomicFileWriter.h"
#include "IniDocument.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <limits>
#include <optional>

namespace vetu {

IniWriteError::IniWriteError(const QString &path)
    : std::runtime_error(("Unable to write to " + QFileInfo(path).absoluteFilePath()).toStdString())
    , m_path(QFileInfo(path).absoluteFilePath())
{
}

namespace {

// The file as it is on disk now. A missing or unreadable file reads as empty.
IniDocument readDocument(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return IniDocument::parse(file.readAll());
}

// The file as the base of a change. A file that exists but cannot be read is refused:
// replacing it would lose its content.
IniDocument readDocumentForWrite(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw IniWriteError(path);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw IniWriteError(path);
    return IniDocument::parse(bytes);
}

// What identifies one version of the file on disk: our own writes replace the file, so
// they always change the inode; another program's edit changes size or time.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified {};

    static FileStamp of(const QString &path)
    {
        FileStamp stamp;
        struct stat info {};
        if (::stat(QFile::encodeName(path).constData(), &info) != 0)
            return stamp;
        stamp.exists = true;
        stamp.device = info.st_dev;
        stamp.inode = info.st_ino;
        stamp.size = info.st_size;
        stamp.modified = info.st_mtim;
        return stamp;
    }

    bool operator==(const FileStamp &other) const
    {
        return exists == other.exists && device == other.device && inode == other.inode && size == other.size
            && modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
    }
};

} // namespace

struct IniFile::Impl {
    QString path;
    int batchDepth = 0;
    // The document of an open batch, loaded by its first change.
    std::optional<IniDocument> pending;
    bool pendingChanged = false;
    // The last document read from disk, reused while the file is unchanged, so a run of
    // reads (thirty list labels, fifteen keys of a set) parses the file once.
    mutable std::optional<IniDocument> cached;
    mutable FileStamp cachedStamp;

    const IniDocument &current() const
    {
        if (pending)
            return *pending;
        const FileStamp stamp = FileStamp::of(path);
        if (!cached || !(stamp == cachedStamp)) {
            cached = stamp.exists ? readDocument(path) : IniDocument();
            cachedStamp = stamp;
        }
        return *cached;
    }

    // apply returns whether it changed the document.
    template<typename Change>
    void change(Change &&apply)
    {
        if (batchDepth > 0) {
            if (!pending)
                pending = readDocumentForWrite(path);
            if (apply(*pending))
                pendingChanged = true;
            return;
        }
        IniDocument document = readDocumentForWrite(path);
        if (apply(document))
            WriteFileAtomically(path, document.serialize());
    }

    void dropBatch()
    {
        batchDepth = 0;
        pending.reset();
        pendingChanged = false;
    }
};

IniFile::IniFile(const QString &path) : d(std::make_unique<Impl>())
{
    d->path = path;
}

IniFile::~IniFile() = default;

QString IniFile::path() const
{
    return d->path;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    return d->current().value(section, key).value_or(defaultValue);
}

namespace {

// Decimal with an optional sign, or hexadecimal after 0x/0X; the whole value must be the
// number and fit an int.
std::optional<int> parseInteger(const QString &text)
{
    QStringView digits(text);
    bool negative = false;
    if (!digits.isEmpty() && (digits.front() == u'-' || digits.front() == u'+')) {
        negative = digits.front() == u'-';
        digits = digits.mid(1);
    }
    int base = 10;
    if (digits.size() > 2 && digits.front() == u'0' && (digits.at(1) == u'x' || digits.at(1) == u'X')) {
        base = 16;
        digits = digits.mid(2);
    }
    if (digits.isEmpty())
        return std::nullopt;
    qint64 magnitude = 0;
    for (const QChar c : digits) {
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c.unicode() - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c.unicode() - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c.unicode() - u'A' + 10;
        else
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > qint64(1) << 31)
            return std::nullopt;
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace

int IniFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    const auto text = d->current().value(section, key);
    if (!text)
        return defaultValue;
    return parseInteger(*text).value_or(defaultValue);
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    d->change([&](IniDocument &document) {
        document.setValue(section, key, value);
        return true;
    });
}

void IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    writeString(section, key, QString::number(value));
}

QStringList IniFile::readSection(const QString &section) const
{
    return d->current().sectionLines(section);
}

void IniFile::eraseSection(const QString &section)
{
    // Nothing is written, and no file is created, when the section is not there.
    d->change([&](IniDocument &document) { return document.eraseSection(section); });
}

void IniFile::beginBatch()
{
    ++d->batchDepth;
}

void IniFile::commitBatch()
{
    if (d->batchDepth == 0)
        return;
    if (--d->batchDepth > 0)
        return;
    std::optional<IniDocument> document = std::move(d->pending);
    const bool changed = d->pendingChanged;
    d->dropBatch();
    if (document && changed)
        WriteFileAtomically(d->path, document->serialize());
}

void IniFile::rollbackBatch()
{
    d->dropBatch();
}

void IniFile::flush()
{
    // Every change outside a batch is on the disk when its call returns, and a batch
    // reaches the disk only through commitBatch(): nothing is ever held back here.
}

} // namespace vetu
