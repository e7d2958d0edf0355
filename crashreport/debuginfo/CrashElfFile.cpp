#include "CrashElfFile.h"

#include <elf.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace crashreport
{

namespace
{

    bool fileExists(const std::string &p)
    {
        struct stat st {
        };
        return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

} // namespace

TCrashElfInfo CrashReadElfFile(const std::string &path, bool readFunctions)
{
    TCrashElfInfo info;
    if (elf_version(EV_CURRENT) == EV_NONE)
        return info;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return info;
    Elf *elf = elf_begin(fd, ELF_C_READ_MMAP, nullptr);
    if (!elf || elf_kind(elf) != ELF_K_ELF) {
        if (elf)
            elf_end(elf);
        ::close(fd);
        return info;
    }
    size_t phnum = 0;
    if (elf_getphdrnum(elf, &phnum) == 0) {
        for (size_t i = 0; i < phnum; ++i) {
            GElf_Phdr ph;
            if (gelf_getphdr(elf, static_cast<int>(i), &ph) && ph.p_type == PT_LOAD && (ph.p_flags & PF_X)) {
                info.codeOffset = ph.p_vaddr;
                break;
            }
        }
    }
    size_t shstrndx = 0;
    elf_getshdrstrndx(elf, &shstrndx);
    for (Elf_Scn *scn = elf_nextscn(elf, nullptr); scn; scn = elf_nextscn(elf, scn)) {
        GElf_Shdr sh;
        if (!gelf_getshdr(scn, &sh))
            continue;
        const char *name = elf_strptr(elf, shstrndx, sh.sh_name);
        if (name && (std::strcmp(name, ".debug_info") == 0 || std::strcmp(name, ".debug_line") == 0)
            && sh.sh_type != SHT_NOBITS)
            info.hasDwarf = true;
        if (sh.sh_type == SHT_NOTE && name && std::strcmp(name, ".note.gnu.build-id") == 0) {
            Elf_Data *data = elf_getdata(scn, nullptr);
            GElf_Nhdr nh;
            size_t nameOff = 0, descOff = 0;
            if (data && gelf_getnote(data, 0, &nh, &nameOff, &descOff) > 0 && nh.n_type == NT_GNU_BUILD_ID
                && descOff + nh.n_descsz <= data->d_size) {
                static const char hex[] = "0123456789abcdef";
                const auto *d = static_cast<const unsigned char *>(data->d_buf) + descOff;
                for (size_t k = 0; k < nh.n_descsz; ++k) {
                    info.buildId += hex[d[k] >> 4];
                    info.buildId += hex[d[k] & 15];
                }
            }
        }
        if (name && std::strcmp(name, ".gnu_debuglink") == 0) {
            Elf_Data *data = elf_getdata(scn, nullptr);
            if (data && data->d_buf && data->d_size > 0) {
                const char *s = static_cast<const char *>(data->d_buf);
                info.debugLink.assign(s, strnlen(s, data->d_size));
            }
        }
        if (readFunctions && (sh.sh_type == SHT_SYMTAB || sh.sh_type == SHT_DYNSYM) && sh.sh_entsize > 0) {
            Elf_Data *data = elf_getdata(scn, nullptr);
            if (!data)
                continue;
            const size_t count = sh.sh_size / sh.sh_entsize;
            for (size_t k = 0; k < count; ++k) {
                GElf_Sym sym;
                if (!gelf_getsym(data, static_cast<int>(k), &sym))
                    break;
                const int type = GELF_ST_TYPE(sym.st_info);
                if ((type != STT_FUNC && type != STT_GNU_IFUNC) || sym.st_shndx == SHN_UNDEF
                    || sym.st_value == 0)
                    continue;
                const char *symName = elf_strptr(elf, sh.sh_link, sym.st_name);
                if (!symName || !*symName)
                    continue;
                info.functions.add(sym.st_value, sym.st_size, symName);
            }
        }
    }
    info.functions.sort();
    info.ok = true;
    elf_end(elf);
    ::close(fd);
    return info;
}

std::string CrashFindSeparateDebugFile(const std::string &path, const TCrashElfInfo &info)
{
    if (info.buildId.size() > 2) {
        const std::string p = "/usr/lib/debug/.build-id/" + info.buildId.substr(0, 2) + "/"
            + info.buildId.substr(2) + ".debug";
        if (fileExists(p))
            return p;
    }
    if (!info.debugLink.empty()) {
        const std::size_t slash = path.find_last_of('/');
        const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
        for (const std::string &p : { dir + "/" + info.debugLink, dir + "/.debug/" + info.debugLink,
                 "/usr/lib/debug" + dir + "/" + info.debugLink }) {
            if (p != path && fileExists(p))
                return p;
        }
    }
    return {};
}

} // namespace crashreport
