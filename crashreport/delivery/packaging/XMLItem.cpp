#include "XMLItem.h"

namespace crashreport {

TXMLItem *TXMLItems::add(std::string name, TXMLItem *parent)
{
    m_items.push_back(std::make_unique<TXMLItem>(std::move(name), parent));
    return m_items.back().get();
}

TXMLItem::TXMLItem(std::string name, TXMLItem *parent) : m_name(std::move(name)), m_parent(parent) {}

TXMLItem *TXMLItem::addChild(std::string name)
{
    return m_children.add(std::move(name), this);
}

void TXMLItem::addAttribute(std::string_view name, std::string_view value)
{
    m_attributes += ' ';
    m_attributes += name;
    m_attributes += "=\"";
    m_attributes += Escape(value);
    m_attributes += '"';
}

void TXMLItem::write(std::string &out) const
{
    writeIndented(out, m_indentation);
}

void TXMLItem::writeIndented(std::string &out, const std::string &indentation) const
{
    out += indentation;
    out += '<';
    out += m_name;
    out += m_attributes;
    if (m_text.empty() && m_children.empty()) {
        out += "/>\r\n";
        return;
    }
    out += '>';
    out += m_text;
    if (!m_children.empty()) {
        out += "\r\n";
        const std::string inner = indentation + "  ";
        for (std::size_t i = 0; i < m_children.count(); ++i)
            m_children.item(i)->writeIndented(out, inner);
        out += indentation;
    }
    out += "</";
    out += m_name;
    out += ">\r\n";
}

std::string TXMLItem::asText() const
{
    std::string out;
    write(out);
    return out;
}

namespace {

void AppendReference(std::string &out, unsigned code)
{
    std::string digits = std::to_string(code);
    out += "&#";
    if (digits.size() < 3)
        out.append(3 - digits.size(), '0');
    out += digits;
    out += ';';
}

// Length of the well-formed UTF-8 sequence at text[i] and its code point;
// 0 when the bytes there are not one.
std::size_t DecodeUtf8(std::string_view text, std::size_t i, unsigned &code)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    std::size_t length;
    unsigned min;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - i < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned next = byte(i + k);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string TXMLItem::Escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c < 32 && c != '\t' && c != '\n' && c != '\r')
                out += ' '; // XML 1.0 allows no other control character, not even as a reference
            else if (c < 32 || c == 127 || c == '"' || c == '&' || c == '\'' || c == '<' || c == '>')
                AppendReference(out, c);
            else
                out += char(c);
            ++i;
            continue;
        }
        unsigned code = 0;
        const std::size_t length = DecodeUtf8(text, i, code);
        if (length == 0) {
            // A byte that is not part of well-formed UTF-8 is taken as the
            // character of the same number, as the byte-wise escaping did.
            AppendReference(out, c);
            ++i;
        } else {
            AppendReference(out, code);
            i += length;
        }
    }
    return out;
}

} // namespace crashreport
