#include "CrashNames.h"

#include <cstdlib>
#include <cxxabi.h>
#include <vector>

namespace crashreport
{

namespace
{

    // The runtime's answer, or "" when it refuses the name.
    std::string demangleExact(const std::string &name)
    {
        int status = 0;
        char *out = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
        std::string result = status == 0 && out ? std::string(out) : std::string();
        std::free(out);
        return result;
    }

    bool isDigit(char c)
    {
        return c >= '0' && c <= '9';
    }

    // Newer compilers mangle a lambda with an explicit template head as "Ul", its template
    // parameter declarations ("Ty" for a type, "Tn" and a builtin type for a value), then its
    // signature; older demanglers refuse those declarations. Without them the name reads as
    // the generic lambda it is.
    std::string withoutLambdaTemplateHeads(std::string_view name)
    {
        std::string out;
        out.reserve(name.size());
        for (std::size_t i = 0; i < name.size();) {
            if (name.substr(i, 2) != "Ul") {
                out += name[i++];
                continue;
            }
            out += "Ul";
            i += 2;
            while (true) {
                if (name.substr(i, 2) == "Ty")
                    i += 2;
                else if (name.substr(i, 3) == "TpTy")
                    i += 4;
                else if (name.substr(i, 2) == "Tn" && i + 2 < name.size() && name[i + 2] >= 'a'
                    && name[i + 2] <= 'z')
                    i += 3;
                else
                    break;
            }
        }
        return out;
    }

    // A local entity "_ZZ<function>E<entity>": the enclosing function, found as the shortest
    // part before an "E" that demangles.
    std::string enclosingFunction(const std::string &name)
    {
        for (std::size_t e = name.find('E', 3); e != std::string::npos; e = name.find('E', e + 1)) {
            const std::string function = demangleExact("_Z" + name.substr(3, e - 3));
            if (function.empty())
                continue;
            const std::string entity = name.substr(e + 1);
            if (entity.find("Ul") != std::string::npos)
                return function + "::{lambda}";
            std::size_t p = 0, len = 0;
            while (p < entity.size() && isDigit(entity[p]))
                len = len * 10 + static_cast<std::size_t>(entity[p++] - '0');
            if (len > 0 && p + len <= entity.size())
                return function + "::" + entity.substr(p, len);
            return function;
        }
        return {};
    }

    bool isSeqChar(char c)
    {
        return isDigit(c) || (c >= 'A' && c <= 'Z');
    }

    // The position behind the template arguments that open at p ("I...E"), or npos when their
    // end cannot be told. Source names are skipped by their length; substitutions and template
    // parameters ("S0_", "T_") are atoms; every construct that ends with "E" nests.
    std::size_t skipTemplateArgs(const std::string &s, std::size_t p)
    {
        int depth = 0;
        while (p < s.size()) {
            const char c = s[p];
            if (isDigit(c)) {
                std::size_t len = 0;
                while (p < s.size() && isDigit(s[p]) && len < s.size())
                    len = len * 10 + static_cast<std::size_t>(s[p++] - '0');
                p += len;
                continue;
            }
            if ((c == 'S' || c == 'T') && p + 1 < s.size() && (isSeqChar(s[p + 1]) || s[p + 1] == '_')) {
                std::size_t q = p + 1;
                while (q < s.size() && isSeqChar(s[q]))
                    ++q;
                if (q < s.size() && s[q] == '_') {
                    p = q + 1;
                    continue;
                }
            }
            if (s.compare(p, 2, "_Z") == 0) {
                p += 2; // an encoding inside a literal: its "E" closes the literal
                continue;
            }
            if (s.compare(p, 2, "Ul") == 0 || s.compare(p, 2, "DT") == 0 || s.compare(p, 2, "Dt") == 0) {
                ++depth;
                p += 2;
                continue;
            }
            if (c == 'I' || c == 'N' || c == 'X' || c == 'J' || c == 'L' || c == 'F' || c == 'Z')
                ++depth;
            else if (c == 'E' && --depth == 0)
                return p + 1;
            ++p;
        }
        return std::string::npos;
    }

    // The qualified name a mangled name starts with ("_ZN9QtPrivate15QCallableObjectI..." gives
    // "QtPrivate::QCallableObject<...>"), or "" when it starts with none.
    std::string leadingQualifiedName(const std::string &name)
    {
        std::size_t p = 2;
        if (p < name.size() && name[p] == 'N')
            ++p;
        while (p < name.size()
            && (name[p] == 'K' || name[p] == 'V' || name[p] == 'r' || name[p] == 'R' || name[p] == 'O'))
            ++p;
        std::string out, last;
        while (p < name.size()) {
            if (name.compare(p, 2, "St") == 0) {
                last = "std";
                p += 2;
            } else if (isDigit(name[p])) {
                std::size_t len = 0;
                while (p < name.size() && isDigit(name[p]) && len < name.size())
                    len = len * 10 + static_cast<std::size_t>(name[p++] - '0');
                if (len == 0 || p + len > name.size())
                    break;
                last = name.substr(p, len);
                p += len;
            } else if (!last.empty() && (name[p] == 'C' || name[p] == 'D') && p + 1 < name.size()
                && isDigit(name[p + 1])) {
                const std::size_t tmpl = last.find('<');
                const std::string base = last.substr(0, tmpl);
                last = name[p] == 'C' ? base : "~" + base;
                p += 2;
            } else if (name[p] == 'I' && !out.empty()) {
                out += "<...>";
                p = skipTemplateArgs(name, p);
                continue;
            } else {
                break;
            }
            out += out.empty() ? last : "::" + last;
        }
        return out;
    }

} // namespace

std::string CrashDemangle(const char *name)
{
    if (!name)
        return {};
    if (name[0] != '_' || name[1] != 'Z')
        return name;
    const std::string mangled(name);
    std::string result = demangleExact(mangled);
    if (result.empty()) {
        // A symbol version ("@Qt_6") is no part of the mangled name.
        const std::string bare = mangled.substr(0, mangled.find('@'));
        const std::string plain = withoutLambdaTemplateHeads(bare);
        result = demangleExact(plain);
        if (result.empty() && plain.size() > 3 && plain[2] == 'Z')
            result = enclosingFunction(plain);
        if (result.empty())
            result = leadingQualifiedName(plain);
    }
    return result.empty() ? mangled : result;
}

std::string CrashCutName(std::string text, std::size_t maxChars)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue; // a continuation byte belongs to the character before it
        if (chars++ == maxChars) {
            text.resize(i);
            break;
        }
    }
    return text;
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
