// Archives written by TZipWriter, checked with the real unzip tool.

#include "CrashTempFolder.h"
#include "ZipWriter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>

using namespace crashreport;
namespace fs = std::filesystem;

namespace {

class ZipWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::mt19937 random(99);
        binary.resize(200000);
        for (auto &b : binary)
            b = char(random() % 7 == 0 ? random() : 'a' + random() % 3);
        write("report.txt", "CrashReport 6.0.12\r\n\r\nreport text\r\n");
        write("screenshot.png", binary);
        write("empty.log", "");
    }

    std::string path(const std::string &name) const { return dir.file(name); }
    void write(const std::string &name, const std::string &data)
    {
        std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
        out << data;
    }
    // Runs a command and gives its standard output and exit code.
    static std::string run(const std::string &command, int &status)
    {
        std::FILE *pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
        std::string result;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            result.append(buffer, n);
        status = ::pclose(pipe);
        return result;
    }
    static std::vector<unsigned char> bytes(const std::string &file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
    }

    crashreport::testing::CrashTempFolder dir { "zipwriter" };
    std::string binary;
};

} // namespace

TEST_F(ZipWriterTest, ArchivePassesUnzipAndGivesBackTheBytes)
{
    {
        TZipWriter zip(path("report.zip"));
        ASSERT_TRUE(zip.isOpen());
        EXPECT_TRUE(zip.addFile(path("report.txt"), "report.txt"));
        EXPECT_TRUE(zip.addFile(path("screenshot.png"), "Screenshot.png"));
        EXPECT_TRUE(zip.addFile(path("empty.log"), "empty.log"));
    }
    int status = 0;
    run("unzip -t " + path("report.zip"), status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(run("unzip -p " + path("report.zip") + " Screenshot.png", status) == binary);
    EXPECT_EQ(run("unzip -p " + path("report.zip") + " report.txt", status), "CrashReport 6.0.12\r\n\r\nreport text\r\n");

    // Deflated, not stored, and not encrypted (general purpose flag bit 0 clear).
    const std::string listing = run("unzip -v " + path("report.zip"), status);
    EXPECT_NE(listing.find("Defl:X"), std::string::npos) << listing; // level 9
    const auto archive = bytes(path("report.zip"));
    ASSERT_GT(archive.size(), 30u);
    EXPECT_EQ(archive[0], 'P');
    EXPECT_EQ(archive[6] & 1, 0);
    EXPECT_EQ(archive[8], 8); // method deflate
    EXPECT_LT(archive.size(), binary.size());
}

TEST_F(ZipWriterTest, PasswordEncryptsEveryEntry)
{
    {
        TZipWriter zip(path("secret.zip"), "s3cr3t pass");
        EXPECT_TRUE(zip.addFile(path("report.txt"), "report.txt"));
        EXPECT_TRUE(zip.addFile(path("screenshot.png"), "Screenshot.png"));
        EXPECT_TRUE(zip.addFile(path("empty.log"), "empty.log"));
    }
    int status = 0;
    EXPECT_TRUE(run("unzip -P 's3cr3t pass' -p " + path("secret.zip") + " Screenshot.png", status) == binary);
    EXPECT_EQ(status, 0);
    run("unzip -P 's3cr3t pass' -t " + path("secret.zip"), status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(run("unzip -P 's3cr3t pass' -p " + path("secret.zip") + " report.txt", status),
              "CrashReport 6.0.12\r\n\r\nreport text\r\n");
    EXPECT_EQ(run("unzip -P 's3cr3t pass' -p " + path("secret.zip") + " empty.log", status), "");
    EXPECT_EQ(status, 0);
    run("unzip -P wrong -p " + path("secret.zip") + " report.txt", status);
    EXPECT_NE(status, 0);
    const auto archive = bytes(path("secret.zip"));
    EXPECT_EQ(archive[6] & 1, 1); // encrypted
    const std::string plain(archive.begin(), archive.end());
    EXPECT_EQ(plain.find("report text"), std::string::npos);
}

TEST_F(ZipWriterTest, EntriesCarryTheFilesModificationTime)
{
    std::tm when {};
    when.tm_year = 2019 - 1900;
    when.tm_mon = 6;
    when.tm_mday = 14;
    when.tm_hour = 13;
    when.tm_min = 37;
    when.tm_sec = 42;
    when.tm_isdst = -1;
    const std::time_t stamp = std::mktime(&when);
    const struct utimbuf times { stamp, stamp };
    ASSERT_EQ(::utime(path("report.txt").c_str(), &times), 0);
    {
        TZipWriter zip(path("dated.zip"));
        EXPECT_TRUE(zip.addFile(path("report.txt"), "report.txt"));
    }
    int status = 0;
    const std::string listing = run("zipinfo -T " + path("dated.zip") + " report.txt", status);
    EXPECT_NE(listing.find("20190714.133742"), std::string::npos) << listing;
}

TEST_F(ZipWriterTest, UnreadableFilesAreRefusedAndTheArchiveStaysUsable)
{
    fs::create_directory(dir.file("folder"));
    {
        TZipWriter zip(path("partial.zip"));
        EXPECT_FALSE(zip.addFile(path("missing.txt"), "missing.txt"));
        EXPECT_FALSE(zip.addFile(path("folder"), "folder"));
        EXPECT_FALSE(zip.addFile(path("report.txt"), ""));
        EXPECT_TRUE(zip.addFile(path("report.txt"), "report.txt"));
    }
    int status = 0;
    const std::string listing = run("unzip -Z1 " + path("partial.zip"), status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(listing, "report.txt\n");
}

TEST_F(ZipWriterTest, AnExistingFileIsReplacedAndNamesMayBeUtf8)
{
    write("old.zip", "not an archive at all");
    {
        TZipWriter zip(path("old.zip"));
        EXPECT_TRUE(zip.addFile(path("report.txt"), "Bericht \xC3\xBC.txt"));
    }
    int status = 0;
    run("unzip -t " + path("old.zip"), status);
    EXPECT_EQ(status, 0);
    const auto archive = bytes(path("old.zip"));
    EXPECT_EQ(archive[7] & 0x08, 0x08); // language encoding flag (bit 11): UTF-8 name

    TZipWriter nowhere(path("no/such/folder/x.zip"));
    EXPECT_FALSE(nowhere.isOpen());
    EXPECT_FALSE(nowhere.addFile(path("report.txt"), "report.txt"));
}

TEST_F(ZipWriterTest, PackingSkipsBadFilesAndWritesNothingForAnEmptyList)
{
    EXPECT_EQ(PackFiles(path("none.zip"), "", {}), 0);
    EXPECT_FALSE(fs::exists(path("none.zip")));

    EXPECT_EQ(PackFiles(path("pack.zip"), "pw",
                        { { path("report.txt"), "report.txt" }, { path("gone.txt"), "gone.txt" },
                          { path("screenshot.png"), "Screenshot.png" } }),
              2);
    int status = 0;
    EXPECT_EQ(run("unzip -Z1 " + path("pack.zip"), status), "report.txt\nScreenshot.png\n");
    EXPECT_EQ(run("unzip -P pw -p " + path("pack.zip") + " report.txt", status), "CrashReport 6.0.12\r\n\r\nreport text\r\n");
    EXPECT_EQ(PackFiles(path("no/such/folder/x.zip"), "", { { path("report.txt"), "report.txt" } }), -1);
}
