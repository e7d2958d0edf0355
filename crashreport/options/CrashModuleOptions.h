#pragma once
// The options of one module that carries the crash-report library, with the
// library's text table and exception filters, and their stored form.
//
// Stored form: the fields of CRASH_MODULE_OPTION_FIELDS in that order, then the
// filter list, MailMessage, the 158 texts in id order and TextSetName. Numbers
// are little-endian of the listed width; a text is a u32 byte count and the
// UTF-8 bytes, each XOR-ed with CrashTextKey. Data of versions 400 to 5999 is
// read with the fields of its time (see the "since" column) and converted.

#include "CrashTexts.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace crashreport {

inline constexpr std::uint8_t CrashTextKey = 0xA5;
inline constexpr std::uint64_t AllReportFields = 0xFFFFFFFFFFFFull; // 48 show flags
inline constexpr const char *DefaultMailFrom = "crash-report@example.com";
extern const char *const DefaultHtmlLayout;

// Kinds of stored fields: 1, 2 and 4 bytes unsigned, 4 bytes signed, the
// 6-byte set of show flags, and text.
enum class TCrashFieldKind : std::uint8_t { Byte, Word, DWord, Int, Flags48, Text };

// X(kind, Name, getter, setter, default, first version that stores it)
#define CRASH_MODULE_OPTION_FIELDS(X)                                                                        \
    X(Byte, LogActive, logActive, setLogActive, 0, 400)                                                      \
    X(Byte, HandleActive, handleActive, setHandleActive, 1, 400)                                             \
    X(Byte, LogSections, logSections, setLogSections, 0x30, 400)                                             \
    X(Byte, AppendLogs, appendLogs, setAppendLogs, 0, 400)                                                   \
    X(Byte, KeepLogFile, keepLogFile, setKeepLogFile, 1, 400)                                                \
    X(Byte, FirstTab, firstTab, setFirstTab, 0, 400)                                                         \
    X(Byte, FreezeCheck, freezeCheck, setFreezeCheck, 0, 400)                                                \
    X(DWord, FreezeSeconds, freezeSeconds, setFreezeSeconds, 60, 400)                                        \
    X(Text, MailFrom, mailFrom, setMailFrom, DefaultMailFrom, 400)                                           \
    X(Text, MailHost, mailHost, setMailHost, "", 400)                                                        \
    X(Word, MailPort, mailPort, setMailPort, 25, 400)                                                        \
    X(Text, MailUser, mailUser, setMailUser, "", 400)                                                        \
    X(Text, MailPassword, mailPassword, setMailPassword, "", 400)                                            \
    X(Byte, TerminateAction, terminateAction, setTerminateAction, 2, 400)                                    \
    X(Int, ReportsToKeep, reportsToKeep, setReportsToKeep, 32, 400)                                          \
    X(Int, ReportsBeforeTerminate, reportsBeforeTerminate, setReportsBeforeTerminate, 3, 400)                \
    X(Text, MailAddresses, mailAddresses, setMailAddresses, "", 400)                                         \
    X(Text, MailSubject, mailSubject, setMailSubject, "", 400)                                               \
    X(Byte, MailMode, mailMode, setMailMode, 0, 400)                                                         \
    X(Flags48, ReportFields, reportFields, setReportFields, AllReportFields, 400)                            \
    X(Text, OutputFolder, outputFolder, setOutputFolder, "", 400)                                            \
    X(Byte, WebMode, webMode, setWebMode, 0, 420)                                                            \
    X(Text, WebAddress, webAddress, setWebAddress, "", 420)                                                  \
    X(Text, WebUser, webUser, setWebUser, "", 420)                                                           \
    X(Text, WebPassword, webPassword, setWebPassword, "", 420)                                               \
    X(DWord, WebPort, webPort, setWebPort, 0, 420)                                                           \
    X(Text, AttachedFiles, attachedFiles, setAttachedFiles, "", 420)                                         \
    X(Word, SendFlags, sendFlags, setSendFlags, 0x51, 400)                                                   \
    X(Word, DialogFlags, dialogFlags, setDialogFlags, 0x18F, 400)                                            \
    X(DWord, DialogCloseSeconds, dialogCloseSeconds, setDialogCloseSeconds, 0, 450)                          \
    X(Text, SupportAddress, supportAddress, setSupportAddress, "", 450)                                      \
    X(Text, HtmlLayout, htmlLayout, setHtmlLayout, DefaultHtmlLayout, 450)                                   \
    X(Byte, StackFlags, stackFlags, setStackFlags, 15, 450)                                                  \
    X(Word, Behaviour, behaviour, setBehaviour, 0x58, 450)                                                   \
    X(Byte, LeakFlags, leakFlags, setLeakFlags, 30, 500)                                                     \
    X(Byte, RepeatAction, repeatAction, setRepeatAction, 2, 500)                                             \
    X(DWord, RepeatLimit, repeatLimit, setRepeatLimit, 10, 500)                                              \
    X(DWord, RepeatMinutes, repeatMinutes, setRepeatMinutes, 1, 500)                                         \
    X(Byte, BuildFlags, buildFlags, setBuildFlags, 1, 6000)                                                  \
    X(Byte, DialogStyle, dialogStyle, setDialogStyle, 2, 6000)                                               \
    X(Text, ProxyAddress, proxyAddress, setProxyAddress, "", 6000)                                           \
    X(Text, ProxyUser, proxyUser, setProxyUser, "", 6000)                                                    \
    X(Text, ProxyPassword, proxyPassword, setProxyPassword, "", 6000)                                        \
    X(Word, ProxyPort, proxyPort, setProxyPort, 8080, 6000)                                                  \
    X(Text, TrackerLogin, trackerLogin, setTrackerLogin, "", 6000)                                           \
    X(Text, TrackerPassword, trackerPassword, setTrackerPassword, "", 6000)                                  \
    X(Text, TrackerAssignee, trackerAssignee, setTrackerAssignee, "", 6000)                                  \
    X(Text, TrackerProject, trackerProject, setTrackerProject, "", 6000)                                     \
    X(Text, TrackerCategory, trackerCategory, setTrackerCategory, "", 6000)                                  \
    X(Text, TrackerIdentifier, trackerIdentifier, setTrackerIdentifier, "", 6000)                            \
    X(Text, ZipPassword, zipPassword, setZipPassword, "", 6000)

