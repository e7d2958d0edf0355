#include "CrashTempFolder.h"
#include "FileSizeLimit.h"
#include "LogFileName.h"
#include "LogSaving.h"
#include "RunAsTestUser.h"
#include "StrictXml.h"
#include "ReportFixture.h"
#include "TLogFile.h"
#include "TLogItem.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

using namespace crashreport;
using namespace crashreport::testing;
namespace fs = std::filesystem;

namespace {

// A report of the fixture with its own exception message and bug id.
std::string report(int n)
{
    ReportFixture f;
    f.input.exception.message = "Failure number " + std::to_string(n);
    f.input.exception.bugId = "B" + std::to_string(n);
    return f.build().report;
}

} // namespace

TEST(LogFile, AddingKeepsTheNewestReportsUpToTheLimit)
{
    const struct {
        int limit;
        std::size_t expected;
        const char *first;
    } cases[] = {
        { -1, 5, "Failure number 1" }, { 1, 1, "Failure number 5" }, { 3, 3, "Failure number 3" },
        { 0, 1, "Failure number 5" },  { 32, 5, "Failure number 1" },
    };
    for (const auto &c : cases) {
        CrashTempFolder dir;
        TLogFile log(dir.file("a.crashlog"));
        for (int n = 1; n <= 5; ++n)
            log.addReport(report(n), c.limit);
        EXPECT_EQ(log.count(), c.expected) << c.limit;
        EXPECT_EQ(log.item("2.6", 0), c.first) << c.limit;
        EXPECT_EQ(log.item("2.6", log.count() - 1), "Failure number 5");
    }
}

TEST(LogFile, SavedLogReadsBackTheSameReports)
{
    CrashTempFolder dir;
    const std::string name = dir.file("vetu-config.crashlog");
    {
        TLogFile log(name);
        EXPECT_EQ(log.count(), 0u);
        for (int n = 1; n <= 3; ++n)
            log.addReport(report(n), 32);
        ASSERT_TRUE(log.save()) << log.errorString();
    }
    TLogFile again(name, true);
    ASSERT_EQ(again.count(), 3u);
    EXPECT_EQ(again.report(1), report(2) + "\r\n\r\n\r\n");
    EXPECT_EQ(readFile(name), again.text());
    EXPECT_EQ(again.findReport({ "2.7", "1.3" }, { "B2", "1.04.1" }), 1);
    EXPECT_EQ(again.findReport({ "2.7" }, { "B9" }), -1);
    EXPECT_EQ(again.findReport({ "2.7" }, {}), -1);
    EXPECT_EQ(again.item("2.7", 7), std::nullopt);
    // Saving a log read from disk writes the same bytes.
    TLogFile copy(name);
    ASSERT_TRUE(copy.save());
    EXPECT_EQ(readFile(name), again.text());
}

TEST(LogFile, LogAfterAddingAndReplacingMatchesGoldenFiles)
{
    CrashTempFolder dir;
    const std::string name = dir.file("vetu-config.crashlog");
    TLogFile log(name);
    log.addReport(report(1), 32);
    log.addReport(report(2), 32);
    ASSERT_TRUE(log.replaceItem(0, "2.8", "2"));
    ASSERT_TRUE(log.replaceItem(1, "3.3", "hanna@example.org"));
    ASSERT_TRUE(log.replaceItem(1, "2.10", "Sent to the tracker:\nentry 17"));
    ASSERT_TRUE(log.save());
    expectGolden("log-after-replace.crashlog", readFile(name));
    const std::string xml = TLogFile(name, true).toXml();
    EXPECT_EQ(xmlWellFormedError(xml), "");
    expectGolden("log-after-replace.xml", xml);
}

TEST(LogFile, ReportPartsOfAStoredReport)
{
    CrashTempFolder dir;
    ReportFixture f;
    const CrashReportText r = f.build();
    TLogFile log(dir.file("p.crashlog"));
    log.addReport(r.report, -1);
    ASSERT_TRUE(log.save());
    const ReportParts p = TLogFile(dir.file("p.crashlog")).parts(0);
    expectSameParts(p, r);
    EXPECT_EQ(log.parts(3).general, "");
}

