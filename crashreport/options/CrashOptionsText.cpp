#include "CrashOptionsText.h"

#include <charconv>
#include <limits>
#include <map>
#include <set>

namespace crashreport {

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool Unescape(std::string_view raw, std::string &out, std::string &error)
{
    if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"')
        raw = raw.substr(1, raw.size() - 2);
    out.clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            out += raw[i];
            continue;
        }
        if (++i == raw.size()) {
            error = "a value ends with a lone backslash";
            return false;
        }
        switch (raw[i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        default:
            error = std::string("unknown escape \\") + raw[i];
            return false;
        }
    }
    return true;
}

bool ParseNumber(std::string_view text, std::int64_t min, std::int64_t max, std::int64_t &value, std::string &error)
{
    bool negative = false;
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '-') {
        negative = true;
        digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    std::uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()
        || magnitude > std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
        error = "\"" + std::string(text) + "\" is not a number";
        return false;
    }
    value = negative ? -std::int64_t(magnitude) : std::int64_t(magnitude);
    if (value < min || value > max) {
        error = std::string(text) + " is out of range (" + std::to_string(min) + " to " + std::to_string(max) + ")";
        return false;
    }
    return true;
}

template <class T> bool ParseValue(std::string_view raw, T &value, std::string &error)
{
    std::string text;
    if (!Unescape(raw, text, error))
        return false;
    if constexpr (std::is_same_v<T, std::string>) {
        value = std::move(text);
        return true;
    } else {
        std::int64_t min = std::numeric_limits<T>::min();
        std::int64_t max = std::is_same_v<T, std::uint64_t> ? std::int64_t(AllReportFields)
                                                             : std::int64_t(std::numeric_limits<T>::max());
        std::int64_t number = 0;
        if (!ParseNumber(Trim(text), min, max, number, error))
            return false;
        value = T(number);
        return true;
    }
}

bool ParseFilterKey(std::string_view key, std::uint32_t &index, std::string_view &part)
{
    constexpr std::string_view prefix = "Filter.";
    if (key.substr(0, prefix.size()) != prefix)
        return false;
    key.remove_prefix(prefix.size());
    const std::size_t dot = key.find('.');
    if (dot == std::string_view::npos)
        return false;
    const auto [end, ec] = std::from_chars(key.data(), key.data() + dot, index);
    if (ec != std::errc() || end != key.data() + dot)
        return false;
    part = key.substr(dot + 1);
    return true;
}

bool ApplyFilterPart(TCrashExceptionFilter &filter, std::string_view part, std::string_view value, std::string &error)
{
    if (part == "Class")
        return ParseValue(value, filter.className, error);
    if (part == "Message")
        return ParseValue(value, filter.message, error);
    std::uint8_t number = 0;
    std::uint8_t *target = nullptr;
    if (part == "Active")
        target = &number;
    else if (part == "DialogOverride")
        target = &filter.dialogOverride;
    else if (part == "HandlerKind")
        target = &filter.handlerKind;
    else if (part == "FilterAction")
        target = &filter.filterAction;
    else if (part == "Spare")
        target = &filter.spare;
    if (!target) {
        error = "unknown filter key " + std::string(part);
        return false;
    }
    if (!ParseValue(value, *target, error))
        return false;
    if (part == "Active")
        filter.active = number != 0;
    return true;
}

bool ApplyKey(TCrashOptionsFile &file, std::map<std::uint32_t, TCrashExceptionFilter> &filters, std::string_view key,
              std::string_view value, std::string &error)
{
    TCrashModuleOptions &options = file.options;
#define CRASH_PARSE_FIELD(kind, Name, get, set, def, since)                                                   \
    if (key == #Name) {                                                                                      \
        TCrashFieldType<TCrashFieldKind::kind>::type v {};                                                   \
        if (!ParseValue(value, v, error))                                                                    \
            return false;                                                                                    \
        options.set(std::move(v));                                                                           \
        return true;                                                                                         \
    }
    CRASH_MODULE_OPTION_FIELDS(CRASH_PARSE_FIELD)
#undef CRASH_PARSE_FIELD
    if (key == "LeakUseMainOptions")
        return ParseValue(value, file.leakUseMainOptions, error);
    if (key == "CAFile") {
        std::string v;
        if (!ParseValue(value, v, error))
            return false;
        options.setCAFile(std::move(v));
        return true;
    }
    if (key == "MailMessage" || key == "TextSetName") {
        std::string v;
        if (!ParseValue(value, v, error))
            return false;
        key == "MailMessage" ? options.setMailMessage(std::move(v)) : options.setTextSetName(std::move(v));
        return true;
    }
    if (key.substr(0, 5) == "Text.") {
        std::size_t id = 0;
        const std::string_view digits = key.substr(5);
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || id >= CrashTextCount) {
            error = "unknown text id in " + std::string(key);
            return false;
        }
        std::string v;
        if (!ParseValue(value, v, error))
            return false;
        options.setText(id, std::move(v));
        return true;
    }
    std::uint32_t index = 0;
    std::string_view part;
    if (ParseFilterKey(key, index, part))
        return ApplyFilterPart(filters[index], part, value, error);
    error = "unknown key " + std::string(key);
    return false;
}

} // namespace

bool ParseCrashOptionsText(std::string_view text, TCrashOptionsFile &out, std::string &error)
{
    out.options.setDefaults();
    out.leakUseMainOptions = 0;
    std::map<std::uint32_t, TCrashExceptionFilter> filters;
    std::set<std::string, std::less<>> seen;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = Trim(line);
        if (lineNumber == 1 && line.substr(0, 3) == "\xEF\xBB\xBF")
            line.remove_prefix(3);
        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        const std::size_t equals = line.find('=');
        const auto fail = [&](const std::string &message) {
            error = "line " + std::to_string(lineNumber) + ": " + message;
            return false;
        };
        if (equals == std::string_view::npos)
            return fail("expected \"key = value\"");
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (key.empty())
            return fail("a key is missing");
        if (!seen.insert(std::string(key)).second)
            return fail("the key " + std::string(key) + " is given twice");
        std::string message;
        if (!ApplyKey(out, filters, key, value, message))
            return fail(message);
    }
    TCrashExceptionsFilters list;
    for (auto &[index, filter] : filters)
        list.add(std::move(filter));
    out.options.setFilters(std::move(list));
    error.clear();
    return true;
}

} // namespace crashreport
