// Reads LeakFlags from the program's crash data block at start, before anything may allocate:
// plain file reads into stack buffers, no allocation.
//
// The block is the ".crdata" section of the program file or the trailer appended to it (see
// CrashDataBlock.h): signature 0x100FAB10 or 0x000FAB10, version (600..602 read as
// 6000..6002) at least 6000, the leak byte at offset 14 and the byte that selects the main
// program's options at offset 15. The catcher lives in the program itself, so the block read is
// always the main program's and the second byte needs no further step.

#include "CRLeaksBlock.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace crleaks
{

namespace
{
    constexpr std::uint32_t OldSignature = 0x000FAB10u;

    bool readAt(int fd, std::uint64_t offset, void *to, std::size_t size)
    {
        char *out = static_cast<char *>(to);
        while (size) {
            const ssize_t n = pread(fd, out, size, static_cast<off_t>(offset));
            if (n <= 0)
                return false;
            out += n;
            size -= static_cast<std::size_t>(n);
            offset += static_cast<std::uint64_t>(n);
        }
        return true;
    }

    std::uint16_t u16(const unsigned char *p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
    std::uint32_t u32(const unsigned char *p)
    {
        return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
            | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }

    bool versionUsable(std::uint16_t version)
    {
        if (version >= 600 && version <= 602)
            version = static_cast<std::uint16_t>(version + 5400);
        return version >= 6000;
    }

    // Offset of the ".crdata" section, 0 when the file has none.
    std::uint64_t findSection(int fd, std::uint64_t fileSize, std::uint64_t &size)
    {
        Elf64_Ehdr eh;
        if (!readAt(fd, 0, &eh, sizeof eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0
            || eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_shentsize != sizeof(Elf64_Shdr)
            || eh.e_shstrndx >= eh.e_shnum || eh.e_shoff >= fileSize)
            return 0;
        Elf64_Shdr names;
        if (!readAt(fd, eh.e_shoff + std::uint64_t(eh.e_shstrndx) * sizeof(Elf64_Shdr), &names, sizeof names))
            return 0;
        static const char wanted[] = ".crdata";
        for (unsigned i = 0; i < eh.e_shnum; ++i) {
            Elf64_Shdr sh;
            if (!readAt(fd, eh.e_shoff + std::uint64_t(i) * sizeof sh, &sh, sizeof sh))
                return 0;
            if (sh.sh_name >= names.sh_size || sh.sh_type == SHT_NOBITS)
                continue;
            char name[sizeof wanted];
            if (!readAt(fd, names.sh_offset + sh.sh_name, name, sizeof name))
                continue;
            if (std::memcmp(name, wanted, sizeof wanted) == 0 && sh.sh_offset < fileSize
                && sh.sh_size <= fileSize - sh.sh_offset) {
                size = sh.sh_size;
                return sh.sh_offset;
            }
        }
        return 0;
    }
} // namespace

unsigned ReadLeakFlags() noexcept
{
    const int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    unsigned flags = 0;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size > 16) {
        const auto fileSize = static_cast<std::uint64_t>(st.st_size);
        std::uint64_t sectionSize = 0;
        unsigned char head[16];
        if (const std::uint64_t at = findSection(fd, fileSize, sectionSize)) {
            if (sectionSize >= 16 && readAt(fd, at, head, 16)
                && (u32(head) == BlockMarker || u32(head) == OldSignature) && versionUsable(u16(head + 4)))
                flags = head[14];
        } else {
            // The trailer: the block without its signature, its length, then the signature.
            unsigned char tail[8];
            if (readAt(fd, fileSize - 8, tail, 8) && u32(tail + 4) == BlockMarker) {
                const std::uint32_t length = u32(tail);
                if (length >= 12 && length <= fileSize - 8
                    && readAt(fd, fileSize - 8 - length, head, 12) && versionUsable(u16(head)))
                    flags = head[10];
            }
        }
    }
    close(fd);
    return flags;
}

} // namespace crleaks
