#include "CRDebugInfoJedy.h"
#include "CRDebugInfoMap.h"
#include "CRDebugInfoTD32.h"
#include "CrashResolve.h"
#include "CrashStackList.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

using namespace crashreport;
namespace fs = std::filesystem;

namespace
{

const char *const MapText
    = "\r\n Start         Length     Name                   Class\r\n"
      " 0001:00401000 00002000H .text                   CODE\r\n"
      " 0002:00403000 00000100H .data                   DATA\r\n"
      "\r\n\r\nDetailed map of segments\r\n\r\n"
      " 0001:00000000 00000100 C=CODE     S=.text    G=(none)   M=System   ACBP=A9\r\n"
      " 0001:00000100 00000200 C=CODE     S=.text    G=(none)   M=Main     ACBP=A9\r\n"
      "\r\n\r\n  Address         Publics by Name\r\n\r\n"
      " 0001:00000100       Main.TForm1.Button1Click\r\n"
      " 0001:00000180       Main.DoWork\r\n"
      " 0002:00000004       Main.Counter\r\n"
      "\r\n\r\n  Address         Publics by Value\r\n\r\n"
      " 0001:00000010       System.@GetMem\r\n"
      " 0001:00000100       Main.TForm1.Button1Click\r\n"
      " 0001:00000180       Main.DoWork\r\n"
      "\r\n\r\nLine numbers for System(System.pas) segment .text\r\n\r\n"
      "   100 0001:00000010   101 0001:00000020\r\n"
      "\r\n\r\nLine numbers for Main(Main.pas) segment .text\r\n\r\n"
      "    20 0001:00000100    21 0001:00000110    23 0001:00000120    40 0001:00000180\r\n"
      "    41 0001:00000190\r\n"
      "\r\nBound resource files\r\n\r\nMain.res\r\n";

// The answers every fixture gives: address (segment offset) -> unit, class, procedure, line, offset.
struct Expect {
    std::uint64_t address;
    const char *unit, *cls, *proc;
    std::uint32_t line, offset;
};
const Expect Answers[] = {
    { 0x115, "Main.pas", "TForm1", "Button1Click", 21, 1 },
    { 0x125, "Main.pas", "TForm1", "Button1Click", 23, 3 },
    { 0x185, "Main.pas", "", "DoWork", 40, 0 },
    { 0x195, "Main.pas", "", "DoWork", 41, 1 },
};

void checkAnswers(const TCRDebugInfoSource &src)
{
    ASSERT_TRUE(src.valid());
    for (const Expect &e : Answers) {
        TCrashLocationInfo info;
        ASSERT_TRUE(src.getLocationInfo(e.address, info)) << std::hex << e.address;
        TCrashStackEntry entry;
        CrashSplitDottedName(
            info.procedureName, info.sourceFile.empty() ? info.unitName : info.sourceFile, entry);
        EXPECT_EQ(entry.unitName, e.unit) << std::hex << e.address;
        EXPECT_EQ(entry.className, e.cls) << std::hex << e.address;
        EXPECT_EQ(entry.procedureName, e.proc) << std::hex << e.address;
        EXPECT_EQ(info.line, e.line) << std::hex << e.address;
        EXPECT_EQ(info.lineOffset, e.offset) << std::hex << e.address;
    }
}

std::string jdbgFixture()
{
    std::string words(1, '\0'); // offset 0 means "no word"
    auto word = [&](const std::string &w) {
        const auto at = static_cast<std::uint32_t>(words.size());
        words += TCRDebugInfoJedy::packWord(w);
        return at;
    };
    const std::uint32_t wSystem = word("System"), wMain = word("Main"), wSystemPas = word("System.pas"),
                        wMainPas = word("Main.pas"), wGetMem = word("_GetMem"), wForm = word("TForm1"),
                        wClick = word("Button1Click"), wDoWork = word("DoWork");
    auto stream = [](std::initializer_list<std::initializer_list<std::uint32_t>> rows) {
        std::string s;
        std::vector<std::uint32_t> last;
        for (const auto &row : rows) {
            last.resize(row.size(), 0);
            std::size_t k = 0;
            for (std::uint32_t v : row) {
                TCRDebugInfoJedy::appendValue(s, v - last[k]);
                last[k++] = v;
            }
        }
        TCRDebugInfoJedy::appendValue(s, 0x7FFFFFFF);
        return s;
    };
    const std::string units = stream({ { 0x0, wSystem }, { 0x100, wMain } });
    const std::string sources = stream({ { 0x0, wSystemPas }, { 0x100, wMainPas } });
    const std::string symbols
        = stream({ { 0x10, wSystem, wGetMem }, { 0x100, wForm, wClick }, { 0x180, wDoWork, 0 } });
    const std::string lines = stream({ { 0x10, 100 }, { 0x20, 101 }, { 0x100, 20 }, { 0x110, 21 },
        { 0x120, 23 }, { 0x180, 40 }, { 0x190, 41 } });
    std::string data = "JDBG";
    data.push_back('\1');
    auto u32 = [](std::string &s, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s.push_back(static_cast<char>(v >> (8 * i)));
    };
    const std::uint32_t base = 34;
    const std::uint32_t offUnits = base, offSources = offUnits + units.size(),
                        offSymbols = offSources + sources.size(), offLines = offSymbols + symbols.size(),
                        offWords = offLines + lines.size();
    for (std::uint32_t v : { offUnits, offSources, offSymbols, offLines, offWords, wMain, 0u })
        u32(data, v);
    data.push_back('\0');
    return data + units + sources + symbols + lines + words;
}

// TD32 data of one module "Main" with two procedures and their line table.
std::string td32Fixture(bool embeddedInImage)
{
    std::string d;
    auto u16 = [&](std::uint32_t v) {
        d.push_back(static_cast<char>(v));
        d.push_back(static_cast<char>(v >> 8));
    };
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            d.push_back(static_cast<char>(v >> (8 * i)));
    };
    d = "FB09";
    u32(0); // directory offset, patched below
    struct Sub {
        std::uint16_t type, module;
        std::uint32_t offset, size;
    };
    std::vector<Sub> subs;
    // sstNames
    std::uint32_t start = static_cast<std::uint32_t>(d.size());
    const char *names[] = { "Main", "Main.pas", "Button1Click", "TForm1.DoWork" };
    u32(4);
    for (const char *n : names) {
        d.push_back(static_cast<char>(std::strlen(n)));
        d += n;
        d.push_back('\0');
    }
    subs.push_back({ 0x130, 0, start, static_cast<std::uint32_t>(d.size()) - start });
    // sstModule
    start = static_cast<std::uint32_t>(d.size());
    u16(0), u16(0), u16(1), u16(0x5643);
    u16(1), u16(0), u32(0x100), u32(0x200);
    u32(1);
    subs.push_back({ 0x120, 1, start, static_cast<std::uint32_t>(d.size()) - start });
    // sstAlignSym
    start = static_cast<std::uint32_t>(d.size());
    u32(1);
    for (auto [offset, size, name] : { std::tuple { 0x100u, 0x80u, 3u }, std::tuple { 0x180u, 0x80u, 4u } }) {
        u16(2 + 4 * 7 + 2 + 4 + 4), u16(0x205);
        u32(0), u32(0), u32(0), u32(size), u32(0), u32(size), u32(offset), u16(1), u32(0), u32(name);
    }
    u16(2), u16(0x0006); // an end record
    subs.push_back({ 0x125, 1, start, static_cast<std::uint32_t>(d.size()) - start });
    // sstSrcModule
    start = static_cast<std::uint32_t>(d.size());
    u16(1), u16(1);
    u32(4 + 4 + 8 + 2); // file record offset
    u32(0x100), u32(0x2FF);
    u16(1);
    const std::uint32_t fileAt = static_cast<std::uint32_t>(d.size()) - start;
    EXPECT_EQ(fileAt, 18u);
    u16(1), u32(2);
    u32(fileAt + 2 + 4 + 4 + 8); // line block offset
    u32(0x100), u32(0x2FF);
    const std::uint32_t lines[][2]
        = { { 0x100, 20 }, { 0x110, 21 }, { 0x120, 23 }, { 0x180, 40 }, { 0x190, 41 } };
    u16(1), u16(5);
    for (auto &l : lines)
        u32(l[0]);
    for (auto &l : lines)
        u16(l[1]);
    subs.push_back({ 0x127, 1, start, static_cast<std::uint32_t>(d.size()) - start });
    // directory
    const std::uint32_t dir = static_cast<std::uint32_t>(d.size());
    for (int i = 0; i < 4; ++i)
        d[4 + i] = static_cast<char>(dir >> (8 * i));
    u16(16), u16(12), u32(static_cast<std::uint32_t>(subs.size())), u32(0), u32(0);
    for (const Sub &s : subs)
        u16(s.type), u16(s.module), u32(s.offset), u32(s.size);
    if (!embeddedInImage)
        return d;
    std::string image(1000, '\x90');
    const std::uint32_t distance = static_cast<std::uint32_t>(d.size() + 8);
    image += d;
    image += "FB09";
    for (int i = 0; i < 4; ++i)
        image.push_back(static_cast<char>(distance >> (8 * i)));
    return image;
}

