// The stored form of the options: round trip, exact layout, old versions,
// damaged data.

#include "ByteStream.h"
#include "CrashModuleOptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace crashreport;

namespace {

template <class T> T Different(const T &current, int n, const char *name)
{
    if constexpr (std::is_same_v<T, std::string>)
        return std::string("value of ") + name + " \xC3\xBC\r\nsecond line";
    else if constexpr (std::is_same_v<T, std::int32_t>)
        return -n * 1000;
    else if constexpr (std::is_same_v<T, std::uint64_t>)
        return 0xA5A5A5A5A5A5ull;
    else
        return T(current + 0x81 + n);
}

// Gives every option a value different from its default.
TCrashModuleOptions NonDefaultOptions()
{
    TCrashModuleOptions options;
    int n = 1;
#define SET_NON_DEFAULT(kind, Name, get, set, def, since) options.set(Different(options.get(), n++, #Name));
    CRASH_MODULE_OPTION_FIELDS(SET_NON_DEFAULT)
#undef SET_NON_DEFAULT
    TCrashExceptionsFilters filters;
    filters.add({ true, "std::bad_alloc", "Out of memory", 4, 1, 2, 9 });
    filters.add({ false, "std::runtime_error", "", 0, 0, 1, 0 });
    options.setFilters(filters);
    options.setMailMessage("Hello,\r\nsee the attachment.");
    for (std::size_t id = 0; id < CrashTextCount; ++id)
        options.setText(id, "text " + std::to_string(id));
    options.setTextSetName("Deutsch");
    return options;
}

std::vector<std::uint8_t> Xored(std::string_view text)
{
    std::vector<std::uint8_t> out;
    for (char c : text)
        out.push_back(std::uint8_t(c) ^ CrashTextKey);
    return out;
}

} // namespace

TEST(StoredOptions, EveryFieldRoundTrips)
{
    const TCrashModuleOptions written = NonDefaultOptions();
    ASSERT_FALSE(written.sameOptions(TCrashModuleOptions()));
    TCrashModuleOptions read;
    ASSERT_TRUE(read.readFromStream(written.writeToStream(), 6012)) << read.errorString();
    EXPECT_TRUE(read.errorString().empty());
#define EXPECT_FIELD(kind, Name, get, set, def, since) EXPECT_EQ(read.get(), written.get()) << #Name;
    CRASH_MODULE_OPTION_FIELDS(EXPECT_FIELD)
#undef EXPECT_FIELD
    EXPECT_EQ(read.filters(), written.filters());
    EXPECT_EQ(read.mailMessage(), written.mailMessage());
    EXPECT_EQ(read.text(157), "text 157");
    EXPECT_EQ(read.textSetName(), "Deutsch");
    EXPECT_TRUE(read.sameOptions(written));
}

