// The crash data block: its layout, both placements in a module file and
// damaged files.

#include "ByteStream.h"
#include "CrashDataBlock.h"
#include "CrashModuleOptionsEx.h"
#include "CrashTempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

using namespace crashreport;
using crashreport::testing::CrashTempFolder;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> ReadAll(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path &path, const std::vector<std::uint8_t> &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
}

TCrashDataBlock SampleBlock()
{
    TCrashModuleOptions options;
    options.setMailSubject("Sample subject");
    options.setFreezeSeconds(17);
    TCrashDataBlock block;
    block.leakFlags = options.leakFlags();
    block.leakUseMainOptions = 1;
    block.options = options.writeToStream();
    block.streams.push_back({ CrashDataLineTableTag, { 1, 2, 3, 4, 5 } });
    block.streams.push_back({ CrashDataTag("EMPT"), {} });
    return block;
}

int RunCommand(const std::string &command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

} // namespace

TEST(DataBlock, HeaderHoldsSignatureVersionAndTheLeakBytes)
{
    const std::vector<std::uint8_t> bytes = BuildCrashDataBlock(SampleBlock());
    ByteReader in(bytes.data(), bytes.size());
    EXPECT_EQ(in.u32(), 0x100FAB10u);
    EXPECT_EQ(in.u16(), 6012);
    EXPECT_EQ(in.u16(), 16);
    EXPECT_EQ(in.u32(), bytes.size() - 16);
    EXPECT_EQ(bytes[14], 30); // LeakFlags, read there by the leak catcher
    EXPECT_EQ(bytes[15], 1);

    TCrashDataBlock parsed;
    std::string error;
    ASSERT_TRUE(ParseCrashDataBlock(bytes.data(), bytes.size(), parsed, error)) << error;
    EXPECT_EQ(parsed.version, 6012);
    EXPECT_EQ(parsed.leakFlags, 30);
    EXPECT_EQ(parsed.leakUseMainOptions, 1);
    EXPECT_EQ(parsed.options, SampleBlock().options);
    ASSERT_NE(parsed.findStream(CrashDataLineTableTag), nullptr);
    EXPECT_EQ(*parsed.findStream(CrashDataLineTableTag), (std::vector<std::uint8_t> { 1, 2, 3, 4, 5 }));
    ASSERT_NE(parsed.findStream(CrashDataTag("EMPT")), nullptr);
    EXPECT_TRUE(parsed.findStream(CrashDataTag("EMPT"))->empty());
    EXPECT_EQ(parsed.findStream(CrashDataTag("NONE")), nullptr);
    EXPECT_EQ(CrashDataLineTableTag, std::uint32_t('L' | 'I' << 8 | 'N' << 16 | 'E' << 24));
}

TEST(DataBlock, SignaturesAndVersionsAreChecked)
{
    const struct {
        std::uint32_t signature;
        std::uint16_t version;
        bool ok;
        std::uint16_t read;
    } cases[] = {
        { 0x100FAB10, 6012, true, 6012 },
        { 0x000FAB10, 6012, true, 6012 },
        { 0x100FAB11, 6012, false, 0 },
        { 0, 6012, false, 0 },
        { 0x100FAB10, 600, true, 6000 },
        { 0x100FAB10, 602, true, 6002 },
        { 0x100FAB10, 603, true, 603 },
        { 0x100FAB10, 400, true, 400 },
        { 0x100FAB10, 399, false, 0 },
        { 0x100FAB10, 0, false, 0 },
    };
    for (const auto &c : cases) {
        std::vector<std::uint8_t> bytes = BuildCrashDataBlock(SampleBlock());
        for (int i = 0; i < 4; ++i)
            bytes[i] = std::uint8_t(c.signature >> (8 * i));
        bytes[4] = std::uint8_t(c.version);
        bytes[5] = std::uint8_t(c.version >> 8);
        TCrashDataBlock parsed;
        std::string error;
        EXPECT_EQ(ParseCrashDataBlock(bytes.data(), bytes.size(), parsed, error), c.ok) << c.signature << " " << c.version;
        EXPECT_EQ(error.empty(), c.ok);
        if (c.ok) {
            EXPECT_EQ(parsed.version, c.read);
        }
    }
}

