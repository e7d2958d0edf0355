// Build-time tool: turns the tab-separated text table (texts.tsv) into a C++ source
// holding one sorted array of (number, UTF-8 text) rows. The four columns after the
// text id are the German, English, French and Spanish blocks at offsets 0, 10000,
// 20000 and 30000. Malformed input stops the build with a message naming the line.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace
{

constexpr int LanguageCount = 4;
constexpr int BlockSize = 10000;

std::vector<std::string> splitTabs(const std::string &line)
{
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

// A C string literal that reproduces the bytes exactly. Non-ASCII bytes and control
// characters become three-digit octal escapes, which cannot swallow a following digit.
std::string literal(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

bool validUtf8(const std::string &s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xe ? 2 : (c >> 3) == 0x1e ? 3 : -1;
        if (extra < 0 || i + extra >= s.size())
            return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80)
                return false;
        i += extra + 1;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: GenerateTextTable <texts.tsv> <output.cpp>\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << argv[1] << ": cannot open\n";
        return 1;
    }

    std::map<int, std::string> rows;
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string &why) {
        std::cerr << argv[1] << ":" << lineNo << ": " << why << "\n";
        return 1;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (!validUtf8(line))
            return fail("not valid UTF-8");
        const auto fields = splitTabs(line);
        if (fields.size() != 1 + LanguageCount)
            return fail("expected a text id and " + std::to_string(LanguageCount) + " texts");
        int id = 0;
        std::size_t used = 0;
        try {
            id = std::stoi(fields[0], &used);
        } catch (...) {
            used = 0;
        }
        if (used == 0 || used != fields[0].size() || id <= 0 || id >= BlockSize)
            return fail("text id must be a number from 1 to " + std::to_string(BlockSize - 1));
        for (int lang = 0; lang < LanguageCount; ++lang) {
            const std::string &text = fields[1 + lang];
            if (text.empty())
                continue;
            if (!rows.emplace(id + lang * BlockSize, text).second)
                return fail("text id " + std::to_string(id) + " appears twice");
        }
    }

    if (rows.empty()) {
        std::cerr << argv[1] << ": holds no texts\n";
        return 1;
    }

    std::ostringstream out;
    out << "// Generated from texts.tsv by GenerateTextTable. Do not edit.\n"
           "#include \"TextTableData.h\"\n\n"
           "const TextTableRow TextTableRows[] = {\n";
    for (const auto &[number, text] : rows)
        out << "    {" << number << ", " << literal(text) << "},\n";
    out << "};\n\nconst std::size_t TextTableRowCount = " << rows.size() << ";\n";

    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    file << out.str();
    file.close();
    if (!file) {
        std::cerr << argv[2] << ": cannot write\n";
        return 1;
    }
    return 0;
}