template <typename Source> void expectRobustAgainstDamage(const std::string &good)
{
    for (std::size_t len = 0; len < good.size(); ++len) {
        Source src(good.substr(0, len));
        TCrashLocationInfo info;
        for (const Expect &e : Answers)
            if (!src.valid())
                EXPECT_FALSE(src.getLocationInfo(e.address, info));
            else
                (void)src.getLocationInfo(e.address, info);
    }
    std::mt19937 rng(11);
    for (int round = 0; round < 3000; ++round) {
        std::string bad = good;
        for (int k = 0; k < 3; ++k)
            bad[rng() % bad.size()] = static_cast<char>(rng());
        Source src(bad);
        TCrashLocationInfo info;
        for (std::uint64_t a = 0; a < 0x320; a += 0x11)
            (void)src.getLocationInfo(a, info);
    }
}

} // namespace

TEST(CrashDebugSources, MapFileGivesUnitClassProcedureAndLine)
{
    TCRDebugInfoMap map(MapText);
    checkAnswers(map);
    TCrashLocationInfo info;
    ASSERT_TRUE(map.getLocationInfo(0x15, info));
    TCrashStackEntry entry;
    CrashSplitDottedName(info.procedureName, info.sourceFile, entry);
    EXPECT_EQ(entry.procedureName, "_GetMem"); // the at sign becomes "_"
    EXPECT_EQ(info.line, 100u);
    EXPECT_FALSE(map.getLocationInfo(0x300, info)); // beyond every segment
}

