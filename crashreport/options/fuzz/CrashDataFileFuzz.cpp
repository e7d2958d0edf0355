// Fuzzes the search for the crash data block in a module file (ELF section
// headers, appended trailer, bare block) through an in-memory file.

#include "CrashDataBlock.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

using namespace crashreport;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const int fd = ::memfd_create("crdata-fuzz", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();
    const TCrashDataLookup lookup = ReadCrashDataFromFile(path);
    if (lookup.found != lookup.error.empty() && lookup.found)
        std::abort();
    return 0;
}
