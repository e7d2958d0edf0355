#include "IniDocument.h"

#include "Windows1252.h"

#include <QSet>

namespace vetu {

namespace {

const QByteArray CrLf = QByteArrayLiteral("\r\n");
const QByteArray Utf8ByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimmedBlanks(const QByteArray &bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes.at(begin)))
        ++begin;
    while (end > begin && isBlank(bytes.at(end - 1)))
        --end;
    return bytes.mid(begin, end - begin);
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A line break inside a name or value would start a new line of the file; it is written as
// a blank so that one write can only ever touch its own line.
QString singleLine(QString text)
{
    for (QChar &c : text) {
        if (c == u'\r' || c == u'\n')
            c = u' ';
    }
    return text;
}

} // namespace

IniDocument::Line IniDocument::classify(QByteArray text, QByteArray eol)
{
    Line line;
    line.text = std::move(text);
    line.eol = std::move(eol);
    qsizetype first = 0;
    while (first < line.text.size() && isBlank(line.text.at(first)))
        ++first;
    if (first == line.text.size()) {
        line.kind = Kind::Blank;
        return line;
    }
    const char lead = line.text.at(first);
    if (lead == '[') {
        qsizetype close = line.text.indexOf(']', first + 1);
        if (close < 0)
            close = line.text.size();
        line.kind = Kind::Section;
        line.name = DecodeWindows1252(trimmedBlanks(line.text.mid(first + 1, close - first - 1)));
        return line;
    }
    if (lead == ';') {
        line.kind = Kind::Comment;
        return line;
    }
    const qsizetype equals = line.text.indexOf('=');
    if (equals > first) {
        const QByteArray name = trimmedBlanks(line.text.left(equals));
        if (!name.isEmpty()) {
            line.kind = Kind::Key;
            line.name = DecodeWindows1252(name);
        }
    }
    return line;
}

QString IniDocument::valueOf(const Line &line)
{
    const qsizetype equals = line.text.indexOf('=');
    return DecodeWindows1252(trimmedBlanks(line.text.mid(equals + 1)));
}

IniDocument IniDocument::parse(const QByteArray &bytes)
{
    IniDocument document;
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype start = 0;
    while (start < size) {
        qsizetype end = start;
        while (end < size && data[end] != '\n' && data[end] != '\r')
            ++end;
        qsizetype next = end;
        if (end < size) {
            next = (data[end] == '\r' && end + 1 < size && data[end + 1] == '\n') ? end + 2 : end + 1;
        }
        QByteArray text(data + start, end - start);
        QByteArray eol(data + end, next - end);
        if (start == 0 && text.startsWith(Utf8ByteOrderMark)) {
            // Editors put this mark before the first header; the line is still a header.
            Line line = classify(text.mid(Utf8ByteOrderMark.size()), eol);
            line.text = text;
            document.m_lines.push_back(std::move(line));
        } else {
            document.m_lines.push_back(classify(std::move(text), std::move(eol)));
        }
        start = next;
    }
    return document;
}

QByteArray IniDocument::serialize() const
{
    qsizetype size = 0;
    for (const Line &line : m_lines)
        size += line.text.size() + line.eol.size();
    QByteArray bytes;
    bytes.reserve(size);
    for (const Line &line : m_lines) {
        bytes += line.text;
        bytes += line.eol;
    }
    return bytes;
}

std::optional<IniDocument::Range> IniDocument::findSection(const QString &section, std::size_t from) const
{
    for (std::size_t i = from; i < m_lines.size(); ++i) {
        if (m_lines[i].kind != Kind::Section || !sameName(m_lines[i].name, section))
            continue;
        std::size_t end = i + 1;
        while (end < m_lines.size() && m_lines[end].kind != Kind::Section)
            ++end;
        return Range{i, i + 1, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> IniDocument::findKey(const Range &range, const QString &key) const
{
    for (std::size_t i = range.begin; i < range.end; ++i) {
        if (m_lines[i].kind == Kind::Key && sameName(m_lines[i].name, key))
            return i;
    }
    return std::nullopt;
}

std::optional<QString> IniDocument::value(const QString &section, const QString &key) const
{
    const auto range = findSection(section.trimmed());
    if (!range)
        return std::nullopt;
    const auto index = findKey(*range, key.trimmed());
    if (!index)
        return std::nullopt;
    return valueOf(m_lines[*index]);
}

QStringList IniDocument::sectionLines(const QString &section) const
{
    QStringList lines;
    const auto range = findSection(section.trimmed());
    if (!range)
        return lines;
    QSet<QString> seen;
    for (std::size_t i = range->begin; i < range->end; ++i) {
        const Line &line = m_lines[i];
        if (line.kind != Kind::Key)
            continue;
        const QString folded = line.name.toCaseFolded();
        if (seen.contains(folded))
            continue;
        seen.insert(folded);
        lines.append(line.name + u'=' + valueOf(line));
    }
    return lines;
}

void IniDocument::ensureLastLineEnded()
{
    if (!m_lines.empty() && m_lines.back().eol.isEmpty())
        m_lines.back().eol = CrLf;
}

void IniDocument::setValue(const QString &section, const QString &key, const QString &value)
{
    const QString cleanSection = singleLine(section).trimmed();
    const QString cleanKey = singleLine(key).trimmed();
    const QByteArray valueBytes = EncodeWindows1252(singleLine(value));
    const auto range = findSection(cleanSection);
    if (!range) {
        ensureLastLineEnded();
        m_lines.push_back(classify('[' + EncodeWindows1252(cleanSection) + ']', CrLf));
        m_lines.push_back(classify(EncodeWindows1252(cleanKey) + '=' + valueBytes, CrLf));
        return;
    }
    if (const auto index = findKey(*range, cleanKey)) {
        // The key keeps the spelling it has in the file.
        Line &line = m_lines[*index];
        line = classify(EncodeWindows1252(line.name) + '=' + valueBytes, CrLf);
        return;
    }
    // A new key goes after the last non-blank line of the section, so that blank lines
    // that separate it from the next section stay after it.
    std::size_t insertAt = range->begin;
    for (std::size_t i = range->begin; i < range->end; ++i) {
        if (m_lines[i].kind != Kind::Blank)
            insertAt = i + 1;
    }
    if (m_lines[insertAt - 1].eol.isEmpty())
        m_lines[insertAt - 1].eol = CrLf;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
            classify(EncodeWindows1252(cleanKey) + '=' + valueBytes, CrLf));
}

bool IniDocument::eraseSection(const QString &section)
{
    // Every occurrence goes: erasing only the first would let a later copy of the section
    // come back into view.
    bool erased = false;
    std::size_t from = 0;
    while (const auto range = findSection(section.trimmed(), from)) {
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(range->header),
                m_lines.begin() + static_cast<std::ptrdiff_t>(range->end));
        from = range->header;
        erased = true;
    }
    return erased;
}

} // namespace vetu
