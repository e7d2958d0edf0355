#pragma once
// A strict check of a written XML document: Qt's stream reader, which refuses what XML 1.0
// forbids (bad character references, control characters, unbalanced or duplicate attributes).

#include <QByteArray>
#include <QXmlStreamReader>

#include <string>

namespace crashreport::testing
{

// Empty when the document is well-formed, else the parser's error with its line and column.
inline std::string xmlWellFormedError(const std::string &document)
{
    QXmlStreamReader reader(QByteArray::fromStdString(document));
    int elements = 0;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            ++elements;
    }
    if (reader.hasError())
        return reader.errorString().toStdString() + " (line " + std::to_string(reader.lineNumber())
            + ", column " + std::to_string(reader.columnNumber()) + ")";
    if (elements == 0)
        return "no element";
    return {};
}

} // namespace crashreport::testing
