#include "CrashDataBlock.h"

#include "ByteStream.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace crashreport {

const std::vector<std::uint8_t> *TCrashDataBlock::findStream(std::uint32_t tag) const
{
    for (const auto &stream : streams)
        if (stream.tag == tag)
            return &stream.data;
    return nullptr;
}

TCrashDataStream CrashDataBuildTimeStream(std::int64_t secondsSinceEpoch)
{
    TCrashDataStream stream;
    stream.tag = CrashDataBuildTimeTag;
    const auto bits = static_cast<std::uint64_t>(secondsSinceEpoch);
    for (int i = 0; i < 8; ++i)
        stream.data.push_back(std::uint8_t(bits >> (8 * i)));
    return stream;
}

TCrashDataStream CrashDataCAFileStream(const std::string &path)
{
    return { CrashDataCAFileTag, std::vector<std::uint8_t>(path.begin(), path.end()) };
}

std::string CrashDataCAFile(const TCrashDataBlock &block)
{
    const std::vector<std::uint8_t> *stream = block.findStream(CrashDataCAFileTag);
    return stream ? std::string(stream->begin(), stream->end()) : std::string();
}

std::int64_t CrashDataBuildTime(const TCrashDataBlock &block)
{
    const std::vector<std::uint8_t> *stream = block.findStream(CrashDataBuildTimeTag);
    if (!stream || stream->size() != 8)
        return 0;
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= std::uint64_t((*stream)[std::size_t(i)]) << (8 * i);
    return static_cast<std::int64_t>(bits);
}

std::vector<std::uint8_t> BuildCrashDataBlock(const TCrashDataBlock &block)
{
    ByteWriter body;
    body.u32(std::uint32_t(block.options.size()));
    body.bytes(block.options);
    for (const auto &stream : block.streams) {
        body.u32(stream.tag);
        body.u32(std::uint32_t(stream.data.size()));
        body.bytes(stream.data);
    }
    ByteWriter out;
    out.u32(CrashDataSignature);
    out.u16(block.version);
    out.u16(CrashDataHeaderSize);
    out.u32(std::uint32_t(body.data().size()));
    out.u16(0);
    out.u8(block.leakFlags);
    out.u8(block.leakUseMainOptions);
    out.bytes(body.data());
    return out.take();
}

std::vector<std::uint8_t> BuildCrashDataTrailer(const TCrashDataBlock &block)
{
    std::vector<std::uint8_t> canonical = BuildCrashDataBlock(block);
    ByteWriter out;
    out.bytes(canonical.data() + 4, canonical.size() - 4);
    out.u32(std::uint32_t(canonical.size() - 4));
    out.u32(CrashDataSignature);
    return out.take();
}

bool ParseCrashDataBlock(const std::uint8_t *data, std::size_t size, TCrashDataBlock &out, std::string &error)
{
    out = TCrashDataBlock();
    ByteReader in(data, size);
    const std::uint32_t signature = in.u32();
    std::uint16_t version = in.u16();
    const std::uint16_t headerSize = in.u16();
    const std::uint32_t bodySize = in.u32();
    in.u16();
    const std::uint8_t leakFlags = in.u8();
    const std::uint8_t leakMain = in.u8();
    if (!in.ok()) {
        error = "the crash data block is shorter than its header";
        return false;
    }
    if (signature != CrashDataSignature && signature != CrashDataOldSignature) {
        error = "the crash data block has no valid signature";
        return false;
    }
    if (version >= 600 && version <= 602)
        version = std::uint16_t(version + 5400);
    if (version < 400) {
        error = "the crash data block has the unsupported version " + std::to_string(version);
        return false;
    }
    if (headerSize < CrashDataHeaderSize || headerSize > size) {
        error = "the crash data block has an invalid header size";
        return false;
    }
    if (bodySize > size - headerSize) {
        error = "the crash data block is truncated";
        return false;
    }
    ByteReader body(data + headerSize, bodySize);
    const std::uint32_t optionsSize = body.u32();
    if (!body.bytes(optionsSize, out.options)) {
        error = "the options of the crash data block are truncated";
        return false;
    }
    while (body.remaining() > 0) {
        TCrashDataStream stream;
        stream.tag = body.u32();
        const std::uint32_t length = body.u32();
        if (!body.bytes(length, stream.data)) {
            error = "a stream of the crash data block is truncated";
            return false;
        }
        out.streams.push_back(std::move(stream));
    }
    out.version = version;
    out.leakFlags = leakFlags;
    out.leakUseMainOptions = leakMain;
    return true;
}