TEST(CrashDebugSources, DamagedMapTablesAnswerNothing)
{
    const std::string text = MapText;
    const std::pair<const char *, const char *> damages[] = {
        { "    41 0001:00000190\r\n", "    41 0001:00000190 42\r\n" }, // a line without its address
        { "    41 0001:00000190\r\n", "    41 0001:0000019G\r\n" }, // not a number
        { "M=Main     ACBP=A9", "ACBP=A9" }, // a segment without unit
        { " 0001:00000180       Main.DoWork\r\n\r\n\r\nLine",
            " 0001:\r\n\r\n\r\nLine" }, // a public without a name
        { "Line numbers for Main(Main.pas)",
            "Line numbers for Main Main.pas" }, // unit title without brackets
    };
    for (const auto &[from, to] : damages) {
        std::string bad = text;
        const std::size_t at = bad.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        bad.replace(at, std::strlen(from), to);
        TCRDebugInfoMap map(bad);
        EXPECT_FALSE(map.valid()) << to;
        TCrashLocationInfo info;
        EXPECT_FALSE(map.getLocationInfo(0x115, info)) << to;
    }
    expectRobustAgainstDamage<TCRDebugInfoMap>(text);
}

TEST(CrashDebugSources, JdbgGivesUnitClassProcedureAndLine)
{
    TCRDebugInfoJedy jdbg(jdbgFixture());
    checkAnswers(jdbg);
    EXPECT_EQ(TCRDebugInfoJedy(std::string("JDBX") + jdbgFixture().substr(4)).valid(), false);
    expectRobustAgainstDamage<TCRDebugInfoJedy>(jdbgFixture());
}