TEST(StoredOptions, DefaultsAreWrittenWithTheListedWidthsAndXoredTexts)
{
    const std::vector<std::uint8_t> bytes = TCrashModuleOptions().writeToStream();
    ByteReader in(bytes.data(), bytes.size());
    EXPECT_EQ(in.u8(), 0);    // LogActive
    EXPECT_EQ(in.u8(), 1);    // HandleActive
    EXPECT_EQ(in.u8(), 0x30); // LogSections
    EXPECT_EQ(in.u8(), 0);    // AppendLogs
    EXPECT_EQ(in.u8(), 1);    // KeepLogFile
    EXPECT_EQ(in.u8(), 0);    // FirstTab
    EXPECT_EQ(in.u8(), 0);    // FreezeCheck
    EXPECT_EQ(in.u32(), 60u); // FreezeSeconds
    const std::string from = DefaultMailFrom;
    EXPECT_EQ(in.u32(), from.size());
    std::vector<std::uint8_t> text;
    ASSERT_TRUE(in.bytes(from.size(), text));
    EXPECT_EQ(text, Xored(from));
    EXPECT_EQ(in.u32(), 0u);  // MailHost
    EXPECT_EQ(in.u16(), 25);  // MailPort
    EXPECT_EQ(in.u32(), 0u);  // MailUser
    EXPECT_EQ(in.u32(), 0u);  // MailPassword
    EXPECT_EQ(in.u8(), 2);    // TerminateAction
    EXPECT_EQ(in.u32(), 32u); // ReportsToKeep
    EXPECT_EQ(in.u32(), 3u);  // ReportsBeforeTerminate
    EXPECT_EQ(in.u32(), 0u);  // MailAddresses
    EXPECT_EQ(in.u32(), 0u);  // MailSubject
    EXPECT_EQ(in.u8(), 0);    // MailMode
    EXPECT_EQ(in.get(6), 0xFFFFFFFFFFFFull); // ReportFields
    ASSERT_TRUE(in.ok());

    // The text set name closes the stored form.
    const std::vector<std::uint8_t> tail = Xored("English");
    ASSERT_GE(bytes.size(), tail.size() + 4);
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), bytes.end() - std::ptrdiff_t(tail.size())));
    // No text is readable in the stored form.
    const std::string plain(bytes.begin(), bytes.end());
    EXPECT_EQ(plain.find("English"), std::string::npos);
    EXPECT_EQ(plain.find("Call Stack"), std::string::npos);
}

TEST(StoredOptions, NegativeReportCountSurvives)
{
    TCrashModuleOptions options;
    options.setReportsToKeep(-1);
    TCrashModuleOptions read;
    ASSERT_TRUE(read.readFromStream(options.writeToStream(), 6012));
    EXPECT_EQ(read.reportsToKeep(), -1);
}

TEST(StoredOptions, OnlyALoneTrailingLineBreakIsDropped)
{
    const struct {
        const char *written;
        const char *read;
    } cases[] = {
        { "Subject\r\n", "Subject" },
        { "Subject\n", "Subject" },
        { "Subject\r", "Subject" },
        { "ab\r\n", "ab" },
        { "\r\n", "" },
        { "\n", "\n" },                       // one character only
        { "x", "x" },
        { "one\r\ntwo\r\n", "one\r\ntwo\r\n" }, // not the only line break
        { "one\r\ntwo", "one\r\ntwo" },       // not at the end
        { "one\r\n\r\n", "one\r\n\r\n" },
        { "", "" },
    };
    for (const auto &c : cases) {
        TCrashModuleOptions options;
        options.setMailSubject(c.written);
        options.setText(3, c.written);
        TCrashModuleOptions read;
        ASSERT_TRUE(read.readFromStream(options.writeToStream(), 6012));
        EXPECT_EQ(read.mailSubject(), c.read) << c.written;
        EXPECT_EQ(read.text(3), c.read) << c.written;
        // The options in memory keep what was set.
        EXPECT_EQ(options.mailSubject(), c.written);
    }
}

// Writes old stored forms by hand: 400 has no web fields, 420 adds them, 450
// adds the dialog, stack and behaviour fields, 40 show flags and 144 texts,
// 500 the leak and repeat fields. None has the proxy and tracker fields;
// filters are class and message only.
struct OldData {
    std::uint16_t version = 421;
    std::uint32_t freeze = 60000;
    std::uint8_t firstTab = 3;
    std::uint8_t mailMode = 1;
    std::string mailHost = "mail.example.org";
    std::uint64_t reportFields = 0xFFFFFFFFFFull;