namespace {

class File {
public:
    explicit File(const std::string &path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        struct stat st {};
        if (m_fd >= 0 && ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode))
            m_size = std::uint64_t(st.st_size);
        else
            m_size = 0;
    }
    ~File()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    std::uint64_t size() const { return m_size; }

    // Reads exactly size bytes at offset; false when they are not all in the file.
    bool read(std::uint64_t offset, std::uint64_t size, std::vector<std::uint8_t> &out) const
    {
        if (offset > m_size || size > m_size - offset || size > std::uint64_t(SSIZE_MAX))
            return false;
        out.resize(std::size_t(size));
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pread(m_fd, out.data() + done, std::size_t(size) - done, off_t(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += std::size_t(n);
        }
        return true;
    }

private:
    int m_fd;
    std::uint64_t m_size;
};

std::uint64_t LoadLE(const std::uint8_t *p, int width)
{
    std::uint64_t v = 0;
    for (int i = 0; i < width; ++i)
        v |= std::uint64_t(p[i]) << (8 * i);
    return v;
}

enum class SectionSearch { NotElf, NotFound, Found, Damaged };

// Finds the ".crdata" section of a little-endian ELF file (32 or 64 bit).
SectionSearch FindSection(const File &file, std::uint64_t &offset, std::uint64_t &size, std::string &error)
{
    std::vector<std::uint8_t> ident;
    if (!file.read(0, EI_NIDENT, ident) || std::memcmp(ident.data(), ELFMAG, SELFMAG) != 0)
        return SectionSearch::NotElf;
    if (ident[EI_DATA] != ELFDATA2LSB)
        return SectionSearch::NotElf;
    const bool is64 = ident[EI_CLASS] == ELFCLASS64;
    if (!is64 && ident[EI_CLASS] != ELFCLASS32)
        return SectionSearch::NotElf;

    std::vector<std::uint8_t> eh;
    if (!file.read(0, is64 ? sizeof(Elf64_Ehdr) : sizeof(Elf32_Ehdr), eh)) {
        error = "the ELF header is truncated";
        return SectionSearch::Damaged;
    }
    std::uint64_t shoff, shentsize, shnum, shstrndx;
    if (is64) {
        shoff = LoadLE(eh.data() + offsetof(Elf64_Ehdr, e_shoff), 8);
        shentsize = LoadLE(eh.data() + offsetof(Elf64_Ehdr, e_shentsize), 2);
        shnum = LoadLE(eh.data() + offsetof(Elf64_Ehdr, e_shnum), 2);
        shstrndx = LoadLE(eh.data() + offsetof(Elf64_Ehdr, e_shstrndx), 2);
    } else {
        shoff = LoadLE(eh.data() + offsetof(Elf32_Ehdr, e_shoff), 4);
        shentsize = LoadLE(eh.data() + offsetof(Elf32_Ehdr, e_shentsize), 2);
        shnum = LoadLE(eh.data() + offsetof(Elf32_Ehdr, e_shnum), 2);
        shstrndx = LoadLE(eh.data() + offsetof(Elf32_Ehdr, e_shstrndx), 2);
    }
    if (shoff == 0)
        return SectionSearch::NotFound; // stripped of section headers
    const std::uint64_t minEntry = is64 ? sizeof(Elf64_Shdr) : sizeof(Elf32_Shdr);
    if (shentsize < minEntry || shoff > file.size()) {
        error = "the ELF section header table is invalid";
        return SectionSearch::Damaged;
    }
    struct Shdr {
        std::uint64_t name, type, offset, size, link;
    };
    auto parseShdr = [&](const std::uint8_t *raw, Shdr &s) {
        if (is64) {
            s.name = LoadLE(raw + offsetof(Elf64_Shdr, sh_name), 4);
            s.type = LoadLE(raw + offsetof(Elf64_Shdr, sh_type), 4);
            s.offset = LoadLE(raw + offsetof(Elf64_Shdr, sh_offset), 8);
            s.size = LoadLE(raw + offsetof(Elf64_Shdr, sh_size), 8);
            s.link = LoadLE(raw + offsetof(Elf64_Shdr, sh_link), 4);
        } else {
            s.name = LoadLE(raw + offsetof(Elf32_Shdr, sh_name), 4);
            s.type = LoadLE(raw + offsetof(Elf32_Shdr, sh_type), 4);
            s.offset = LoadLE(raw + offsetof(Elf32_Shdr, sh_offset), 4);
            s.size = LoadLE(raw + offsetof(Elf32_Shdr, sh_size), 4);
            s.link = LoadLE(raw + offsetof(Elf32_Shdr, sh_link), 4);
        }
    };
    std::vector<std::uint8_t> table;
    auto readShdr = [&](std::uint64_t index, Shdr &s) {
        if (!table.empty()) {
            parseShdr(table.data() + index * shentsize, s);
            return true;
        }
        std::vector<std::uint8_t> raw;
        if (!file.read(shoff + index * shentsize, minEntry, raw))
            return false;
        parseShdr(raw.data(), s);
        return true;
    };
    if (shnum == 0 || shstrndx == SHN_XINDEX) {
        // Extended numbering keeps the real values in section 0.
        Shdr first {};
        if (!readShdr(0, first)) {
            error = "the ELF section header table is truncated";
            return SectionSearch::Damaged;
        }
        if (shnum == 0)
            shnum = first.size;
        if (shstrndx == SHN_XINDEX)
            shstrndx = first.link;
    }
    if (shnum > (file.size() - shoff) / shentsize || !file.read(shoff, shnum * shentsize, table)) {
        error = "the ELF section header table is truncated";
        return SectionSearch::Damaged;
    }
    if (shstrndx == SHN_UNDEF || shstrndx >= shnum)
        return SectionSearch::NotFound;
    Shdr strtab {};
    std::vector<std::uint8_t> names;
    if (!readShdr(shstrndx, strtab) || !file.read(strtab.offset, strtab.size, names)) {
        error = "the ELF section name table is truncated";
        return SectionSearch::Damaged;
    }
    const std::size_t wantedLength = std::strlen(CrashDataSectionName) + 1;
    for (std::uint64_t i = 1; i < shnum; ++i) {
        Shdr s {};
        if (!readShdr(i, s)) {
            error = "the ELF section header table is truncated";
            return SectionSearch::Damaged;
        }
        if (s.name >= names.size() || names.size() - s.name < wantedLength
            || std::memcmp(names.data() + s.name, CrashDataSectionName, wantedLength) != 0)
            continue;
        if (s.type == SHT_NOBITS || s.offset > file.size() || s.size > file.size() - s.offset) {
            error = "the section .crdata lies outside the file";
            return SectionSearch::Damaged;
        }
        offset = s.offset;
        size = s.size;
        return SectionSearch::Found;
    }
    return SectionSearch::NotFound;
}

} // namespace