TEST(LogFile, StrayTextAndPiecesWithoutTablesAreDropped)
{
    const std::string one = report(1) + "\r\n\r\n\r\n\r\n";
    const std::string two = report(2) + "\r\n\r\n\r\n\r\n";
    const struct {
        std::string text;
        std::size_t reports;
    } cases[] = {
        { "", 0 },
        { "no table at all\r\njust text\r\n", 0 },
        { "-----\r\nno bar after the dash line\r\n\r\n\r\n\r\n", 0 },
        { "stray text\r\n\r\n\r\n\r\n" + one + "more stray\r\n\r\n\r\n\r\n" + two, 2 },
        { one + two, 2 },
        { report(3), 1 },                          // no closing line breaks at all
        { one + "\r\n\r\n\r\n\r\n\r\n" + two, 2 }, // a longer run between reports
        { "-\r\n|", 1 },                           // the smallest piece with a table
    };
    CrashTempFolder dir;
    for (const auto &c : cases) {
        writeFile(dir.file("s.crashlog"), c.text);
        TLogFile log(dir.file("s.crashlog"));
        EXPECT_EQ(log.count(), c.reports) << c.text.substr(0, 40);
        EXPECT_TRUE(log.errorString().empty());
    }
}

TEST(LogFile, RandomBytesGiveNoCrash)
{
    CrashTempFolder dir;
    std::mt19937 random(42);
    const std::string alphabet = "\r\n|-: .abc\xC3\xA4";
    for (int round = 0; round < 200; ++round) {
        std::string bytes(std::size_t(random() % 4096), '\0');
        for (char &b : bytes)
            b = round % 2 ? char(random()) : alphabet[random() % alphabet.size()];
        writeFile(dir.file("r.crashlog"), bytes);
        TLogFile log(dir.file("r.crashlog"));
        for (std::size_t i = 0; i < log.count(); ++i) {
            (void)log.item("1.3", i);
            (void)log.parts(i);
            log.replaceItem(i, "2.6", "x", "Message");
        }
        const std::string xml = log.toXml();
        EXPECT_EQ(xmlWellFormedError(xml), "") << "round " << round;
        (void)log.save();
    }
}

TEST(LogFile, FiftyMegabyteLogIsReadWhole)
{
    CrashTempFolder dir;
    const std::string piece = report(1) + "\r\n\r\n\r\n\r\n";
    std::string big;
    while (big.size() < 50u * 1024 * 1024)
        big += piece;
    writeFile(dir.file("big.crashlog"), big);
    TLogFile log(dir.file("big.crashlog"));
    EXPECT_EQ(log.count(), big.size() / piece.size());
    log.addReport(report(2), 32);
    EXPECT_EQ(log.count(), 32u);
    ASSERT_TRUE(log.save());
    EXPECT_EQ(TLogFile(dir.file("big.crashlog")).count(), 32u);

    // 50 MB without a single line break and without a table.
    writeFile(dir.file("flat.crashlog"), std::string(50u * 1024 * 1024, 'x'));
    EXPECT_EQ(TLogFile(dir.file("flat.crashlog")).count(), 0u);
}

TEST(LogFile, FailedSaveLeavesTheOldLogWhole)
{
    CrashTempFolder dir;
    const std::string name = dir.file("keep.crashlog");
    {
        TLogFile log(name);
        log.addReport(report(1), 32);
        ASSERT_TRUE(log.save());
    }
    const std::string before = readFile(name);

    // A drive that fails in the middle of the write (also stops a superuser).
    {
        TLogFile log(name);
        log.addReport(report(2), 32);
        FileSizeLimit limit(before.size() / 2);
        EXPECT_FALSE(log.save());
        EXPECT_FALSE(log.errorString().empty());
    }
    EXPECT_EQ(readFile(name), before);

    // A folder that refuses new files. Permission bits do not stop root, so the save runs as
    // an ordinary user who owns the log and the folder but may not write into the folder.
    {
        ASSERT_TRUE(chownToTestUser(dir.path()) && chownToTestUser(name));
        ::chmod(dir.path().c_str(), 0500);
        const ChildResult child = runAsTestUser([&] {
            TLogFile log(name);
            log.addReport(report(2), 32);
            return log.count() == 2 && !log.save() && !log.errorString().empty() ? 0 : 1;
        });
        ::chmod(dir.path().c_str(), 0700);
        EXPECT_EQ(child.exitCode, 0) << "the save into a read-only folder did not fail as it should";
        EXPECT_EQ(readFile(name), before);
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1u) << "a failed save leaves no temporary file behind";
}