    std::vector<std::uint8_t> bytes() const
    {
        ByteWriter out;
        auto text = [&](std::string_view t) {
            out.u32(std::uint32_t(t.size()));
            out.bytes(Xored(t));
        };
        out.u8(1);    // LogActive
        out.u8(0);    // HandleActive
        out.u8(0x3E); // LogSections
        out.u8(1);    // AppendLogs
        out.u8(0);    // KeepLogFile
        out.u8(firstTab);
        out.u8(1);    // FreezeCheck
        out.u32(freeze);
        text("old@example.org");
        text(mailHost);
        out.u16(587);
        text("user");
        text("secret");
        out.u8(1); // TerminateAction
        out.u32(5); // ReportsToKeep
        out.u32(7); // ReportsBeforeTerminate
        text("support@example.org");
        text("Old subject");
        out.u8(mailMode);
        out.put(reportFields, version >= 450 ? 5 : 4);
        text("/var/log/old");
        if (version >= 420) {
            out.u8(1); // WebMode
            text("http://tracker.example.org/");
            text("web user");
            text("web password");
            out.u32(8080); // WebPort
            text("a.txt;b.txt");
        }
        out.u16(0x15); // SendFlags
        out.u16(0x0F); // DialogFlags
        if (version >= 450) {
            out.u32(30); // DialogCloseSeconds
            text("http://support.example.org/");
            text("<html/>");
            out.u8(0x01);  // StackFlags
            out.u16(0x81); // Behaviour
        }
        if (version >= 500) {
            out.u8(0x1F); // LeakFlags
            out.u8(0);    // RepeatAction
            out.u32(4);   // RepeatLimit
            out.u32(9);   // RepeatMinutes
        }
        out.u32(2); // two filters of the old form
        text("EAccessViolation");
        text("Memory fault");
        text("EAbort");
        text("");
        text("Old mail body");
        for (int id = 0, count = version >= 450 ? 144 : 105; id < count; ++id)
            text("old " + std::to_string(id));
        text("Old set");
        return out.take();
    }
};

TEST(StoredOptions, Version421IsReadAndConverted)
{
    TCrashModuleOptions options;
    ASSERT_TRUE(options.readFromStream(OldData().bytes(), 421))
        << options.errorString();
    EXPECT_EQ(options.freezeSeconds(), 60u);
    EXPECT_EQ(options.logActive(), 1);
    EXPECT_EQ(options.logSections(), 0x3E);
    EXPECT_EQ(options.firstTab(), 5);
    EXPECT_EQ(options.mailFrom(), "old@example.org");
    EXPECT_EQ(options.mailPort(), 587);
    EXPECT_EQ(options.mailMode(), 2); // a mail server is set
    EXPECT_EQ(options.reportsToKeep(), 5);
    EXPECT_EQ(options.outputFolder(), "/var/log/old");
    EXPECT_EQ(options.webPort(), 8080u);
    EXPECT_EQ(options.attachedFiles(), "a.txt;b.txt");
    EXPECT_EQ(options.sendFlags(), 0x15);
    EXPECT_EQ(options.dialogFlags(), 0x0F);
    EXPECT_EQ(options.reportFields(), AllReportFields);
    // Fields the old data did not have keep their defaults (stack flags gain 0x10).
    EXPECT_EQ(options.stackFlags(), 15 | 0x10);
    EXPECT_EQ(options.behaviour(), 0x58);
    EXPECT_EQ(options.leakFlags(), 30);
    EXPECT_EQ(options.dialogStyle(), 2);
    EXPECT_EQ(options.proxyPort(), 8080);
    EXPECT_EQ(options.htmlLayout(), DefaultHtmlLayout);
    // Old filters.
    ASSERT_EQ(options.filters().count(), 2u);
    EXPECT_EQ(options.filters().item(0), (TCrashExceptionFilter { true, "EAccessViolation", "Memory fault", 2, 2, 0, 0 }));
    EXPECT_EQ(options.filters().item(1), (TCrashExceptionFilter { true, "EAbort", "", 2, 0, 0, 0 }));
    // Texts: the 105 old ones are read, the newer ones keep their defaults.
    EXPECT_EQ(options.mailMessage(), "Old mail body");
    EXPECT_EQ(options.text(0), "old 0");
    EXPECT_EQ(options.text(104), "old 104");
    EXPECT_EQ(options.text(105), "Memory Leak");
    EXPECT_EQ(options.text(157), "Invalid email.");
    EXPECT_EQ(options.textSetName(), "Old set");
}

