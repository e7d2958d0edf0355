#include "CrashModuleOptions.h"

#include "ByteStream.h"
#include "CrashDataBlock.h"

#include <link.h>

#include <cstring>

namespace crashreport {

const char *const DefaultHtmlLayout = "<HTML>\r\n<HEAD><TITLE>Application error</TITLE></HEAD>\r\n<BODY>\r\n"
                                      "<H2>The application has encountered a problem.</H2>\r\n"
                                      "<P>We have created an error report and will look into it.</P>\r\n"
                                      "</BODY>\r\n</HTML>";

namespace {

constexpr std::uint16_t FirstStoredVersion = 400;
constexpr std::uint16_t FirstSecondsVersion = 422; // FreezeSeconds in seconds from here on
constexpr std::uint16_t FortyFlagsVersion = 450;   // 40 show flags and 144 texts from here on
constexpr std::uint16_t CurrentLayoutVersion = 6000;

// The version from which each of the 48 show flags is stored; the report
// items that older data did not know are shown.
constexpr std::uint16_t ReportFieldSince(int bit)
{
    switch (bit) {
    case 33: // Display DPI
    case 35: // Printer
    case 41: case 42: case 43: case 44: case 45: case 46: // the network section
        return FortyFlagsVersion;
    case 5:  // Up Time
    case 12: case 13: case 14: case 15: // ID, Count, Status, Note
    case 19: // Privileges
    case 30: // System Up Time
    case 47: // custom data
        return CurrentLayoutVersion;
    default:
        return FirstStoredVersion;
    }
}

std::size_t StoredTextCount(std::uint16_t version)
{
    if (version >= CurrentLayoutVersion)
        return CrashTextCount;
    return version >= FortyFlagsVersion ? 144 : 105;
}

int ReportFieldsWidth(std::uint16_t version)
{
    if (version >= CurrentLayoutVersion)
        return 6;
    return version >= FortyFlagsVersion ? 5 : 4;
}

std::uint64_t WidenReportFields(std::uint64_t stored, std::uint16_t version)
{
    std::uint64_t result = 0;
    int next = 0;
    for (int bit = 0; bit < 48; ++bit) {
        bool set;
        if (ReportFieldSince(bit) > version)
            set = true;
        else
            set = (stored >> next++) & 1;
        if (set)
            result |= std::uint64_t(1) << bit;
    }
    return result;
}

void WriteText(ByteWriter &out, std::string_view text)
{
    const std::string stored = StoredCrashText(text);
    out.u32(std::uint32_t(stored.size()));
    for (const char c : stored)
        out.u8(std::uint8_t(std::uint8_t(c) ^ CrashTextKey));
}

bool ReadText(ByteReader &in, std::string &text)
{
    const std::uint32_t length = in.u32();
    std::vector<std::uint8_t> bytes;
    if (!in.bytes(length, bytes))
        return false;
    text.resize(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text[i] = char(bytes[i] ^ CrashTextKey);
    return true;
}

template <class T> void WriteField(ByteWriter &out, const T &value, int width)
{
    if constexpr (std::is_same_v<T, std::string>)
        WriteText(out, value);
    else
        out.put(std::uint64_t(value), width);
}

template <class T> bool ReadField(ByteReader &in, T &value, int width)
{
    if constexpr (std::is_same_v<T, std::string>) {
        return ReadText(in, value);
    } else {
        const std::uint64_t raw = in.get(width);
        value = T(raw);
        return in.ok();
    }
}

constexpr int Width(TCrashFieldKind kind)
{
    switch (kind) {
    case TCrashFieldKind::Byte:
        return 1;
    case TCrashFieldKind::Word:
        return 2;
    case TCrashFieldKind::DWord:
    case TCrashFieldKind::Int:
        return 4;
    case TCrashFieldKind::Flags48:
        return 6;
    case TCrashFieldKind::Text:
        return 0;
    }
    return 0;
}

struct ModuleHandleSearch {
    const std::string *name = nullptr;
    bool found = false;
    std::uint64_t handle = 0;
};

bool SameModuleName(const char *loaded, const std::string &wanted)
{
    if (!loaded)
        return false;
    if (wanted == loaded)
        return true;
    const char *slash = std::strrchr(loaded, '/');
    return slash && wanted == slash + 1;
}

std::uint64_t ModuleHandleOf(const std::string &name)
{
    // The program itself is the first object and reports no name.
    static const std::string program = CrashModuleFileOf(nullptr);
    static const std::string none;
    ModuleHandleSearch search;
    search.name = name == program ? &none : &name;
    dl_iterate_phdr(
        [](struct dl_phdr_info *info, std::size_t, void *data) {
            auto *s = static_cast<ModuleHandleSearch *>(data);
            // The first object is the program itself; it carries no name.
            if (s->name->empty() || SameModuleName(info->dlpi_name, *s->name)) {
                s->found = true;
                s->handle = info->dlpi_addr;
                return 1;
            }
            return 0;
        },
        &search);
    return search.handle;
}

} // namespace

std::string StoredCrashText(std::string_view text)
{
    if (text.size() <= 1)
        return std::string(text);
    int breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++breaks;
    }
    const char last = text.back();
    if (breaks != 1 || (last != '\n' && last != '\r'))
        return std::string(text);
    std::size_t cut = 1;
    if (last == '\n' && text.size() >= 2 && text[text.size() - 2] == '\r')
        cut = 2;
    return std::string(text.substr(0, text.size() - cut));
}

TCrashModuleOptions::TCrashModuleOptions(std::string moduleName) : m_moduleName(std::move(moduleName))
{
    try {
        m_moduleHandle = ModuleHandleOf(m_moduleName);
    } catch (...) {
        m_moduleHandle = 0;
    }
    setDefaults();
}

TCrashModuleOptions::TCrashModuleOptions(const TCrashModuleOptions &other)
    : m_moduleName(other.m_moduleName), m_moduleHandle(other.m_moduleHandle), m_error(other.m_error)
{
    copyOptionsFrom(other);
}

TCrashModuleOptions &TCrashModuleOptions::operator=(const TCrashModuleOptions &other)
{
    if (this != &other) {
        m_moduleName = other.m_moduleName;
        m_moduleHandle = other.m_moduleHandle;
        m_error = other.m_error;
        beginUpdate();
        copyOptionsFrom(other);
        m_pendingChange = true;
        endUpdate();
    }
    return *this;
}

void TCrashModuleOptions::setDefaults()
{
    beginUpdate();
    m_active = true;
#define CRASH_SET_DEFAULT(kind, Name, get, set, def, since) m_##Name = def;
    CRASH_MODULE_OPTION_FIELDS(CRASH_SET_DEFAULT)
#undef CRASH_SET_DEFAULT
    m_filters.clear();
    m_mailMessage.clear();
    const auto &texts = DefaultCrashTexts();
    for (std::size_t i = 0; i < CrashTextCount; ++i)
        m_texts[i] = std::string(texts[i]);
    m_textSetName = "English";
    m_caFile.clear();
    m_pendingChange = true;
    endUpdate();
}

void TCrashModuleOptions::copyOptionsFrom(const TCrashModuleOptions &other)
{
    m_active = other.m_active;
#define CRASH_COPY(kind, Name, get, set, def, since) m_##Name = other.m_##Name;
    CRASH_MODULE_OPTION_FIELDS(CRASH_COPY)
#undef CRASH_COPY
    m_filters = other.m_filters;
    m_mailMessage = other.m_mailMessage;
    m_texts = other.m_texts;
    m_textSetName = other.m_textSetName;
    m_caFile = other.m_caFile;
}

bool TCrashModuleOptions::assign(const TCrashModuleOptions *source)
{
    if (!source) {
        m_error = "Impossible to assign nil as TCrashModuleOptions.";
        return false;
    }
    if (source == this)
        return true;
    beginUpdate();
    copyOptionsFrom(*source);
    m_pendingChange = true;
    endUpdate();
    return true;
}

bool TCrashModuleOptions::sameOptions(const TCrashModuleOptions &other) const
{
    bool same = m_active == other.m_active;
#define CRASH_COMPARE(kind, Name, get, set, def, since) same = same && m_##Name == other.m_##Name;
    CRASH_MODULE_OPTION_FIELDS(CRASH_COMPARE)
#undef CRASH_COMPARE
    return same && m_filters == other.m_filters && m_mailMessage == other.m_mailMessage && m_texts == other.m_texts
        && m_textSetName == other.m_textSetName && m_caFile == other.m_caFile;
}

std::vector<std::uint8_t> TCrashModuleOptions::writeToStream() const
{
    ByteWriter out;
#define CRASH_WRITE(kind, Name, get, set, def, since) WriteField(out, m_##Name, Width(TCrashFieldKind::kind));
    CRASH_MODULE_OPTION_FIELDS(CRASH_WRITE)
#undef CRASH_WRITE
    out.u32(std::uint32_t(m_filters.count()));
    for (const TCrashExceptionFilter &filter : m_filters.items()) {
        out.u8(filter.active ? 1 : 0);
        WriteText(out, filter.className);
        WriteText(out, filter.message);
        out.u8(filter.dialogOverride);
        out.u8(filter.handlerKind);
        out.u8(filter.filterAction);
        out.u8(filter.spare);
    }
    WriteText(out, m_mailMessage);
    for (const std::string &text : m_texts)
        WriteText(out, text);
    WriteText(out, m_textSetName);
    return out.take();
}

bool TCrashModuleOptions::readFields(const std::uint8_t *data, std::size_t size, std::uint16_t version,
                                     std::string &error)
{
    ByteReader in(data, size);
    const bool old = version < CurrentLayoutVersion;
    const char *failedField = nullptr;
#define CRASH_READ(kind, Name, get, set, def, since)                                                          \
    if (!failedField && version >= since) {                                                                  \
        const int width = TCrashFieldKind::kind == TCrashFieldKind::Flags48 ? ReportFieldsWidth(version)       \
                                                                            : Width(TCrashFieldKind::kind);   \
        if (!ReadField(in, m_##Name, width))                                                                 \
            failedField = #Name;                                                                             \
    }
    CRASH_MODULE_OPTION_FIELDS(CRASH_READ)
#undef CRASH_READ
    if (failedField) {
        error = std::string("the stored options end inside the field ") + failedField;
        return false;
    }

    const std::uint32_t filterCount = in.u32();
    for (std::uint32_t i = 0; in.ok() && i < filterCount; ++i) {
        TCrashExceptionFilter filter;
        if (!old)
            filter.active = in.u8() != 0;
        if (!ReadText(in, filter.className) || !ReadText(in, filter.message))
            break;
        if (old) {
            filter.dialogOverride = 2;
            filter.handlerKind = filter.message.empty() ? 0 : 2;
            filter.filterAction = 0;
            filter.spare = 0;
        } else {
            filter.dialogOverride = in.u8();
            filter.handlerKind = in.u8();
            filter.filterAction = in.u8();
            filter.spare = in.u8();
        }
        if (in.ok())
            m_filters.add(std::move(filter));
    }
    if (!in.ok()) {
        error = "the stored options end inside the exception filters";
        return false;
    }
    if (!ReadText(in, m_mailMessage)) {
        error = "the stored options end inside the field MailMessage";
        return false;
    }
    const std::size_t textCount = StoredTextCount(version);
    for (std::size_t id = 0; id < textCount; ++id) {
        if (!ReadText(in, m_texts[id])) {
            error = "the stored options end inside text " + std::to_string(id);
            return false;
        }
    }
    if (!ReadText(in, m_textSetName)) {
        error = "the stored options end inside the field TextSetName";
        return false;
    }

    if (version < FirstSecondsVersion)
        m_FreezeSeconds /= 1000;
    if (old) {
        // Old data only said whether to mail, the mode now says how: through
        // the server when one is set, else the mail client. Data that did not
        // mail at all keeps not mailing.
        if (m_MailMode != 0)
            m_MailMode = m_MailHost.empty() ? 1 : 2;
        if (m_FirstTab == 3)
            m_FirstTab = 5;
        m_StackFlags |= 0x10;
        m_ReportFields = WidenReportFields(m_ReportFields, version);
    }
    return true;
}

bool TCrashModuleOptions::readFromStream(const std::uint8_t *data, std::size_t size, std::uint16_t version)
{
    beginUpdate();
    bool ok = false;
    try {
        setDefaults();
        std::string error;
        if (version < FirstStoredVersion) {
            error = "the stored options have the unsupported version " + std::to_string(version);
        } else {
            ok = readFields(data, size, version, error);
        }
        if (!ok) {
            setDefaults();
            m_error = error;
        } else {
            m_error.clear();
        }
    } catch (const std::exception &e) {
        setDefaults();
        m_error = std::string("the stored options cannot be read: ") + e.what();
        ok = false;
    }
    m_pendingChange = true;
    endUpdate();
    return ok;
}

bool TCrashModuleOptions::readFromFile(const std::string &path)
{
    const TCrashDataLookup lookup = ReadCrashDataFromFile(path);
    if (!lookup.found) {
        setDefaults();
        m_error = lookup.error.empty() ? path + ": no crash data block" : lookup.error;
        return false;
    }
    const bool ok = readFromStream(lookup.block.options, lookup.block.version);
    setCAFile(CrashDataCAFile(lookup.block));
    return ok;
}

void TCrashModuleOptions::setActive(bool value)
{
    setField(m_active, value);
}

const std::string &TCrashModuleOptions::text(std::size_t id) const
{
    static const std::string empty;
    return id < CrashTextCount ? m_texts[id] : empty;
}

bool TCrashModuleOptions::setText(std::size_t id, std::string value)
{
    if (id >= CrashTextCount)
        return false;
    setField(m_texts[id], std::move(value));
    return true;
}

void TCrashModuleOptions::setFilters(TCrashExceptionsFilters filters)
{
    setField(m_filters, std::move(filters));
}

void TCrashModuleOptions::setMailMessage(std::string value)
{
    setField(m_mailMessage, std::move(value));
}

void TCrashModuleOptions::setCAFile(std::string value)
{
    setField(m_caFile, std::move(value));
}

void TCrashModuleOptions::setTextSetName(std::string value)
{
    setField(m_textSetName, std::move(value));
}

#define CRASH_DEFINE_SETTER(kind, Name, get, set, def, since)                                                 \
    void TCrashModuleOptions::set(TCrashFieldType<TCrashFieldKind::kind>::type value)                        \
    {                                                                                                         \
        setField(m_##Name, std::move(value));                                                                 \
    }
CRASH_MODULE_OPTION_FIELDS(CRASH_DEFINE_SETTER)
#undef CRASH_DEFINE_SETTER

template <class T> void TCrashModuleOptions::setField(T &field, T value)
{
    beginUpdate();
    field = std::move(value);
    m_pendingChange = true;
    endUpdate();
}

void TCrashModuleOptions::beginUpdate()
{
    ++m_useCount;
}

void TCrashModuleOptions::endUpdate()
{
    if (--m_useCount == 0 && m_pendingChange) {
        m_pendingChange = false;
        changed();
    }
}

void TCrashModuleOptions::changed()
{
    if (!m_changeHandler)
        return;
    try {
        m_changeHandler(*this);
    } catch (...) {
        // A listener's failure must not break the options.
    }
}

void TCrashModuleOptions::setChangeHandler(std::function<void(const TCrashModuleOptions &)> handler)
{
    m_changeHandler = std::move(handler);
}

} // namespace crashreport