TCrashDataLookup ReadCrashDataFromFile(const std::string &path)
{
    TCrashDataLookup result;
    try {
        File file(path);
        if (!file.isOpen()) {
            result.error = "cannot open the module file " + path;
            return result;
        }
        std::uint64_t offset = 0, size = 0;
        std::string error;
        std::vector<std::uint8_t> bytes;
        switch (FindSection(file, offset, size, error)) {
        case SectionSearch::Damaged:
            result.error = path + ": " + error;
            return result;
        case SectionSearch::Found:
            result.placement = TCrashDataPlacement::Section;
            if (!file.read(offset, size, bytes)) {
                result.error = path + ": the section .crdata cannot be read";
                return result;
            }
            break;
        case SectionSearch::NotElf:
        case SectionSearch::NotFound: {
            std::vector<std::uint8_t> tail;
            if (file.read(0, 4, tail)) {
                const std::uint32_t head = std::uint32_t(LoadLE(tail.data(), 4));
                if (head == CrashDataSignature || head == CrashDataOldSignature) {
                    result.placement = TCrashDataPlacement::Whole;
                    if (!file.read(0, file.size(), bytes)) {
                        result.error = path + ": the crash data file cannot be read";
                        return result;
                    }
                    break;
                }
            }
            if (file.size() < 8 || !file.read(file.size() - 8, 8, tail))
                return result;
            const std::uint32_t length = std::uint32_t(LoadLE(tail.data(), 4));
            const std::uint32_t signature = std::uint32_t(LoadLE(tail.data() + 4, 4));
            if (signature != CrashDataSignature && signature != CrashDataOldSignature)
                return result; // no block at all
            result.placement = TCrashDataPlacement::Appended;
            if (length > file.size() - 8 || !file.read(file.size() - 8 - length, length, tail)) {
                result.error = path + ": the appended crash data block is longer than the file";
                return result;
            }
            ByteWriter canonical;
            canonical.u32(signature);
            canonical.bytes(tail);
            bytes = canonical.take();
            break;
        }
        }
        if (!ParseCrashDataBlock(bytes.data(), bytes.size(), result.block, error)) {
            result.block = TCrashDataBlock();
            result.error = path + ": " + error;
            return result;
        }
        result.found = true;
    } catch (const std::exception &e) {
        result = TCrashDataLookup();
        result.error = path + ": " + e.what();
    }
    return result;
}

