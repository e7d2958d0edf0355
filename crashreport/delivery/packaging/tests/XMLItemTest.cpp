#include "LineBreaks.h"
#include "StrictXml.h"
#include "XMLItem.h"

#include <gtest/gtest.h>

using namespace crashreport;

TEST(XMLItem, EscapesMarkupControlAndNonAsciiCharacters)
{
    const struct {
        std::string text;
        std::string escaped;
    } cases[] = {
        { "", "" },
        { "plain text 123", "plain text 123" },
        { "<", "&#060;" },
        { "a<b>c", "a&#060;b&#062;c" },
        { "\"&'", "&#034;&#038;&#039;" },
        { "\t\r\n", "&#009;&#013;&#010;" },
        { std::string("a\0b", 3), "a b" },           // a control character XML cannot carry
        { "\x01\x1F\x7F", "  &#127;" },
        { "caf\xC3\xA9", "caf&#233;" },                // é, one character
        { "\xC3\xBF", "&#255;" },                     // ÿ
        { "\xC4\x80", "&#256;" },                     // beyond Latin-1: the full code
        { "\xE2\x82\xAC 5", "&#8364; 5" },            // €
        { "\xF0\x9F\x98\x80", "&#128512;" },          // an emoji, one reference
        { "\xFF", "&#255;" },                         // not UTF-8: the byte itself
        { "\xE2\x82", "&#226;&#130;" },               // a torn sequence
        { "\xC0\xAF", "&#192;&#175;" },               // overlong form
        { "\xED\xA0\x80", "&#237;&#160;&#128;" },     // a surrogate
        { "\xC3(", "&#195;(" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(TXMLItem::Escape(c.text), c.escaped) << c.text;
}

TEST(XMLItem, ElementWithoutTextAndChildrenIsSelfClosing)
{
    TXMLItem item("Module");
    EXPECT_EQ(item.asText(), "<Module/>\r\n");
    item.addAttribute("Name", "a<b");
    EXPECT_EQ(item.attributes(), " Name=\"a&#060;b\"");
    item.addAttribute("Size", "12");
    EXPECT_EQ(item.asText(), "<Module Name=\"a&#060;b\" Size=\"12\"/>\r\n");
}

TEST(XMLItem, WritesTextChildrenAndIndentation)
{
    TXMLItem root("Log");
    root.addAttribute("Version", "6.0.12");
    TXMLItem *general = root.addChild("General");
    EXPECT_EQ(general->parent(), &root);
    TXMLItem *label = general->addChild("Label");
    label->setText(TXMLItem::Escape("Start Date"));
    label->addAttribute("Number", "1.1");
    general->addChild("Empty");
    TXMLItem *doc = root.addChild("Doc");
    doc->setText("text");
    doc->addChild("Line")->setText("x");

    EXPECT_EQ(root.asText(), "<Log Version=\"6.0.12\">\r\n"
                             "  <General>\r\n"
                             "    <Label Number=\"1.1\">Start Date</Label>\r\n"
                             "    <Empty/>\r\n"
                             "  </General>\r\n"
                             "  <Doc>text\r\n"
                             "    <Line>x</Line>\r\n"
                             "  </Doc>\r\n"
                             "</Log>\r\n");
    EXPECT_EQ(root.children().count(), 2u);
    EXPECT_EQ(root.children().item(1), doc);
    EXPECT_EQ(label->parent(), general);

    // write() appends; the element's own indentation leads every line.
    std::string out = "head\r\n";
    general->setIndentation("\t");
    general->write(out);
    EXPECT_EQ(out, "head\r\n"
                   "\t<General>\r\n"
                   "\t  <Label Number=\"1.1\">Start Date</Label>\r\n"
                   "\t  <Empty/>\r\n"
                   "\t</General>\r\n");
}

TEST(LineBreaks, LoneBreaksBecomeCrLf)
{
    const struct {
        std::string text;
        std::string normalised;
    } cases[] = {
        { "", "" },
        { "no breaks", "no breaks" },
        { "a\r\nb\r\n", "a\r\nb\r\n" },
        { "a\nb", "a\r\nb" },
        { "a\rb", "a\r\nb" },
        { "\n", "\r\n" },
        { "\r", "\r\n" },
        { "a\r\nb\nc\rd", "a\r\nb\r\nc\r\nd" },
        { "\n\r", "\r\n\r\n" },
        { "\r\r\n", "\r\n\r\n" },
        { "a\n\n", "a\r\n\r\n" },
        { "\xC3\xA9\n", "\xC3\xA9\r\n" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(NormalizeLineBreaks(c.text), c.normalised) << c.text;
}

// What the builder writes is read back by a strict XML parser: escaped markup characters in
// text and attributes, line breaks, non-ASCII text, empty and nested elements.
TEST(XMLItem, WrittenDocumentsAreWellFormedXml)
{
    const std::string texts[] = {
        "",
        "plain",
        "a < b & c > d \"quoted\" 'single'",
        "two\r\nlines\tand a tab",
        "Gr\xC3\xB6\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80",
        "]]> and <!-- not a comment --> <![CDATA[x]]>",
    };
    for (const std::string &text : texts) {
        TXMLItem root("Log");
        root.addAttribute("Version", "6.0.12");
        TXMLItem *doc = root.addChild("Doc");
        TXMLItem *label = doc->addChild("Label");
        label->addAttribute("Name", text);
        label->addAttribute("Number", "1.1");
        label->setText(TXMLItem::Escape(NormalizeLineBreaks(text)));
        doc->addChild("Empty");
        doc->addChild("Nested")->addChild("Line")->setText(TXMLItem::Escape(text));
        const std::string xml = root.asText();
        EXPECT_EQ(crashreport::testing::xmlWellFormedError(xml), "") << xml;
    }
}