TEST(StoredOptions, OldConversionsDependOnTheData)
{
    const struct {
        std::uint16_t version;
        std::uint32_t freeze;
        std::uint8_t firstTab, mailMode;
        const char *host;
        std::uint32_t freezeSeconds;
        std::uint8_t expectedTab, expectedMailMode;
    } cases[] = {
        { 421, 60000, 3, 1, "", 60, 5, 1 },     // no mail server: mode 1
        { 421, 1500, 2, 3, "smtp", 1, 2, 2 },   // milliseconds, rounded down
        { 400, 90000, 3, 0, "smtp", 90, 5, 0 }, // mailing was off and stays off
        { 421, 999, 4, 1, "", 0, 4, 1 },
        { 422, 45, 3, 1, "smtp", 45, 5, 2 },    // seconds from 422 on
        { 450, 45, 3, 2, "", 45, 5, 1 },
        { 5999, 45, 3, 2, "", 45, 5, 1 },
    };
    for (const auto &c : cases) {
        OldData data;
        data.version = c.version;
        data.freeze = c.freeze;
        data.firstTab = c.firstTab;
        data.mailMode = c.mailMode;
        data.mailHost = c.host;
        TCrashModuleOptions options;
        ASSERT_TRUE(options.readFromStream(data.bytes(), c.version)) << c.version << options.errorString();
        EXPECT_EQ(options.freezeSeconds(), c.freezeSeconds) << c.version;
        EXPECT_EQ(options.firstTab(), c.expectedTab) << c.version;
        EXPECT_EQ(options.mailMode(), c.expectedMailMode) << c.version;
        EXPECT_EQ(options.webAddress(), c.version >= 420 ? "http://tracker.example.org/" : "") << c.version;
        EXPECT_EQ(options.text(104), "old 104");
        EXPECT_EQ(options.text(143), c.version >= 450 ? "old 143" : "Memory Dump") << c.version;
        EXPECT_EQ(options.text(144), "The message was sent successfully.");
        if (c.version >= 450) {
            EXPECT_EQ(options.dialogCloseSeconds(), 30u);
            EXPECT_EQ(options.stackFlags(), 0x11);
            EXPECT_EQ(options.behaviour(), 0x81);
        }
        EXPECT_EQ(options.leakFlags(), c.version >= 500 ? 0x1F : 30) << c.version;
        EXPECT_EQ(options.repeatMinutes(), c.version >= 500 ? 9u : 1u) << c.version;
        EXPECT_EQ(options.dialogStyle(), 2);
    }
}

TEST(StoredOptions, ThirtyTwoShowFlagsAreWidenedWithTheNewItemsShown)
{
    // All 32 old flags clear: exactly the 16 items that old data did not know are shown.
    OldData data;
    data.reportFields = 0;
    TCrashModuleOptions options;
    ASSERT_TRUE(options.readFromStream(data.bytes(), 421));
    const std::uint64_t expected = (1ull << 5) | (0xFull << 12) | (1ull << 19) | (1ull << 30) | (1ull << 33)
        | (1ull << 35) | (0x3Full << 41) | (1ull << 47);
    EXPECT_EQ(options.reportFields(), expected);

    // Old bit k lands on the k-th position that old data knew.
    data.reportFields = 1u << 5;
    ASSERT_TRUE(options.readFromStream(data.bytes(), 421));
    EXPECT_EQ(options.reportFields(), expected | (1ull << 6)); // old bit 5 is item 2.1 (Date)
    data.reportFields = 1u << 31;
    ASSERT_TRUE(options.readFromStream(data.bytes(), 421));
    EXPECT_EQ(options.reportFields(), expected | (1ull << 40)); // the last old flag is item 6.5

    // 40 flags (version 450 on): only the items of version 6000 are added.
    data.version = 450;
    data.reportFields = 0;
    ASSERT_TRUE(options.readFromStream(data.bytes(), 450));
    EXPECT_EQ(options.reportFields(), (1ull << 5) | (0xFull << 12) | (1ull << 19) | (1ull << 30) | (1ull << 47));
    data.reportFields = 0xFFFFFFFFFFull;
    ASSERT_TRUE(options.readFromStream(data.bytes(), 450));
    EXPECT_EQ(options.reportFields(), AllReportFields);
}

