#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace vetu {

// The parsed lines of one INI-style file. Every line keeps its own bytes and its own line
// end, so serialising a document that was not changed gives back the input byte for byte,
// and a change touches only the lines it rewrites or inserts (those end in CR LF).
//
// Line rules:
// - Lines end at LF, CR LF or a lone CR; the last line may have no line end.
// - A line whose first non-blank character is '[' is a section header; the name runs to
//   the first ']' (or the end of the line) and is trimmed of blanks.
// - A line whose first non-blank character is ';' is a comment.
// - Any other line holding '=' with a non-empty name before it is a key line; name and
//   value are trimmed of blanks (space and tab). Lines without '=' are kept but are no keys.
// - A UTF-8 byte-order mark at the start of the file is kept but does not hide a header.
// - Lines before the first header belong to no section.
// Names match without regard to letter case. With repeated sections or keys, reads and
// writes use the first occurrence.
class IniDocument
{
public:
    IniDocument() = default;
    static IniDocument parse(const QByteArray &bytes);

    QByteArray serialize() const;

    std::optional<QString> value(const QString &section, const QString &key) const;
    // "key=value" for each distinct key of the section's first occurrence, in file order.
    QStringList sectionLines(const QString &section) const;

    void setValue(const QString &section, const QString &key, const QString &value);
    // Removes every occurrence of the section: the header and all lines up to the next
    // header. Returns whether anything was removed.
    bool eraseSection(const QString &section);

private:
    enum class Kind { Other, Blank, Comment, Section, Key };
    struct Line {
        QByteArray text; // without the line end
        QByteArray eol;  // "", "\n", "\r\n" or "\r"
        Kind kind = Kind::Other;
        QString name; // section or key name, trimmed
    };
    // Lines [begin, end) of a section's body, after its header.
    struct Range {
        std::size_t header;
        std::size_t begin;
        std::size_t end;
    };

    static Line classify(QByteArray text, QByteArray eol);
    static QString valueOf(const Line &line);
    std::optional<Range> findSection(const QString &section, std::size_t from = 0) const;
    std::optional<std::size_t> findKey(const Range &range, const QString &key) const;
    void ensureLastLineEnded();

    std::vector<Line> m_lines;
};

} // namespace vetu