TEST(DataBlock, EveryTruncationAndBadLengthIsAnError)
{
    const std::vector<std::uint8_t> bytes = BuildCrashDataBlock(SampleBlock());
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        TCrashDataBlock parsed;
        std::string error;
        EXPECT_FALSE(ParseCrashDataBlock(bytes.data(), size, parsed, error)) << size;
        EXPECT_FALSE(error.empty());
    }
    // Header size, body size, options length and a stream length that point past the end.
    for (const std::size_t offset : { std::size_t(6), std::size_t(8), std::size_t(16) }) {
        std::vector<std::uint8_t> bad = bytes;
        bad[offset + 1] = 0xFF;
        TCrashDataBlock parsed;
        std::string error;
        EXPECT_FALSE(ParseCrashDataBlock(bad.data(), bad.size(), parsed, error)) << offset;
    }
    std::vector<std::uint8_t> bad = bytes;
    bad[bad.size() - 4] = 0xFF; // length of the empty last stream
    TCrashDataBlock parsed;
    std::string error;
    EXPECT_FALSE(ParseCrashDataBlock(bad.data(), bad.size(), parsed, error));
}

TEST(DataBlock, TrailerStartsWithTheVersionAndEndsWithLengthAndSignature)
{
    const std::vector<std::uint8_t> block = BuildCrashDataBlock(SampleBlock());
    const std::vector<std::uint8_t> trailer = BuildCrashDataTrailer(SampleBlock());
    ASSERT_EQ(trailer.size(), block.size() - 4 + 8);
    EXPECT_EQ(trailer[0] | trailer[1] << 8, 6012);
    ByteReader tail(trailer.data() + trailer.size() - 8, 8);
    EXPECT_EQ(tail.u32(), block.size() - 4);
    EXPECT_EQ(tail.u32(), 0x100FAB10u);
}

TEST(DataBlock, BuildTimeStreamRoundTripsAndOnlyEightBytesCount)
{
    struct Case {
        const char *what;
        std::vector<std::uint8_t> stream;
        bool withStream;
        std::int64_t expected;
    };
    const TCrashDataStream written = CrashDataBuildTimeStream(1767225600); // 2026-01-01 00:00 UTC
    const std::vector<Case> cases = {
        { "written by the build tool", written.data, true, 1767225600 },
        { "before 1970", CrashDataBuildTimeStream(-86400).data, true, -86400 },
        { "no stream", {}, false, 0 },
        { "too short", { 1, 2, 3, 4 }, true, 0 },
        { "too long", std::vector<std::uint8_t>(9, 1), true, 0 },
    };
    EXPECT_EQ(written.tag, CrashDataTag("TIME"));
    EXPECT_EQ(written.data, (std::vector<std::uint8_t> { 0x00, 0xB9, 0x55, 0x69, 0, 0, 0, 0 }));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TCrashDataBlock block = SampleBlock();
        if (c.withStream)
            block.streams.push_back({ CrashDataBuildTimeTag, c.stream });
        const std::vector<std::uint8_t> bytes = BuildCrashDataBlock(block);
        TCrashDataBlock parsed;
        std::string error;
        ASSERT_TRUE(ParseCrashDataBlock(bytes.data(), bytes.size(), parsed, error)) << error;
        EXPECT_EQ(CrashDataBuildTime(parsed), c.expected);
    }
}