TEST(LogFile, SavingLeavesNoTemporaryFileAndKeepsPermissions)
{
    CrashTempFolder dir;
    const std::string name = dir.file("perm.crashlog");
    writeFile(name, "");
    ::chmod(name.c_str(), 0600);
    TLogFile log(name);
    log.addReport(report(1), 32);
    ASSERT_TRUE(log.save());
    std::size_t files = 0;
    for (const auto &e : fs::directory_iterator(dir.path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1u);
    struct stat st {};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(LogFile, SavingIntoAMissingFolderFailsAndSaysSo)
{
    TLogFile log("/nonexistent-folder-for-crashlog/x.crashlog");
    log.addReport(report(1), 32);
    EXPECT_FALSE(log.save());
    EXPECT_NE(log.errorString().find("x.crashlog"), std::string::npos);
    TLogFile readOnly("/tmp/never-written.crashlog", true);
    readOnly.addReport(report(1), 32);
    EXPECT_FALSE(readOnly.save());
}

TEST(LogFile, UnreadableLogIsReportedNotCrashed)
{
    CrashTempFolder dir;
    TLogFile folder(dir.path()); // a folder, not a file
    EXPECT_EQ(folder.count(), 0u);
    EXPECT_FALSE(folder.errorString().empty());
}

TEST(LogFile, VersionChangeDeletesTheLog)
{
    CrashTempFolder dir;
    const std::string name = dir.file("v.crashlog");
    auto makeLog = [&] {
        TLogFile log(name);
        log.addReport(report(1), 32);
        ASSERT_TRUE(log.save());
    };
    makeLog();
    {
        TLogFile log(name);
        EXPECT_FALSE(log.deleteOnVersionChange("1.04.1"));
        EXPECT_TRUE(fs::exists(name));
        EXPECT_TRUE(log.deleteOnVersionChange("1.05.0"));
        EXPECT_FALSE(fs::exists(name));
        EXPECT_EQ(log.count(), 0u);
    }
    // Without the version item there is nothing to compare: the log stays.
    ReportFixture f;
    f.options.fields.set(FieldVersionNumber, false);
    TLogFile log(name);
    log.addReport(f.build().report, 32);
    ASSERT_TRUE(log.save());
    EXPECT_FALSE(TLogFile(name).deleteOnVersionChange("9.9"));
    EXPECT_TRUE(fs::exists(name));
}

TEST(LogFileName, NameRules)
{
    const std::map<std::string, std::string> environment = {
        { "HOME", "/home/hanna" }, { "LOGS", "/var/log/vetu" }, { "XDG_STATE_HOME", "" }
    };
    const EnvironmentLookup env = [&](const std::string &name) -> std::optional<std::string> {
        const auto it = environment.find(name);
        if (it == environment.end())
            return std::nullopt;
        return it->second;
    };
    const struct {
        const char *module;
        const char *folder;
        bool computer;
        const char *expected;
    } cases[] = {
        { "/opt/vetu/vetu-config", "", false, "/home/hanna/.local/state/CrashReport/vetu-config.crashlog" },
        { "/opt/vetu/Vetu.exe", "", false, "/home/hanna/.local/state/CrashReport/Vetu.crashlog" },
        { "/opt/vetu/Vetu.vshost.exe", "", false, "/home/hanna/.local/state/CrashReport/Vetu.crashlog" },
        { "/opt/vetu/vetu-config", "%LOGS%", false, "/var/log/vetu/vetu-config.crashlog" },
        { "/opt/vetu/vetu-config", "%LOGS%/", false, "/var/log/vetu/vetu-config.crashlog" },
        { "/opt/vetu/vetu-config", "%UNKNOWN%/x", false, "%UNKNOWN%/x/vetu-config.crashlog" },
        { "/opt/vetu/vetu-config", "%LOGS%/all.CRASHLOG", false, "/var/log/vetu/all.CRASHLOG" },
        { "/opt/vetu/vetu-config", "%LOGS%/all.crashlog", true, "/var/log/vetu/all_pc_1_.crashlog" },
        { "/opt/vetu/vetu-config", "", true, "/home/hanna/.local/state/CrashReport/vetu-config_pc_1_.crashlog" },
    };
    for (const auto &c : cases) {
        LogFileNameRules rules { c.module, c.folder, c.computer, "pc/1:" };
        EXPECT_EQ(logFileName(rules, env), c.expected) << c.module << " " << c.folder;
    }
    LogFileNameRules rules { "/opt/vetu/vetu-config", "", false, "" };
    EXPECT_EQ(fallbackLogFileName(rules, env), "/home/hanna/.local/state/CrashReport/vetu-config/vetu-config.crashlog");

    const std::map<std::string, std::string> xdg = { { "XDG_STATE_HOME", "/state" }, { "HOME", "/home/h" } };
    const EnvironmentLookup xdgEnv = [&](const std::string &name) -> std::optional<std::string> {
        const auto it = xdg.find(name);
        return it == xdg.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    EXPECT_EQ(logFileName(rules, xdgEnv), "/state/CrashReport/vetu-config.crashlog");
}

TEST(LogFileName, ExpandsEnvironmentVariables)
{
    const EnvironmentLookup env = [](const std::string &name) -> std::optional<std::string> {
        if (name == "A")
            return "alpha";
        if (name == "EMPTY")
            return "";
        return std::nullopt;
    };
    const struct {
        const char *in;
        const char *out;
    } cases[] = {
        { "%A%", "alpha" },   { "x%A%y%A%z", "xalphayalphaz" }, { "%B%A%", "%Balpha" }, { "100%", "100%" },
        { "%%", "%%" },       { "%EMPTY%/f", "/f" },             { "%A", "%A" },         { "", "" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(expandEnvironmentVariables(c.in, env), c.out) << c.in;
}

TEST(LogFileName, FallsBackWhenTheFolderCannotBeWritten)
{
    CrashTempFolder dir;
    writeFile(dir.file("plainfile"), "x");
    const EnvironmentLookup env = [&](const std::string &name) -> std::optional<std::string> {
        if (name == "XDG_STATE_HOME")
            return dir.file("state");
        return std::nullopt;
    };
    // A folder below a plain file can never be made.
    LogFileNameRules rules { "/opt/vetu/vetu-config", dir.file("plainfile/sub"), false, "" };
    const std::string chosen = chooseLogFileName(rules, env);
    EXPECT_EQ(chosen, dir.file("state") + "/CrashReport/vetu-config/vetu-config.crashlog");
    EXPECT_TRUE(fs::is_directory(dir.file("state") + "/CrashReport/vetu-config"));
    EXPECT_FALSE(fs::exists(chosen)); // checking leaves no empty log behind

    LogFileNameRules writable { "/opt/vetu/vetu-config", dir.file("logs"), false, "" };
    EXPECT_EQ(chooseLogFileName(writable, env), dir.file("logs") + "/vetu-config.crashlog");

    // When both fail, the first name stays.
    const EnvironmentLookup badEnv = [&](const std::string &name) -> std::optional<std::string> {
        if (name == "XDG_STATE_HOME")
            return dir.file("plainfile/state");
        return std::nullopt;
    };
    EXPECT_EQ(chooseLogFileName(rules, badEnv), dir.file("plainfile/sub") + "/vetu-config.crashlog");
}

TEST(LogFile, SavingAReportAsTheOptionsSay)
{
    CrashTempFolder dir;
    const std::string name = dir.file("opt.crashlog");
    TCrashModuleOptions options;
    options.setReportsToKeep(2);
    for (int n = 1; n <= 3; ++n) {
        const LogSaveResult r = saveReportToLog(options, name, report(n), "1.04.1");
        EXPECT_TRUE(r.saved) << r.error;
    }
    EXPECT_EQ(TLogFile(name).count(), 2u);

    // Another program version: with the version bit the old log goes first.
    options.setLogSections(options.logSections() | 0x04);
    const LogSaveResult r = saveReportToLog(options, name, report(4), "2.0");
    EXPECT_TRUE(r.saved);
    EXPECT_EQ(TLogFile(name).count(), 1u);

    // Without KeepLogFile nothing is written, but the whole log is still there to send.
    options.setKeepLogFile(0);
    const LogSaveResult kept = saveReportToLog(options, name, report(5), "1.04.1");
    EXPECT_FALSE(kept.saved);
    EXPECT_TRUE(kept.error.empty());
    EXPECT_EQ(TLogFile::splitLogText(kept.wholeLog).size(), 2u);
    EXPECT_EQ(TLogFile(name).count(), 1u);

    options.setKeepLogFile(1);
    const LogSaveResult failed = saveReportToLog(options, dir.file("missing/folder/x.crashlog"), report(6));
    EXPECT_FALSE(failed.saved);
    EXPECT_FALSE(failed.error.empty());
}

TEST(LogFile, XmlOfReducedReportsAndTheStepsToReproduce)
{
    ReportFixture f;
    f.options.logSections = 0;
    f.input.exception.message = "a < b & c > d";
    CrashReportText r = f.build();
    TLogItem request(7);
    request.addSection("Request");
    request.addItem("Request", "Opened set 5\nthen saved", true);
    insertSectionAfterGeneral(r, request.text());

    CrashTempFolder dir;
    TLogFile log(dir.file("x.crashlog"));
    log.addReport(r.report, -1);
    const std::string xml = log.toXml(0);
    EXPECT_TRUE(xml.starts_with("<Log Version=\"6.0.12\">\r\n  <Doc>\r\n    <General>\r\n"));
    EXPECT_NE(xml.find(">a &#060; b &#038; c &#062; d</Label>"), std::string::npos);
    EXPECT_NE(xml.find("<HoToReproduce>Opened set 5&#013;&#010;then saved</HoToReproduce>"), std::string::npos);
    EXPECT_EQ(xml.find("Name=\"Request\""), std::string::npos);
    EXPECT_NE(xml.find("    <Modules/>\r\n    <Processes/>\r\n    <Assembler/>\r\n    <Registers/>\r\n"),
              std::string::npos);
    EXPECT_EQ(log.toXml(5), "<Log Version=\"6.0.12\"/>\r\n");
    EXPECT_EQ(xmlWellFormedError(xml), "");
}

TEST(LogFile, XmlOfTheCpuSectionWithoutContextOrDumps)
{
    ReportFixture f;
    f.input.registers = {};
    f.input.stackDump.clear();
    CrashTempFolder dir;
    TLogFile log(dir.file("cpu.crashlog"));
    log.addReport(f.build().report, -1);
    const std::string xml = log.toXml(0);
    EXPECT_NE(xml.find("<Registers RAX=\"????\" RDI=\"????\""), std::string::npos) << xml;
    EXPECT_NE(xml.find(" R11=\"????\" R15=\"????\"/>"), std::string::npos);
    EXPECT_NE(xml.find("    <Stack/>\r\n    <MemoryDump/>\r\n"), std::string::npos);
    EXPECT_EQ(xmlWellFormedError(xml), "");
}

namespace {

struct FileState {
    ino_t inode = 0;
    off_t size = 0;
    std::string head; // the first bytes
};

FileState fileState(const std::string &path)
{
    FileState state;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        state.inode = st.st_ino;
        state.size = st.st_size;
    }
    std::ifstream in(path, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), std::streamsize(head.size()));
    head.resize(std::size_t(in.gcount()));
    state.head = head;
    return state;
}

class RecordedWarnings final : public CrashWarningSink {
public:
    void warning(const std::string &code, std::uint64_t address, const std::string &message) override
    {
        lines.push_back(formatCrashWarning(code, address, message));
    }
    std::vector<std::string> lines;
};

} // namespace

// A log that exists but cannot be read is never written over: its reports would be lost. The
// report goes to a numbered log beside it, and the failure to the warning channel.
TEST(LogFile, UnreadableLogIsLeftAndTheReportGoesBesideIt)
{
    const std::string twoReports = report(1) + "\r\n\r\n\r\n\r\n" + report(2) + "\r\n\r\n\r\n";
    const struct {
        const char *what;
        std::function<void(const std::string &name)> make; // makes the unreadable log
        const char *reason;                                // in the warning
        int expectedNumber;                                 // of the log that takes the report
    } cases[] = {
        { "no read permission",
          [&](const std::string &name) {
              writeFile(name, twoReports);
              ASSERT_TRUE(chownToTestUser(name));
              ::chmod(name.c_str(), 0200); // writable, not readable: a save could replace it
          },
          "Permission denied", 1 },
        { "larger than 64 MB",
          [&](const std::string &name) {
              writeFile(name, twoReports);
              ASSERT_EQ(::truncate(name.c_str(), off_t(TLogFile::MaxLogFileSize + 1)), 0);
              ASSERT_TRUE(chownToTestUser(name));
          },
          "larger than 64 MB", 1 },
        { "a folder in its place", [&](const std::string &name) { fs::create_directory(name); }, "not a regular file", 1 },
        { "the first numbered log unreadable too",
          [&](const std::string &name) {
              for (const std::string &n : { name, numberedLogFileName(name, 1) }) {
                  writeFile(n, twoReports);
                  ASSERT_TRUE(chownToTestUser(n));
                  ::chmod(n.c_str(), 0200);
              }
          },
          "Permission denied", 2 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        CrashTempFolder dir;
        ASSERT_TRUE(chownToTestUser(dir.path()));
        const std::string name = dir.file("vetu-config.crashlog");
        c.make(name);
        const FileState before = fileState(name);
        const std::string expectedLog = numberedLogFileName(name, c.expectedNumber);

        // Saved twice by an ordinary user through the process's warning channel.
        const ChildResult child = runAsTestUser([&] {
            TCrashModuleOptions options;
            for (int n = 3; n <= 4; ++n) {
                const LogSaveResult r = saveReportToLog(options, name, report(n), "1.04.1", 0x555555559A10);
                if (!r.saved || r.fileName != expectedLog)
                    return n;
            }
            return 0;
        });
        EXPECT_EQ(child.exitCode, 0) << child.standardError;

        const FileState after = fileState(name);
        EXPECT_EQ(after.inode, before.inode);
        EXPECT_EQ(after.size, before.size);
        EXPECT_EQ(after.head, before.head);
        const TLogFile beside(expectedLog, true);
        ASSERT_EQ(beside.count(), 2u) << beside.errorString();
        EXPECT_EQ(beside.item("2.7", 0), "B3");
        EXPECT_EQ(beside.item("2.7", 1), "B4");

        const std::string warning = "[WARNING] - Code: eeLogError - Address: 0000555555559A10 - Message: \"Cannot read \""
            + name + "\": ";
        EXPECT_EQ(child.standardError.rfind(warning, 0), 0u) << child.standardError;
        EXPECT_NE(child.standardError.find(c.reason), std::string::npos) << child.standardError;
        EXPECT_NE(child.standardError.find("kept in \"" + expectedLog + "\""), std::string::npos) << child.standardError;
    }
}

TEST(LogFile, NoLogBesideAnUnreadableOneCanTakeTheReport)
{
    CrashTempFolder dir;
    const std::string name = dir.file("vetu-config.crashlog");
    fs::create_directory(name);
    for (int n = 1; n <= MaxNumberedLogs; ++n)
        fs::create_directory(numberedLogFileName(name, n));
    RecordedWarnings warnings;
    TCrashModuleOptions options;
    const LogSaveResult r = saveReportToLog(options, name, report(1), {}, 0x1234, &warnings);
    EXPECT_FALSE(r.saved);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(TLogFile::splitLogText(r.wholeLog).size(), 1u) << "the report can still be sent";
    ASSERT_EQ(warnings.lines.size(), 1u);
    EXPECT_NE(warnings.lines[0].find("no log beside it could take the report"), std::string::npos);
    EXPECT_TRUE(warnings.lines[0].starts_with("[WARNING] - Code: eeLogError - Address: 0000000000001234 - "));
}

TEST(LogFile, NumberedNamesAndWarningLines)
{
    const struct {
        const char *name;
        int number;
        const char *numbered;
    } names[] = {
        { "/a/vetu-config.crashlog", 1, "/a/vetu-config.1.crashlog" },
        { "/a/all_pc.CRASHLOG", 12, "/a/all_pc.12.CRASHLOG" },
        { "/a.b/log", 2, "/a.b/log.2" },
        { "/a/.crashlog", 3, "/a/.crashlog.3" },
        { "log", 4, "log.4" },
    };
    for (const auto &n : names)
        EXPECT_EQ(numberedLogFileName(n.name, n.number), n.numbered) << n.name;

    // One warning is one line, whatever its message holds.
    EXPECT_EQ(formatCrashWarning("eeLogError", 0x7F00, "Cannot read \"/x\r\ny\": gone"),
              "[WARNING] - Code: eeLogError - Address: 0000000000007F00 - Message: \"Cannot read \"/x  y\": gone\"");
}
