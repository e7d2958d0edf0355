#pragma once
// A small XML writer for the report's XML copy. Texts are UTF-8.
//
// Escaping works on characters: control characters (0..31), DEL (127), every
// character from 128 on and the characters " & ' < > are written as "&#"
// followed by the code and ";" (at least three decimal digits, more for code
// points above 999), so a UTF-8 sequence is never torn apart.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace crashreport {

class TXMLItem;

// An ordered list of elements that owns them.
class TXMLItems {
public:
    TXMLItem *add(std::string name, TXMLItem *parent);
    std::size_t count() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    TXMLItem *item(std::size_t index) const { return m_items.at(index).get(); }

private:
    std::vector<std::unique_ptr<TXMLItem>> m_items;
};

class TXMLItem {
public:
    explicit TXMLItem(std::string name, TXMLItem *parent = nullptr);
    TXMLItem(const TXMLItem &) = delete;
    TXMLItem &operator=(const TXMLItem &) = delete;

    const std::string &name() const { return m_name; }
    TXMLItem *parent() const { return m_parent; }
    TXMLItems &children() { return m_children; }
    const TXMLItems &children() const { return m_children; }

    // The text content; it is written as given (escape it with Escape() first
    // when it may hold markup characters).
    const std::string &text() const { return m_text; }
    void setText(std::string text) { m_text = std::move(text); }
    // The formatted attributes, each as ` name="value"`.
    const std::string &attributes() const { return m_attributes; }
    const std::string &indentation() const { return m_indentation; }
    void setIndentation(std::string indentation) { m_indentation = std::move(indentation); }

    // Creates a child element at the end of the child list; the list owns it.
    TXMLItem *addChild(std::string name);
    // Appends ` name="escaped value"` to the attributes.
    void addAttribute(std::string_view name, std::string_view value);

    // Appends this element and its children to out (lines end with CR LF).
    void write(std::string &out) const;
    // The element written into an empty text.
    std::string asText() const;

    static std::string Escape(std::string_view text);

private:
    void writeIndented(std::string &out, const std::string &indentation) const;

    std::string m_name;
    std::string m_attributes;
    std::string m_text;
    std::string m_indentation;
    TXMLItems m_children;
    TXMLItem *m_parent;
};

} // namespace crashreport