template <TCrashFieldKind> struct TCrashFieldType;
template <> struct TCrashFieldType<TCrashFieldKind::Byte> { using type = std::uint8_t; };
template <> struct TCrashFieldType<TCrashFieldKind::Word> { using type = std::uint16_t; };
template <> struct TCrashFieldType<TCrashFieldKind::DWord> { using type = std::uint32_t; };
template <> struct TCrashFieldType<TCrashFieldKind::Int> { using type = std::int32_t; };
template <> struct TCrashFieldType<TCrashFieldKind::Flags48> { using type = std::uint64_t; };
template <> struct TCrashFieldType<TCrashFieldKind::Text> { using type = std::string; };

// One exception filter (its values are those of the exception manager).
struct TCrashExceptionFilter {
    bool active = true;
    std::string className;
    std::string message;
    std::uint8_t dialogOverride = 1; // 0 none, 1 default style, 2 message box, 3 classic, 4 detailed
    std::uint8_t handlerKind = 2;    // 0 no report, 1 the caller's handling, 2 the report
    std::uint8_t filterAction = 0;   // 0 none, 1 terminate, 2 restart
    std::uint8_t spare = 0;

    bool operator==(const TCrashExceptionFilter &) const = default;
};

// The ordered filter list of a module's options; it owns its filters.
class TCrashExceptionsFilters {
public:
    void add(TCrashExceptionFilter filter) { m_items.push_back(std::move(filter)); }
    void clear() { m_items.clear(); }
    std::size_t count() const { return m_items.size(); }
    const TCrashExceptionFilter &item(std::size_t index) const { return m_items.at(index); }
    TCrashExceptionFilter &item(std::size_t index) { return m_items.at(index); }
    const std::vector<TCrashExceptionFilter> &items() const { return m_items; }

    bool operator==(const TCrashExceptionsFilters &) const = default;

private:
    std::vector<TCrashExceptionFilter> m_items;
};