TEST(StoredOptions, EveryTruncationGivesTheDefaultsAndAnError)
{
    const std::vector<std::uint8_t> full = NonDefaultOptions().writeToStream();
    const TCrashModuleOptions defaults;
    for (std::size_t size = 0; size < full.size(); ++size) {
        TCrashModuleOptions options = NonDefaultOptions();
        EXPECT_FALSE(options.readFromStream(full.data(), size, 6012)) << size;
        EXPECT_FALSE(options.errorString().empty()) << size;
        ASSERT_TRUE(options.sameOptions(defaults)) << size;
    }
    const std::vector<std::uint8_t> old = OldData().bytes();
    for (std::size_t size = 0; size < old.size(); size += 7) {
        TCrashModuleOptions options;
        EXPECT_FALSE(options.readFromStream(old.data(), size, 421)) << size;
        ASSERT_TRUE(options.sameOptions(defaults)) << size;
    }
}

TEST(StoredOptions, HugeLengthsAndCountsFailWithoutHangingOrAllocating)
{
    const std::vector<std::uint8_t> full = TCrashModuleOptions().writeToStream();
    // Offset of MailFrom's length, and of the filter count (after the fixed part and texts).
    const std::size_t mailFromLength = 7 + 4;
    const struct {
        std::size_t offset;
        std::uint32_t value;
    } cases[] = {
        { mailFromLength, 0xFFFFFFFFu },
        { mailFromLength, 0x80000000u },
        { mailFromLength, std::uint32_t(full.size()) },
    };
    for (const auto &c : cases) {
        std::vector<std::uint8_t> bad = full;
        for (int i = 0; i < 4; ++i)
            bad[c.offset + i] = std::uint8_t(c.value >> (8 * i));
        TCrashModuleOptions options;
        EXPECT_FALSE(options.readFromStream(bad, 6012));
        EXPECT_NE(options.errorString().find("MailFrom"), std::string::npos) << options.errorString();
    }

    // A filter count of four billion with no filters behind it.
    TCrashModuleOptions withFilter;
    TCrashExceptionsFilters filters;
    filters.add({ true, "X", "Y", 1, 2, 0, 0 });
    withFilter.setFilters(filters);
    std::vector<std::uint8_t> bytes = withFilter.writeToStream();
    const std::vector<std::uint8_t> countOne = { 1, 0, 0, 0, 1, 1, 0, 0, 0, std::uint8_t('X' ^ CrashTextKey) };
    auto at = std::search(bytes.begin(), bytes.end(), countOne.begin(), countOne.end());
    ASSERT_NE(at, bytes.end());
    at[0] = at[1] = at[2] = at[3] = 0xFF;
    TCrashModuleOptions options;
    EXPECT_FALSE(options.readFromStream(bytes, 6012));
    EXPECT_NE(options.errorString().find("filters"), std::string::npos) << options.errorString();
    EXPECT_EQ(options.filters().count(), 0u);
}

TEST(StoredOptions, UnsupportedVersionsGiveTheDefaults)
{
    const std::vector<std::uint8_t> bytes = NonDefaultOptions().writeToStream();
    for (const std::uint16_t version : { 0, 1, 399 }) {
        TCrashModuleOptions options;
        EXPECT_FALSE(options.readFromStream(bytes, version));
        EXPECT_NE(options.errorString().find("version"), std::string::npos);
        EXPECT_TRUE(options.sameOptions(TCrashModuleOptions()));
    }
}
