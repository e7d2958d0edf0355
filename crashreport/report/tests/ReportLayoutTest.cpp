// The layout of one realistic report, written out by hand from the layout rules: the general
// part, the call-stack table and the CPU section of the fixture report. Nothing here comes from
// the code under test; every width below is counted from the fixture's values in the comment
// beside it. Where this test and the builder disagree, the rules decide.

#include "ReportFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace crashreport;
using namespace crashreport::testing;

namespace
{

std::string sp(std::size_t n)
{
    return std::string(n, ' ');
}

std::string dashes(std::size_t n)
{
    return std::string(n, '-');
}

std::string crlfLines(const std::vector<std::string> &lines)
{
    std::string out;
    for (const std::string &l : lines)
        out += l + "\r\n";
    return out;
}

} // namespace

// Sections: "Name:", a dash line as long as the section's longest item line, the item lines with
// their colons at the column of the longest "  h.i Label"; an empty line between sections. Dates
// are "Www, d Mmm yyyy hh:nn:ss +hh00" (one hour east); the fixture's moment is
// Wed 2026-12-09 14:05:09 UTC.
TEST(ReportLayout, GeneralPartFollowsTheRules)
{
    const std::string expected = crlfLines({
        "CrashReport 6.0.12",
        "",
        "Application:",
        // colon column 22 ("  1.2 Name/Description"); longest line 1.4: 24 + 36 characters
        dashes(60),
        "  1.1 Start Date      : Wed, 9 Dec 2026 13:04:04 +0100", // 2:01:05 before the exception
        "  1.2 Name/Description: vetu-config - (Vetu configuration)",
        "  1.3 Version Number  : 1.04.1",
        "  1.4 Parameters      : /opt/vetu/vetu-config /media/me/VETU",
        "  1.5 Compilation Date: Sun, 6 Dec 2026 15:05:09 +0100", // three days before
        "  1.6 Up Time         : 2 hours, 1 minute, 5 seconds", // 7265 s: no days, singular minute
        "",
        "Exception:",
        // colon column 20 ("  2.4 Module Version"); longest line 2.6: 22 + 51 characters
        dashes(73),
        "  2.1 Date          : Wed, 9 Dec 2026 15:05:09 +0100",
        "  2.2 Address       : 0000555555559A10", // an address in full: 16 hexadecimal digits
        "  2.3 Module Name   : vetu-config",
        "  2.4 Module Version: 1.04.1",
        "  2.5 Type          : vetu::IniWriteError",
        "  2.6 Message       : Unable to write to /media/me/VETU/Configuration.ini",
        "  2.7 ID            : 3F2A",
        "  2.8 Count         : 1",
        "  2.9 Status        : New",
        "  2.10 Note         : ", // ": " and the empty value
        "",
        "User:",
        // colon column 16 ("  3.5 Privileges"); longest line 3.2: 18 + 14 characters
        dashes(32),
        "  3.1 ID        : hydro",
        "  3.2 Name      : Hanna Hydrolog",
        "  3.3 Email     : ",
        "  3.4 Company   : ",
        "  3.5 Privileges: User",
        "",
        "Active Controls:",
        // colon column 19 ("  4.3 Control Class"); longest lines 4.1 and 4.3: 21 + 9 characters
        dashes(30),
        "  4.1 Form Class   : TMainForm",
        "  4.2 Form Text    : Vetu",
        "  4.3 Control Class: QLineEdit",
        "  4.4 Control Text : ******", // a password edit: one asterisk per character of "secret"
        "",
        "Computer:",
        // colon column 20 ("  5.6 System Up Time"); longest line 5.7: 22 + 44 characters
        dashes(66),
        "  5.1 Name          : field-laptop",
        "  5.2 Total Memory  : 16384 Mb", // 16 GiB
        "  5.3 Free Memory   : 9877 Mb", // 9876 MiB + 700 KiB, rounded
        "  5.4 Total Disk    : 488281 Mb", // 512e9 bytes / 2^20 = 488281.25
        "  5.5 Free Disk     : 117302 Mb", // 123e9 bytes / 2^20 = 117301.6
        "  5.6 System Up Time: 3 days, 4 hours, 1 minute, 2 seconds",
        "  5.7 Processor     : 4 x Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz",
        "  5.8 Display Mode  : 1920 x 1080, 24 bit",
        "  5.9 Display DPI   : 96",
        "  5.10 Video Card   : i915 [8086:5917]",
        "  5.11 Printer      : Office_Laser",
        "",
        "Operating System:",
        // colon column 14 ("  6.4 Language"); longest lines 6.1 and 6.3: 16 + 39 characters
        dashes(55),
        "  6.1 Type    : Debian GNU/Linux 12 (bookworm) (64 bit)",
        "  6.2 Build # : 6.1.0-28-amd64",
        "  6.3 Update  : #1 SMP PREEMPT_DYNAMIC Debian 6.1.119-1",
        "  6.4 Language: de_DE",
        "  6.5 Charset : UTF-8",
        "",
        "Network:",
        // colon column 16 ("  7.1 IP Address"); longest line 7.2: 18 + 13 characters
        dashes(31),
        "  7.1 IP Address: 192.0.2.15",
        "  7.2 Submask   : 255.255.255.0",
        "  7.3 Gateway   : 192.0.2.1",
        "  7.4 DNS 1     : 192.0.2.53",
        "  7.5 DNS 2     : ",
        "  7.6 DHCP      : Yes",
    });
    ReportFixture f;
    const std::string actual = f.build().general;
    EXPECT_TRUE(actual == expected) << lineDiff(expected, actual);
}