class TCrashModuleOptions {
public:
    // Empty module name: the running program.
    explicit TCrashModuleOptions(std::string moduleName = {});
    TCrashModuleOptions(const TCrashModuleOptions &other);
    TCrashModuleOptions &operator=(const TCrashModuleOptions &other);
    virtual ~TCrashModuleOptions() = default;

    const std::string &moduleName() const { return m_moduleName; }
    std::uint64_t moduleHandle() const { return m_moduleHandle; }

    void setDefaults();
    // Copies every option (not the module name and handle). A null source
    // fails with "Impossible to assign nil as TCrashModuleOptions.".
    bool assign(const TCrashModuleOptions *source);

    // Reads the stored form of the given version. On any damage the defaults
    // stay in force, errorString() says what went wrong and false is returned.
    bool readFromStream(const std::uint8_t *data, std::size_t size, std::uint16_t version);
    bool readFromStream(const std::vector<std::uint8_t> &data, std::uint16_t version)
    {
        return readFromStream(data.data(), data.size(), version);
    }
    // The stored form of the current version.
    std::vector<std::uint8_t> writeToStream() const;
    // Reads the options of a crash data block held in a file: a bare block, or
    // a module file with the block as section or trailer.
    bool readFromFile(const std::string &path);

    const std::string &errorString() const { return m_error; }

    bool active() const { return m_active; }
    void setActive(bool value);

    // Text by id; empty for an unknown id.
    const std::string &text(std::size_t id) const;
    // False for an unknown id.
    bool setText(std::size_t id, std::string value);

    const TCrashExceptionsFilters &filters() const { return m_filters; }
    void setFilters(TCrashExceptionsFilters filters);
    const std::string &mailMessage() const { return m_mailMessage; }
    void setMailMessage(std::string value);
    const std::string &textSetName() const { return m_textSetName; }
    void setTextSetName(std::string value);
    // The certificate-authority file that HTTPS uploads, trackers and STARTTLS trust (empty: the
    // system's). Not part of the stored form: the data block carries it as the stream "CAFI".
    const std::string &caFile() const { return m_caFile; }
    void setCAFile(std::string value);

#define CRASH_DECLARE_ACCESSORS(kind, Name, get, set, def, since)                                             \
    const TCrashFieldType<TCrashFieldKind::kind>::type &get() const { return m_##Name; }                      \
    void set(TCrashFieldType<TCrashFieldKind::kind>::type value);
    CRASH_MODULE_OPTION_FIELDS(CRASH_DECLARE_ACCESSORS)
#undef CRASH_DECLARE_ACCESSORS

    // Shared access: while the use count is above 0 changes are not made
    // known; when it drops back to 0 after a change the change handler runs.
    void beginUpdate();
    void endUpdate();
    int useCount() const { return m_useCount.load(); }
    void setChangeHandler(std::function<void(const TCrashModuleOptions &)> handler);

    // Compares every stored option (not module, handle and error).
    bool sameOptions(const TCrashModuleOptions &other) const;

protected:
    void setErrorString(std::string error) { m_error = std::move(error); }

private:
    void copyOptionsFrom(const TCrashModuleOptions &other);
    void changed();
    template <class T> void setField(T &field, T value);
    bool readFields(const std::uint8_t *data, std::size_t size, std::uint16_t version, std::string &error);

    std::string m_moduleName;
    std::uint64_t m_moduleHandle = 0;
    std::string m_error;
    std::atomic<int> m_useCount { 0 };
    bool m_pendingChange = false;
    std::function<void(const TCrashModuleOptions &)> m_changeHandler;

    bool m_active = true;
#define CRASH_DECLARE_MEMBER(kind, Name, get, set, def, since) TCrashFieldType<TCrashFieldKind::kind>::type m_##Name;
    CRASH_MODULE_OPTION_FIELDS(CRASH_DECLARE_MEMBER)
#undef CRASH_DECLARE_MEMBER
    TCrashExceptionsFilters m_filters;
    std::string m_mailMessage;
    std::array<std::string, CrashTextCount> m_texts;
    std::string m_textSetName;
    std::string m_caFile;
};

// Removes the line break of a text longer than one character whose only
// line break ("\r\n", "\n" or "\r") is its end; the stored form does this.
std::string StoredCrashText(std::string_view text);

} // namespace crashreport