TEST(DataBlock, CertificateAuthorityFileTravelsAsItsOwnStream)
{
    CrashTempFolder dir;
    TCrashDataBlock withFile = SampleBlock();
    withFile.streams.push_back(CrashDataCAFileStream("/etc/vetu/ca.pem"));
    EXPECT_EQ(withFile.streams.back().tag, CrashDataTag("CAFI"));
    WriteAll(dir.file("with.crdata"), BuildCrashDataBlock(withFile));
    WriteAll(dir.file("old.crdata"), BuildCrashDataBlock(SampleBlock())); // a block of before the stream

    TCrashModuleOptions options;
    ASSERT_TRUE(options.readFromFile(dir.file("with.crdata"))) << options.errorString();
    EXPECT_EQ(options.caFile(), "/etc/vetu/ca.pem");
    EXPECT_EQ(options.mailSubject(), "Sample subject"); // the stored options are read as before
    TCrashModuleOptions copy;
    copy.assign(&options);
    EXPECT_EQ(copy.caFile(), "/etc/vetu/ca.pem");
    EXPECT_TRUE(copy.sameOptions(options));

    TCrashModuleOptionsEx ex;
    ASSERT_TRUE(ex.loadFromModuleFile(dir.file("with.crdata"))) << ex.errorString();
    EXPECT_EQ(ex.caFile(), "/etc/vetu/ca.pem");
    EXPECT_FALSE(ex.sameOptions(TCrashModuleOptionsEx()));
    // An old block leaves the field empty, also after a block that had one.
    ASSERT_TRUE(ex.loadFromModuleFile(dir.file("old.crdata"))) << ex.errorString();
    EXPECT_TRUE(ex.caFile().empty());
    ASSERT_TRUE(options.readFromFile(dir.file("old.crdata")));
    EXPECT_TRUE(options.caFile().empty());
}

TEST(DataBlock, FoundAsSectionAppendedOrBareFile)
{
    CrashTempFolder dir;
    const std::vector<std::uint8_t> block = BuildCrashDataBlock(SampleBlock());

    // A bare block as the build tool writes it.
    WriteAll(dir.file("bare.crdata"), block);
    TCrashDataLookup bare = ReadCrashDataFromFile(dir.file("bare.crdata"));
    ASSERT_TRUE(bare.found) << bare.error;
    EXPECT_EQ(bare.placement, TCrashDataPlacement::Whole);

    // Appended to an arbitrary file.
    std::vector<std::uint8_t> module(10000);
    std::mt19937 random(7);
    for (auto &b : module)
        b = std::uint8_t(random());
    const std::vector<std::uint8_t> trailer = BuildCrashDataTrailer(SampleBlock());
    std::vector<std::uint8_t> appended = module;
    appended.insert(appended.end(), trailer.begin(), trailer.end());
    WriteAll(dir.file("appended.bin"), appended);
    TCrashDataLookup found = ReadCrashDataFromFile(dir.file("appended.bin"));
    ASSERT_TRUE(found.found) << found.error;
    EXPECT_EQ(found.placement, TCrashDataPlacement::Appended);
    EXPECT_EQ(found.block.options, SampleBlock().options);
    EXPECT_EQ(*found.block.findStream(CrashDataLineTableTag), (std::vector<std::uint8_t> { 1, 2, 3, 4, 5 }));

    // The ".crdata" section of a real ELF file: a copy of this test program.
    fs::copy_file("/proc/self/exe", dir.file("elf"));
    ASSERT_EQ(RunCommand("objcopy --add-section .crdata=" + dir.file("bare.crdata")
                  + " --set-section-flags .crdata=contents,readonly,noload " + dir.file("elf")),
              0);
    TCrashDataLookup section = ReadCrashDataFromFile(dir.file("elf"));
    ASSERT_TRUE(section.found) << section.error;
    EXPECT_EQ(section.placement, TCrashDataPlacement::Section);
    EXPECT_EQ(section.block.options, SampleBlock().options);

    // The options reader takes all three.
    for (const char *name : { "bare.crdata", "appended.bin", "elf" }) {
        TCrashModuleOptions options;
        ASSERT_TRUE(options.readFromFile(dir.file(name))) << name << options.errorString();
        EXPECT_EQ(options.mailSubject(), "Sample subject");
        EXPECT_EQ(options.freezeSeconds(), 17u);
    }
}