TCrashDataLookup ReadCrashOptionsFromFile(const std::string &path)
{
    try {
        File file(path);
        std::uint64_t offset = 0, size = 0;
        std::string error;
        if (!file.isOpen() || FindSection(file, offset, size, error) != SectionSearch::Found)
            return ReadCrashDataFromFile(path);
        // The header and the options' length, then the options alone. Anything unusual is left
        // to the whole reader, which says what is wrong.
        std::vector<std::uint8_t> head;
        if (size < CrashDataHeaderSize + 4u || !file.read(offset, CrashDataHeaderSize, head))
            return ReadCrashDataFromFile(path);
        const std::uint64_t headerSize = LoadLE(head.data() + 6, 2);
        const std::uint64_t bodySize = LoadLE(head.data() + 8, 4);
        std::vector<std::uint8_t> length;
        if (headerSize < CrashDataHeaderSize || headerSize > size - 4 || bodySize > size - headerSize
            || bodySize < 4 || !file.read(offset + headerSize, 4, length))
            return ReadCrashDataFromFile(path);
        const std::uint64_t optionsSize = LoadLE(length.data(), 4);
        std::vector<std::uint8_t> bytes;
        if (optionsSize > bodySize - 4 || !file.read(offset, headerSize + 4 + optionsSize, bytes))
            return ReadCrashDataFromFile(path);
        const std::uint32_t shortBody = std::uint32_t(4 + optionsSize);
        for (int i = 0; i < 4; ++i)
            bytes[8 + i] = std::uint8_t(shortBody >> (8 * i));
        TCrashDataLookup result;
        result.placement = TCrashDataPlacement::Section;
        if (!ParseCrashDataBlock(bytes.data(), bytes.size(), result.block, error)) {
            result.block = TCrashDataBlock();
            result.error = path + ": " + error;
            return result;
        }
        result.found = true;
        return result;
    } catch (const std::exception &e) {
        TCrashDataLookup result;
        result.error = path + ": " + e.what();
        return result;
    }
}

namespace {

std::string OwnExecutable()
{
    // Read once: the link does not change while the program runs. Never destroyed, so that
    // a report during the program's exit still finds it.
    static const std::string *own = [] {
        std::vector<char> buffer(4096);
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n <= 0 || std::size_t(n) >= buffer.size())
            return new std::string();
        return new std::string(buffer.data(), std::size_t(n));
    }();
    return *own;
}

struct ModuleSearch {
    std::uintptr_t address = 0;
    bool found = false;
    std::string name;
};

int FindModuleCallback(struct dl_phdr_info *info, std::size_t, void *data)
{
    auto *search = static_cast<ModuleSearch *>(data);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr) &ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD)
            continue;
        const std::uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (search->address >= start && search->address - start < ph.p_memsz) {
            search->found = true;
            search->name = info->dlpi_name ? info->dlpi_name : "";
            return 1;
        }
    }
    return 0;
}

} // namespace

std::string CrashModuleFileOf(const void *address)
{
    try {
        if (!address)
            return OwnExecutable();
        ModuleSearch search;
        search.address = reinterpret_cast<std::uintptr_t>(address);
        dl_iterate_phdr(FindModuleCallback, &search);
        if (!search.found)
            return {};
        if (search.name.empty()) // the main program reports no name
            return OwnExecutable();
        return search.name;
    } catch (...) {
        return {};
    }
}

const TCrashDataLookup &OwnCrashData()
{
    static const TCrashDataLookup own = [] {
        const std::string file = CrashModuleFileOf(reinterpret_cast<const void *>(&OwnCrashData));
        if (file.empty()) {
            TCrashDataLookup none;
            none.error = "the file of the crash-report module is unknown";
            return none;
        }
        return ReadCrashDataFromFile(file);
    }();
    return own;
}

std::optional<std::vector<std::uint8_t>> FindCrashDataStream(std::uint32_t tag)
{
    const TCrashDataLookup &own = OwnCrashData();
    if (const auto *stream = own.found ? own.block.findStream(tag) : nullptr)
        return *stream;
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> FindCrashDataStream(const std::string &moduleFile, std::uint32_t tag)
{
    const TCrashDataLookup lookup = ReadCrashDataFromFile(moduleFile);
    if (const auto *stream = lookup.found ? lookup.block.findStream(tag) : nullptr)
        return *stream;
    return std::nullopt;
}

} // namespace crashreport
