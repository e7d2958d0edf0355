#include "CrashNames.h"

#include <cstdlib>
#include <cxxabi.h>
#include <vector>

namespace crashreport
{

std::string CrashDemangle(const char *name)
{
    if (!name)
        return {};
    if (name[0] == '_' && name[1] == 'Z') {
        int status = 0;
        char *out = abi::__cxa_demangle(name, nullptr, nullptr, &status);
        if (status == 0 && out) {
            std::string result(out);
            std::free(out);
            return result;
        }
        std::free(out);
    }
    return name;
}

namespace
{

    bool isIdentChar(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
            || c == '$';
    }

    // Length of an operator name starting at pos ("operator<<", "operator()", "operator new[]",
    // "operator bool"), or 0 when none starts there.
    std::size_t operatorLength(std::string_view s, std::size_t pos)
    {
        static constexpr std::string_view op = "operator";
        if (s.substr(pos, op.size()) != op || (pos > 0 && isIdentChar(s[pos - 1])))
            return 0;
        std::size_t p = pos + op.size();
        if (p < s.size() && isIdentChar(s[p]))
            return 0; // an identifier such as "operators"
        if (s.substr(p, 2) == "()")
            return p + 2 - pos;
        if (s.substr(p, 2) == "[]")
            return p + 2 - pos;
        static constexpr std::string_view symbols = "<>=!+-*/%^&|~,";
        std::size_t q = p;
        while (q < s.size() && symbols.find(s[q]) != std::string_view::npos)
            ++q;
        if (q > p)
            return q - pos;
        // A word operator: new, delete (with []), or a conversion "operator type".
        while (q < s.size() && s[q] == ' ')
            ++q;
        while (q < s.size() && s[q] != '(') {
            if (s[q] == '<') {
                int depth = 0;
                while (q < s.size()) {
                    if (s[q] == '<')
                        ++depth;
                    else if (s[q] == '>' && --depth == 0)
                        break;
                    ++q;
                }
            }
            if (q < s.size())
                ++q;
        }
        return q - pos;
    }

    // Calls visit(i) for every character outside brackets that is no bracket itself and not part
    // of an operator's name; visit returns how many characters after i it consumed.
    template <typename Visit> void scanTopLevel(std::string_view s, Visit visit)
    {
        int depth = 0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (const std::size_t opLen = depth == 0 ? operatorLength(s, i) : 0) {
                i += opLen - 1;
                continue;
            }
            const char c = s[i];
            if (c == '<' || c == '(' || c == '[' || c == '{')
                ++depth;
            else if ((c == '>' || c == ')' || c == ']' || c == '}') && depth > 0)
                --depth;
            else if (depth == 0)
                i += visit(i);
        }
    }

} // namespace

std::string CrashStripSignature(std::string_view name)
{
    // Drop what follows the parameter list: "[clone .cold]", "[abi:cxx11]" and qualifiers.
    std::string_view rest = name;
    auto trimRight = [](std::string_view v) {
        while (!v.empty() && v.back() == ' ')
            v.remove_suffix(1);
        return v;
    };
    for (bool changed = true; changed;) {
        changed = false;
        rest = trimRight(rest);
        if (!rest.empty() && rest.back() == ']') {
            const std::size_t open = rest.rfind(" [");
            if (open != std::string_view::npos) {
                rest = rest.substr(0, open);
                changed = true;
                continue;
            }
        }
        for (std::string_view q : { "const", "volatile", "noexcept", "&&", "&" }) {
            if (rest.size() > q.size() && rest.ends_with(q)
                && (q[0] == '&' || rest[rest.size() - q.size() - 1] == ' '
                    || rest[rest.size() - q.size() - 1] == ')')) {
                rest.remove_suffix(q.size());
                changed = true;
                break;
            }
        }
    }
    // The parameter list is the last top-level group in parentheses, unless those
    // parentheses are the name of "operator()".
    std::size_t cut = rest.size();
    if (!rest.empty() && rest.back() == ')') {
        int depth = 0;
        std::size_t i = rest.size();
        while (i-- > 0) {
            if (rest[i] == ')')
                ++depth;
            else if (rest[i] == '(' && --depth == 0)
                break;
        }
        if (depth == 0 && i < rest.size() && i > 0) {
            const std::string_view before = trimRight(rest.substr(0, i));
            if (!before.ends_with("operator"))
                cut = i;
        }
    }
    const std::string_view name2 = rest.substr(0, cut);
    std::string_view head = name2;
    // Drop a leading return type: the last top-level space before the name proper.
    std::size_t start = 0;
    scanTopLevel(head, [&](std::size_t i) -> std::size_t {
        if (head[i] == ' ')
            start = i + 1;
        return 0;
    });
    std::string result(head.substr(start));
    while (!result.empty() && result.back() == ' ')
        result.pop_back();
    return result;
}

TCrashSplitName CrashSplitCppName(std::string_view name)
{
    const std::string stripped = CrashStripSignature(name);
    std::string_view s = stripped;
    std::size_t lastSep = std::string_view::npos;
    scanTopLevel(s, [&](std::size_t i) -> std::size_t {
        if (s[i] == ':' && i + 1 < s.size() && s[i + 1] == ':') {
            lastSep = i;
            return 1;
        }
        return 0;
    });
    TCrashSplitName out;
    if (lastSep == std::string_view::npos) {
        out.procedureName = std::string(s);
    } else {
        out.className = std::string(s.substr(0, lastSep));
        out.procedureName = std::string(s.substr(lastSep + 2));
    }
    return out;
}

} // namespace crashreport
