#include "SystemInfoLinux.h"
#include "TCrashReportBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <filesystem>
#include <fstream>

using namespace crashreport;
namespace fs = std::filesystem;

TEST(SystemInfoLinux, MemInfo)
{
    const MemInfo m = parseMemInfo("MemTotal:       16318460 kB\nMemFree:         1234 kB\nMemAvailable:   9876543 kB\n");
    EXPECT_EQ(m.total, 16318460ull * 1024);
    EXPECT_EQ(m.available, 9876543ull * 1024);
    const MemInfo old = parseMemInfo("MemTotal: 100 kB\nMemFree: 40 kB\n");
    EXPECT_EQ(old.available, 40ull * 1024);
    const MemInfo none = parseMemInfo("garbage\n:::\n");
    EXPECT_FALSE(none.total);
    EXPECT_FALSE(none.available);
}

TEST(SystemInfoLinux, SmallSystemFiles)
{
    EXPECT_EQ(parseCpuInfo("processor\t: 0\nmodel name\t: Intel(R) Xeon(R)\nprocessor\t: 1\nmodel name\t: Intel(R) Xeon(R)\n"),
              "2 x Intel(R) Xeon(R)");
    EXPECT_EQ(parseCpuInfo("processor : 0\nmodel name : Single\n"), "Single");
    EXPECT_EQ(parseCpuInfo(""), "");
    EXPECT_EQ(parseOsRelease("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(parseOsRelease("NAME=Alpine\nVERSION='3.19'\n"), "Alpine 3.19");
    EXPECT_EQ(parseResolvConf("# comment\nnameserver 192.0.2.53\nsearch lan\nnameserver 2001:db8::1\n"),
              (std::vector<std::string> { "192.0.2.53", "2001:db8::1" }));
    EXPECT_EQ(parseLpOptionsDefault("Dest other\nDefault Office_Laser/duplex sides=two-sided\n"), "Office_Laser");
    EXPECT_EQ(parseLpOptionsDefault(""), "");
    EXPECT_EQ(splitLocaleName("de_DE.UTF-8@euro"), (std::pair<std::string, std::string> { "de_DE", "UTF-8" }));
    EXPECT_EQ(splitLocaleName("C"), (std::pair<std::string, std::string> { "C", "" }));
    EXPECT_EQ(fullNameFromGecos("Hanna Hydrolog,Room 4,,"), "Hanna Hydrolog");
    EXPECT_EQ(fullNameFromGecos(""), "");
}

TEST(SystemInfoLinux, DefaultGatewayOfTheInterface)
{
    const std::string route = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
                              "wlan0\t00000000\t0102000A\t0003\t0\t0\t600\t00000000\n"
                              "eth0\t00000000\t010200C0\t0003\t0\t0\t100\t00000000\n"
                              "eth0\t000200C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\n";
    EXPECT_EQ(parseDefaultGateway(route, "eth0"), "192.0.2.1");
    EXPECT_EQ(parseDefaultGateway(route, "wlan0"), "10.0.2.1");
    EXPECT_EQ(parseDefaultGateway(route, "other"), "10.0.2.1");
    EXPECT_EQ(parseDefaultGateway(route), "10.0.2.1");
    EXPECT_EQ(parseDefaultGateway("Iface\tDestination\tGateway\nx\t00000000\tzz\n"), "");
    EXPECT_EQ(parseDefaultGateway(""), "");
}

TEST(SystemInfoLinux, ProcessStartAndCommandLine)
{
    // The command name may hold spaces and brackets.
    const std::string stat = "4242 (vetu (x) 1) S 1 4242 4242 0 -1 4194560 1 0 0 0 2 3 0 0 20 0 3 0 250000 1 2 3";
    EXPECT_EQ(processStartTime(stat, "cpu 1 2 3\nbtime 1700000000\n", 100), std::time_t(1700002500));
    EXPECT_EQ(processStartTime("broken", "btime 1", 100), std::nullopt);
    EXPECT_EQ(processStartTime(stat, "no boot time", 100), std::nullopt);
    EXPECT_EQ(joinCommandLine(std::string("/opt/vetu\0/media/my stick\0\0", 27)), "/opt/vetu \"/media/my stick\" \"\"");
    EXPECT_EQ(joinCommandLine(""), "");

    const ApplicationValues app = currentApplicationValues("1.2.3");
    EXPECT_FALSE(app.moduleName.empty());
    EXPECT_NE(app.commandLine.find(app.moduleName), std::string::npos);
    EXPECT_LE(app.startTime, std::time(nullptr));
    EXPECT_GT(app.startTime, std::time(nullptr) - 3600);
    struct stat st {};
    ASSERT_EQ(::stat("/proc/self/exe", &st), 0);
    EXPECT_EQ(app.buildTime, st.st_mtime);
    EXPECT_EQ(currentApplicationValues("1.2.3", "", 1700000000).buildTime, std::time_t(1700000000));
}

TEST(SystemInfoLinux, ReadsFilesBelowTheGivenRoot)
{
    const fs::path root = fs::temp_directory_path() / ("sysroot-" + std::to_string(::getpid()));
    fs::create_directories(root / "proc/net");
    fs::create_directories(root / "etc/cups");
    auto write = [&](const char *rel, const std::string &text) { std::ofstream(root / rel, std::ios::binary) << text; };
    write("proc/meminfo", "MemTotal: 2097152 kB\nMemAvailable: 1048576 kB\n");
    write("proc/uptime", "93784.56 1234.00\n");
    write("proc/cpuinfo", "processor : 0\nmodel name : Test CPU\n");
    write("etc/os-release", "PRETTY_NAME=\"Test OS 1\"\n");
    write("etc/resolv.conf", "nameserver 192.0.2.53\nnameserver 192.0.2.54\nnameserver 192.0.2.55\n");
    write("etc/cups/lpoptions", "Default Lab\n");
    ::unsetenv("PRINTER");
    ::unsetenv("LPDEST");
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", root.c_str(), 1);
    LinuxSystemInfo info(root.string());
    const ComputerValues c = info.computer();
    ::setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(c.totalMemory, 2048ull * 1024 * 1024);
    EXPECT_EQ(c.freeMemory, 1024ull * 1024 * 1024);
    EXPECT_EQ(c.upTimeSeconds, 93784);
    EXPECT_EQ(c.processor, "Test CPU");
    EXPECT_EQ(c.printer, "Lab");
    EXPECT_TRUE(c.totalDisk.has_value());
    const OsValues os = info.operatingSystem();
    EXPECT_EQ(os.type.rfind("Test OS 1", 0), 0u);
    EXPECT_FALSE(os.build.empty());
    const NetworkValues n = info.network();
    EXPECT_EQ(n.dns1, "192.0.2.53");
    EXPECT_EQ(n.dns2, "192.0.2.54");
    fs::remove_all(root);
}

TEST(SystemInfoLinux, LiveSystemGivesTheBasicValues)
{
    LinuxSystemInfo info;
    const UserValues u = info.user();
    EXPECT_FALSE(u.login.empty());
    EXPECT_FALSE(u.privileges.empty());
    const ComputerValues c = info.computer();
    EXPECT_FALSE(c.name.empty());
    ASSERT_TRUE(c.totalMemory.has_value());
    EXPECT_GT(*c.totalMemory, 0u);
    EXPECT_TRUE(c.upTimeSeconds.has_value());
    const OsValues os = info.operatingSystem();
    EXPECT_FALSE(os.type.empty());
    EXPECT_FALSE(os.language.empty());

    // The values reach the report through the sources.
    ReportInput input;
    fillSystemValues(input, &info, nullptr, nullptr);
    EXPECT_EQ(input.computer.name, c.name);
    EXPECT_FALSE(input.computer.display.has_value());
}
