#include "HtmlScan.h"

#include <charconv>
#include <utility>
#include <vector>

namespace crashreport {

namespace {

char LowerChar(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerChar(a[i]) != LowerChar(b[i]))
            return false;
    return true;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

void AppendUtf8(std::string &out, std::uint32_t cp)
{
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string DecodeEntities(std::string_view s)
{
    static constexpr std::pair<std::string_view, char> named[] = {
        { "amp;", '&' }, { "lt;", '<' }, { "gt;", '>' }, { "quot;", '"' }, { "apos;", '\'' }, { "nbsp;", ' ' },
    };
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        const std::string_view rest = s.substr(i + 1);
        bool done = false;
        for (const auto &[entity, ch] : named) {
            if (rest.size() >= entity.size() && EqualNoCase(rest.substr(0, entity.size()), entity)) {
                out += ch;
                i += entity.size();
                done = true;
                break;
            }
        }
        if (!done && rest.size() > 1 && rest[0] == '#') {
            const bool hex = rest[1] == 'x' || rest[1] == 'X';
            const std::size_t start = hex ? 2 : 1;
            const std::size_t semicolon = rest.find(';', start);
            if (semicolon != std::string_view::npos && semicolon > start && semicolon - start <= 8) {
                std::uint32_t cp = 0;
                const auto [end, ec] = std::from_chars(rest.data() + start, rest.data() + semicolon, cp, hex ? 16 : 10);
                if (ec == std::errc() && end == rest.data() + semicolon) {
                    AppendUtf8(out, cp);
                    i += semicolon + 1;
                    done = true;
                }
            }
        }
        if (!done)
            out += '&';
    }
    return out;
}

struct Tag {
    std::string name; // lower case, with a leading "/" for a closing tag
    std::vector<std::pair<std::string, std::string>> attributes; // names lower case, values raw
    std::size_t end = 0; // just after the ">" (or the end of the page)