// Reading the options at start-up: from the section, the header and the options alone (the
// line table stays on disk); other placements and damaged sections as the whole reader does.
TEST(DataBlock, OptionsAloneAreReadWithoutTheStreams)
{
    CrashTempFolder dir;
    const std::vector<std::uint8_t> block = BuildCrashDataBlock(SampleBlock());
    WriteAll(dir.file("bare.crdata"), block);
    fs::copy_file("/proc/self/exe", dir.file("elf"));
    ASSERT_EQ(RunCommand("objcopy --add-section .crdata=" + dir.file("bare.crdata")
                  + " --set-section-flags .crdata=contents,readonly,noload " + dir.file("elf")),
              0);
    const TCrashDataLookup section = ReadCrashOptionsFromFile(dir.file("elf"));
    ASSERT_TRUE(section.found) << section.error;
    EXPECT_EQ(section.placement, TCrashDataPlacement::Section);
    EXPECT_EQ(section.block.options, SampleBlock().options);
    EXPECT_EQ(section.block.version, SampleBlock().version);
    EXPECT_EQ(section.block.leakFlags, SampleBlock().leakFlags);
    EXPECT_TRUE(section.block.streams.empty());
    TCrashModuleOptionsEx options;
    ASSERT_TRUE(options.loadFromLookup(section));
    EXPECT_EQ(options.mailSubject(), "Sample subject");

    const TCrashDataLookup bare = ReadCrashOptionsFromFile(dir.file("bare.crdata"));
    ASSERT_TRUE(bare.found) << bare.error;
    EXPECT_EQ(bare.placement, TCrashDataPlacement::Whole);
    EXPECT_EQ(bare.block.options, SampleBlock().options);

    // Options longer than the block's body: refused with the whole reader's error.
    std::vector<std::uint8_t> damaged = block;
    damaged[16] = 0xFF;
    damaged[17] = 0xFF;
    WriteAll(dir.file("damaged.crdata"), damaged);
    fs::copy_file("/proc/self/exe", dir.file("damaged-elf"));
    ASSERT_EQ(RunCommand("objcopy --add-section .crdata=" + dir.file("damaged.crdata")
                  + " --set-section-flags .crdata=contents,readonly,noload " + dir.file("damaged-elf")),
              0);
    const TCrashDataLookup refused = ReadCrashOptionsFromFile(dir.file("damaged-elf"));
    EXPECT_FALSE(refused.found);
    EXPECT_EQ(refused.error, ReadCrashDataFromFile(dir.file("damaged-elf")).error);
    EXPECT_FALSE(refused.error.empty());
    EXPECT_FALSE(ReadCrashOptionsFromFile(dir.file("missing")).found);
}

TEST(DataBlock, FilesWithoutABlockGiveNoErrorAndTheDefaults)
{
    CrashTempFolder dir;
    WriteAll(dir.file("empty"), {});
    WriteAll(dir.file("short"), { 0x10, 0xAB });
    WriteAll(dir.file("text"), std::vector<std::uint8_t>(100, 'a'));
    fs::copy_file("/proc/self/exe", dir.file("elf")); // this test program has no block
    for (const char *name : { "empty", "short", "text", "elf" }) {
        const TCrashDataLookup lookup = ReadCrashDataFromFile(dir.file(name));
        EXPECT_FALSE(lookup.found) << name;
        EXPECT_TRUE(lookup.error.empty()) << name << ": " << lookup.error;
        TCrashModuleOptionsEx options;
        options.setMailHost("changed");
        EXPECT_TRUE(options.loadFromModuleFile(dir.file(name))) << name;
        EXPECT_FALSE(options.hasCrashData());
        EXPECT_TRUE(options.sameOptions(TCrashModuleOptions()));
    }
    const TCrashDataLookup missing = ReadCrashDataFromFile(dir.file("missing"));
    EXPECT_FALSE(missing.found);
    EXPECT_FALSE(missing.error.empty());
    const TCrashDataLookup folder = ReadCrashDataFromFile(dir.file(""));
    EXPECT_FALSE(folder.found);
}