TEST(CrashDebugSources, Td32GivesUnitClassProcedureAndLine)
{
    for (bool embedded : { false, true }) {
        SCOPED_TRACE(embedded ? "inside an image" : "tds file");
        TCRDebugInfoTD32 td32(td32Fixture(embedded));
        ASSERT_TRUE(td32.valid());
        TCrashLocationInfo info;
        ASSERT_TRUE(td32.getLocationInfo(0x115, info));
        EXPECT_EQ(info.unitName, "Main");
        EXPECT_EQ(info.sourceFile, "Main.pas");
        EXPECT_EQ(info.procedureName, "Button1Click");
        EXPECT_EQ(info.line, 21u);
        EXPECT_EQ(info.lineOffset, 1u);
        ASSERT_TRUE(td32.getLocationInfo(0x195, info));
        TCrashStackEntry entry;
        CrashSplitDottedName(info.procedureName, info.sourceFile, entry);
        EXPECT_EQ(entry.className, "TForm1");
        EXPECT_EQ(entry.procedureName, "DoWork");
        EXPECT_EQ(info.line, 41u);
        EXPECT_FALSE(td32.getLocationInfo(0x50, info));
    }
    // A name index beyond the name table is damage: the source answers nothing.
    std::string bad = td32Fixture(false);
    const std::size_t at = bad.find(std::string("\x05\x02", 2));
    ASSERT_NE(at, std::string::npos);
    bad[at + 2 + 4 * 7 + 2 + 4] = 99;
    EXPECT_FALSE(TCRDebugInfoTD32(bad).valid());
    expectRobustAgainstDamage<TCRDebugInfoTD32>(td32Fixture(false));
    expectRobustAgainstDamage<TCRDebugInfoTD32>(td32Fixture(true));
}

// Real modules with a debug file beside them: the resolver asks that file before the symbols.
TEST(CrashDebugSources, ResolverUsesTheDebugFileBesideAModule)
{
    const fs::path dir = fs::temp_directory_path() / ("crash_sources_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // Copies of a system library without debug information of its own.
    void *probe = dlopen("libz.so.1", RTLD_NOW);
    ASSERT_NE(probe, nullptr);
    link_map *lm = nullptr;
    ASSERT_EQ(dlinfo(probe, RTLD_DI_LINKMAP, &lm), 0);
    const std::string original = lm->l_name;
    struct Case {
        const char *name, *ext;
        std::string content;
        TCrashDebugSourceKind kind;
        TCrashLocationSource source;
        std::uint64_t address;
        const char *cls, *proc;
        std::uint32_t line;
    };
    const Case cases[] = {
        { "libcrashmap", ".map", MapText, TCrashDebugSourceKind::MapFile, TCrashLocationSource::MapFile,
            0x115, "TForm1", "Button1Click", 21 },
        { "libcrashjdbg", ".jdbg", jdbgFixture(), TCrashDebugSourceKind::Jdbg, TCrashLocationSource::Jdbg,
            0x115, "TForm1", "Button1Click", 21 },
        { "libcrashtds", ".tds", td32Fixture(false), TCrashDebugSourceKind::TD32, TCrashLocationSource::TD32,
            0x195, "TForm1", "DoWork", 41 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ext);
        const fs::path copy = dir / (std::string(c.name) + ".so");
        fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
        {
            std::ofstream(dir / (std::string(c.name) + c.ext), std::ios::binary) << c.content;
        }
        void *handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr);
        TCrashModulesList::instance().refresh();
        TCrashModulePtr module;
        for (const auto &m : TCrashModulesList::instance().snapshot())
            if (m->fileName == copy.string())
                module = m;
        ASSERT_TRUE(module);
        EXPECT_EQ(module->debugSourceKind, c.kind);
        TCrashStackEntry entry;
        CrashResolveAddress(module->loadBias + module->codeOffset + c.address, 1, entry);
        EXPECT_EQ(entry.kind, StackKindLine);
        EXPECT_EQ(entry.source, c.source);
        EXPECT_EQ(entry.unitName, "Main.pas");
        EXPECT_EQ(entry.className, c.cls);
        EXPECT_EQ(entry.procedureName, c.proc);
        EXPECT_EQ(entry.line, c.line);
        // Where the debug file knows nothing, the module's own symbols still name the procedure.
        if (c.kind == TCrashDebugSourceKind::TD32) {
            const TCrashFunction *exported = nullptr;
            for (const auto &f : module->functions.items())
                if (f.offset > module->codeOffset + 0x400 && f.size > 0 && !exported)
                    exported = &f;
            ASSERT_NE(exported, nullptr);
            CrashResolveAddress(module->loadBias + exported->offset, 1, entry);
            EXPECT_EQ(entry.kind, StackKindProcedure);
            EXPECT_EQ(entry.procedureName, exported->name);
        }
        dlclose(handle);
    }
    dlclose(probe);
    std::error_code ec;
    fs::remove_all(dir, ec);
}