// Columns: Address 16 (16-digit addresses; the title is 7, the minimum 8), Module 15
// ("libQt6Core.so.6"), Unit 18 ("EquationEditor.cpp"), Class 9 ("TMainForm"), Procedure/Method
// 31 ("SaveVelocitySettingsButtonClick"), Line 7 ("212[14]"). A row is the widths plus 7 bars:
// 96 + 7 = 103; a caption or separator row holds 101 characters between its bars. Printed with
// the default stack flags (kinds 2 and 3 too); kinds 0 and 1 never are.
TEST(ReportLayout, CallStackTableFollowsTheRules)
{
    const std::string line = dashes(103);
    const std::string groupDashes = "|" + dashes(101) + "|";
    const std::string groupSpaces = "|" + sp(101) + "|";
    const std::string expected = "\r\n"
        + crlfLines({
            "Call Stack Information:",
            line,
            "|Address" + sp(9) + "|Module" + sp(9) + "|Unit" + sp(14) + "|Class" + sp(4) + "|Procedure/Method"
                + sp(15) + "|Line" + sp(3) + "|",
            line,
            // The exception's group: its first entry is flagged as the exception address; the
            // caption is 59 characters, padded by 42.
            "|*Exception Thread: ID=1001; Priority=Normal; Class=; [Main]" + sp(42) + "|",
            groupDashes,
            "|0000555555559A10|vetu-config" + sp(4)
                + "|EquationEditor.cpp|TMainForm|SaveVelocitySettingsButtonClick|212[14]|",
            "|000055555555A3C4|vetu-config" + sp(4) + "|EquationEditor.cpp|TMainForm|ValidateEquationSet"
                + sp(12) + "|148[6] |",
            // the kind 1 entry of libQt6Core at ...A81234 is not printed; kind 2 and kind 3 are
            "|00007FFFF7A91000|libQt6Core.so.6|" + sp(18) + "|" + sp(9) + "|QObject::event" + sp(17) + "|"
                + sp(7) + "|",
            "|000055555555B000|vetu-config" + sp(4) + "|main.cpp" + sp(10) + "|" + sp(9) + "|main" + sp(27)
                + "|" + sp(7) + "|",
            // Another thread: a dashes row, a row of spaces (its group-kind byte is set), the caption
            // (67 characters, padded by 34) and its dashes row. A "|" in a value stays in its cell.
            groupDashes,
            groupSpaces,
            "|Running Thread: ID=1002; Priority=Above-Normal; Class=TWorkerThread" + sp(34) + "|",
            groupDashes,
            "|000055555555C100|vetu-config" + sp(4) + "|Worker.cpp" + sp(8) + "|TWorker" + sp(2) + "|run|loop"
                + sp(23) + "|33[2]" + sp(2) + "|",
            // The group-kind byte changes to 0 on the same thread: a calling thread, no spaces row.
            groupDashes,
            "|Calling Thread: ID=1002; Priority=Above-Normal; Class=TWorkerThread" + sp(34) + "|",
            groupDashes,
            "|000055555555C200|vetu-config" + sp(4) + "|Worker.cpp" + sp(8) + "|TWorker" + sp(2) + "|start"
                + sp(26) + "|20[1]" + sp(2) + "|",
            // A thread the registry does not know: priority "??", no class (44 characters, 57 more).
            groupDashes,
            groupSpaces,
            "|Running Thread: ID=1003; Priority=??; Class=" + sp(57) + "|",
            groupDashes,
            "|00007FFFF7812345|libc.so.6" + sp(6) + "|" + sp(18) + "|" + sp(9) + "|clone3" + sp(25) + "|"
                + sp(7) + "|",
            line,
            "",
        });
    ReportFixture f;
    const std::string actual = f.build().callStack;
    EXPECT_TRUE(actual == expected) << lineDiff(expected, actual);
}