TEST(DataBlock, DamagedModulesGiveTheDefaultsAndAnError)
{
    CrashTempFolder dir;
    const std::vector<std::uint8_t> block = BuildCrashDataBlock(SampleBlock());
    WriteAll(dir.file("bare.crdata"), block);
    fs::copy_file("/proc/self/exe", dir.file("elf"));
    ASSERT_EQ(RunCommand("objcopy --add-section .crdata=" + dir.file("bare.crdata") + " " + dir.file("elf")),
              0);
    const std::vector<std::uint8_t> elf = ReadAll(dir.file("elf"));

    // Find the section's file offset through the reader, then damage the file in several ways.
    const std::vector<std::uint8_t> marker(block.begin(), block.begin() + 16);
    const auto at = std::search(elf.begin(), elf.end(), marker.begin(), marker.end());
    ASSERT_NE(at, elf.end());
    const std::size_t sectionOffset = std::size_t(at - elf.begin());

    struct Damage {
        const char *what;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Damage> damages;
    {
        std::vector<std::uint8_t> b = elf;
        b[sectionOffset] ^= 0xFF; // signature
        damages.push_back({ "signature", b });
    }
    {
        std::vector<std::uint8_t> b = elf;
        b[sectionOffset + 16 + 2] = 0x7F; // options length far beyond the section
        damages.push_back({ "options length", b });
    }
    {
        // Section headers usually sit at the end: cut the file in their middle.
        std::vector<std::uint8_t> b(elf.begin(), elf.end() - 100);
        damages.push_back({ "truncated section table", b });
    }
    {
        // e_shoff beyond the end of the file.
        std::vector<std::uint8_t> b = elf;
        b[0x28 + 5] = 0x7F;
        damages.push_back({ "section table offset", b });
    }
    {
        // A trailer whose length is larger than the file.
        std::vector<std::uint8_t> b(200, 0);
        ByteWriter w;
        w.u32(0xFFFFFF00u);
        w.u32(0x100FAB10u);
        b.insert(b.end(), w.data().begin(), w.data().end());
        damages.push_back({ "trailer length", b });
    }
    {
        // A trailer whose block is too short for a header.
        std::vector<std::uint8_t> b(200, 0);
        ByteWriter w;
        w.u16(6012);
        w.u32(2);
        w.u32(0x100FAB10u);
        b.insert(b.end(), w.data().begin(), w.data().end());
        damages.push_back({ "short trailer", b });
    }
    for (const Damage &damage : damages) {
        WriteAll(dir.file("damaged"), damage.bytes);
        const TCrashDataLookup lookup = ReadCrashDataFromFile(dir.file("damaged"));
        EXPECT_FALSE(lookup.found) << damage.what;
        EXPECT_FALSE(lookup.error.empty()) << damage.what;
        TCrashModuleOptionsEx options;
        EXPECT_FALSE(options.loadFromModuleFile(dir.file("damaged"))) << damage.what;
        EXPECT_FALSE(options.errorString().empty()) << damage.what;
        EXPECT_TRUE(options.sameOptions(TCrashModuleOptions())) << damage.what;
    }
}

TEST(DataBlock, RandomDamageNeverCrashes)
{
    const std::vector<std::uint8_t> block = BuildCrashDataBlock(SampleBlock());
    std::mt19937 random(42);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::uint8_t> bad = block;
        for (int k = 0; k < 4; ++k)
            bad[random() % bad.size()] = std::uint8_t(random());
        TCrashDataBlock parsed;
        std::string error;
        if (ParseCrashDataBlock(bad.data(), bad.size(), parsed, error)) {
            TCrashModuleOptions options;
            if (!options.readFromStream(parsed.options, parsed.version)) {
                EXPECT_TRUE(options.sameOptions(TCrashModuleOptions()));
            }
        }
    }
}

TEST(DataBlock, ModuleFileOfAnAddress)
{
    const std::string program = CrashModuleFileOf(nullptr);
    EXPECT_EQ(program, fs::read_symlink("/proc/self/exe").string());
    EXPECT_EQ(CrashModuleFileOf(reinterpret_cast<const void *>(&CrashModuleFileOf)), program);
    EXPECT_NE(CrashModuleFileOf(reinterpret_cast<const void *>(&std::fopen)), program); // in libc
    EXPECT_EQ(CrashModuleFileOf(reinterpret_cast<const void *>(std::uintptr_t(16))), "");
}