    const std::string *attribute(std::string_view wanted) const
    {
        for (const auto &[n, v] : attributes)
            if (n == wanted)
                return &v;
        return nullptr;
    }
};

// The next tag at or after pos; false at the end of the page. Always leaves pos beyond the tag
// it returns, so that every caller moves forward.
bool NextTag(std::string_view page, std::size_t &pos, Tag &tag)
{
    while (pos < page.size()) {
        const std::size_t open = page.find('<', pos);
        if (open == std::string_view::npos) {
            pos = page.size();
            return false;
        }
        std::size_t i = open + 1;
        if (page.substr(i, 3) == "!--") {
            const std::size_t close = page.find("-->", i + 3);
            pos = close == std::string_view::npos ? page.size() : close + 3;
            continue;
        }
        tag = Tag();
        if (i < page.size() && page[i] == '/') {
            tag.name += '/';
            ++i;
        }
        const std::size_t nameStart = i;
        while (i < page.size() && !IsSpace(page[i]) && page[i] != '>' && page[i] != '/' && page[i] != '<')
            tag.name += LowerChar(page[i++]);
        if (i == nameStart) {
            pos = open + 1; // a lone "<" in the text
            continue;
        }
        while (i < page.size() && page[i] != '>') {
            if (IsSpace(page[i]) || page[i] == '/') {
                ++i;
                continue;
            }
            if (page[i] == '<')
                break; // an unclosed tag: the next one starts here
            std::string attrName;
            while (i < page.size() && !IsSpace(page[i]) && page[i] != '=' && page[i] != '>' && page[i] != '<')
                attrName += LowerChar(page[i++]);
            while (i < page.size() && IsSpace(page[i]))
                ++i;
            std::string value;
            if (i < page.size() && page[i] == '=') {
                ++i;
                while (i < page.size() && IsSpace(page[i]))
                    ++i;
                if (i < page.size() && (page[i] == '"' || page[i] == '\'')) {
                    const char quote = page[i++];
                    const std::size_t close = page.find(quote, i);
                    const std::size_t stop = close == std::string_view::npos ? page.size() : close;
                    value = std::string(page.substr(i, stop - i));
                    i = close == std::string_view::npos ? page.size() : close + 1;
                } else {
                    while (i < page.size() && !IsSpace(page[i]) && page[i] != '>')
                        value += page[i++];
                }
            }
            if (!attrName.empty())
                tag.attributes.emplace_back(std::move(attrName), std::move(value));
        }
        tag.end = i < page.size() && page[i] == '>' ? i + 1 : i;
        pos = tag.end > open ? tag.end : open + 1;
        return true;
    }
    return false;
}

bool NameIs(const Tag &tag, std::string_view name)
{
    const std::string *n = tag.attribute("name");
    return n && EqualNoCase(DecodeEntities(*n), name);
}

struct Option {
    std::string value;
    std::string text;
    bool selected = false;
};

// The options of the first <select> named so; false when there is no such list.
bool SelectOptions(std::string_view page, std::string_view name, std::vector<Option> &options)
{
    std::size_t pos = 0;
    Tag tag;
    while (NextTag(page, pos, tag)) {
        if (tag.name != "select" || !NameIs(tag, name))
            continue;
        while (NextTag(page, pos, tag)) {
            if (tag.name == "/select" || tag.name == "select")
                break;
            if (tag.name != "option")
                continue;
            Option option;
            option.selected = tag.attribute("selected") != nullptr;
            const std::size_t textEnd = std::min(page.find('<', tag.end), page.size());
            option.text = DecodeEntities(Trim(page.substr(tag.end, textEnd - tag.end)));
            const std::string *value = tag.attribute("value");
            option.value = value ? DecodeEntities(*value) : option.text;
            options.push_back(std::move(option));
        }
        return true;
    }
    return false;
}

} // namespace

std::size_t FindNoCase(std::string_view text, std::string_view part, std::size_t from)
{
    if (part.empty())
        return from <= text.size() ? from : std::string_view::npos;
    if (part.size() > text.size())
        return std::string_view::npos;
    for (std::size_t i = from; i + part.size() <= text.size(); ++i)
        if (EqualNoCase(text.substr(i, part.size()), part))
            return i;
    return std::string_view::npos;
}

bool ContainsNoCase(std::string_view text, std::string_view part)
{
    return FindNoCase(text, part) != std::string_view::npos;
}

std::optional<std::string> HtmlInputValue(std::string_view page, std::string_view name)
{
    std::size_t pos = 0;
    Tag tag;
    while (NextTag(page, pos, tag)) {
        if (tag.name == "input" && NameIs(tag, name)) {
            const std::string *value = tag.attribute("value");
            return value ? DecodeEntities(*value) : std::string();
        }
    }
    return std::nullopt;
}

std::optional<std::string> HtmlTextArea(std::string_view page, std::string_view name)
{
    std::size_t pos = 0;
    Tag tag;
    while (NextTag(page, pos, tag)) {
        if (tag.name == "textarea" && NameIs(tag, name)) {
            const std::size_t close = FindNoCase(page, "</textarea", tag.end);
            const std::size_t stop = close == std::string_view::npos ? page.size() : close;
            return DecodeEntities(page.substr(tag.end, stop - tag.end));
        }
    }
    return std::nullopt;
}

std::optional<std::string> HtmlSelectedOption(std::string_view page, std::string_view name)
{
    std::vector<Option> options;
    if (!SelectOptions(page, name, options) || options.empty())
        return std::nullopt;
    for (const Option &o : options)
        if (o.selected)
            return o.value;
    return options.front().value;
}

std::optional<std::string> HtmlOptionByText(std::string_view page, std::string_view name, std::string_view text)
{
    std::vector<Option> options;
    if (!SelectOptions(page, name, options) || options.empty())
        return std::nullopt;
    const std::string_view wanted = Trim(text);
    for (const Option &o : options)
        if (EqualNoCase(o.text, wanted))
            return o.value;
    for (const Option &o : options)
        if (o.selected)
            return o.value;
    return options.front().value;
}

namespace {

// Where the repetition number of a title lies: [begin, end).
bool RepetitionSpan(std::string_view title, std::size_t &begin, std::size_t &end)
{
    const std::size_t dash = title.find(" - ");
    if (dash == std::string_view::npos)
        return false;
    begin = dash + 3;
    const std::size_t bracket = title.find(']', begin);
    end = bracket == std::string_view::npos ? title.size() : bracket;
    if (end == begin || end - begin > 18)
        return false;
    for (std::size_t i = begin; i < end; ++i)
        if (title[i] < '0' || title[i] > '9')
            return false;
    return true;
}

} // namespace

std::optional<std::uint64_t> TitleRepetition(std::string_view title)
{
    std::size_t begin = 0, end = 0;
    if (!RepetitionSpan(title, begin, end))
        return std::nullopt;
    std::uint64_t value = 0;
    std::from_chars(title.data() + begin, title.data() + end, value);
    return value;
}

std::string CountTitleRepetition(std::string_view title)
{
    std::size_t begin = 0, end = 0;
    if (!RepetitionSpan(title, begin, end))
        return std::string(title);
    std::uint64_t value = 0;
    std::from_chars(title.data() + begin, title.data() + end, value);
    return std::string(title.substr(0, begin)) + std::to_string(value + 1) + std::string(title.substr(end));
}

} // namespace crashreport