// Registers in two columns, "RAX: " and 16 digits, three blanks, "RDI: " and 16 digits: 45
// characters, the width of the dash line. The stack column is "address: value" (16 + 2 + 16 =
// 34) and three blanks, so "Stack:" is padded to 37; the memory column is "address: ", 16 times
// " XX", a blank and 16 characters (16 + 2 + 48 + 1 + 16 = 83). The stack holds the bytes 3*i
// (64-bit values, little-endian), the memory the bytes 0 to 255; 32 to 126 show as themselves.
TEST(ReportLayout, CpuSectionFollowsTheRules)
{
    const std::string expected = "\r\n"
        + crlfLines({
            "Registers:",
            dashes(45),
            "RAX: 0000000000000001   RDI: 0000000000000006",
            "RBX: 0000000000000002   RSI: 0000000000000005",
            "RCX: 0000000000000003   RSP: 00007FFFFFFFE000",
            "RDX: 0000000000000004   RIP: 0000555555559A10",
            "",
            "R8 : 0000000000000008   R12: 000000000000000C",
            "R9 : 0000000000000009   R13: 000000000000000D",
            "R10: 000000000000000A   R14: 000000000000000E",
            "R11: 000000000000000B   R15: FEDCBA9876543210",
            "",
            "Stack:" + sp(31) + "Memory Dump:",
            dashes(34) + sp(3) + dashes(83),
            "00007FFFFFFFE000: 15120F0C09060300   0000555555559A10:  00 01 02 03 04 05 06 07 08 09 0A 0B 0C "
            "0D 0E 0F ................",
            "00007FFFFFFFE008: 2D2A2724211E1B18   0000555555559A20:  10 11 12 13 14 15 16 17 18 19 1A 1B 1C "
            "1D 1E 1F ................",
            "00007FFFFFFFE010: 45423F3C39363330   0000555555559A30:  20 21 22 23 24 25 26 27 28 29 2A 2B 2C "
            "2D 2E 2F  !\"#$%&'()*+,-./",
            "00007FFFFFFFE018: 5D5A5754514E4B48   0000555555559A40:  30 31 32 33 34 35 36 37 38 39 3A 3B 3C "
            "3D 3E 3F 0123456789:;<=>?",
            "00007FFFFFFFE020: 75726F6C69666360   0000555555559A50:  40 41 42 43 44 45 46 47 48 49 4A 4B 4C "
            "4D 4E 4F @ABCDEFGHIJKLMNO",
            "00007FFFFFFFE028: 8D8A8784817E7B78   0000555555559A60:  50 51 52 53 54 55 56 57 58 59 5A 5B 5C "
            "5D 5E 5F PQRSTUVWXYZ[\\]^_",
            "00007FFFFFFFE030: A5A29F9C99969390   0000555555559A70:  60 61 62 63 64 65 66 67 68 69 6A 6B 6C "
            "6D 6E 6F `abcdefghijklmno",
            "00007FFFFFFFE038: BDBAB7B4B1AEABA8   0000555555559A80:  70 71 72 73 74 75 76 77 78 79 7A 7B 7C "
            "7D 7E 7F pqrstuvwxyz{|}~.",
            "00007FFFFFFFE040: D5D2CFCCC9C6C3C0   0000555555559A90:  80 81 82 83 84 85 86 87 88 89 8A 8B 8C "
            "8D 8E 8F ................",
            "00007FFFFFFFE048: EDEAE7E4E1DEDBD8   0000555555559AA0:  90 91 92 93 94 95 96 97 98 99 9A 9B 9C "
            "9D 9E 9F ................",
            "00007FFFFFFFE050: 0502FFFCF9F6F3F0   0000555555559AB0:  A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC "
            "AD AE AF ................",
            "00007FFFFFFFE058: 1D1A1714110E0B08   0000555555559AC0:  B0 B1 B2 B3 B4 B5 B6 B7 B8 B9 BA BB BC "
            "BD BE BF ................",
            "00007FFFFFFFE060: 35322F2C29262320   0000555555559AD0:  C0 C1 C2 C3 C4 C5 C6 C7 C8 C9 CA CB CC "
            "CD CE CF ................",
            "00007FFFFFFFE068: 4D4A4744413E3B38   0000555555559AE0:  D0 D1 D2 D3 D4 D5 D6 D7 D8 D9 DA DB DC "
            "DD DE DF ................",
            "00007FFFFFFFE070: 65625F5C59565350   0000555555559AF0:  E0 E1 E2 E3 E4 E5 E6 E7 E8 E9 EA EB EC "
            "ED EE EF ................",
            "00007FFFFFFFE078: 7D7A7774716E6B68   0000555555559B00:  F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC "
            "FD FE FF ................",
        });
    ReportFixture f;
    const std::string actual = f.build().cpu;
    EXPECT_TRUE(actual == expected) << lineDiff(expected, actual);
}
