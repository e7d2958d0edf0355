// crdata: writes a module's crash data block from a readable options file.
//
//   crdata [--stream TAG=FILE]... [--build-time SECONDS] OPTIONS_FILE OUTPUT_FILE
//       writes the block (the contents of the ".crdata" section) to OUTPUT_FILE
//   crdata --append MODULE [--stream TAG=FILE]... [--build-time SECONDS] OPTIONS_FILE
//       appends the block to MODULE (an earlier appended block is replaced)
//
// The block carries the build time (stream "TIME"): the given seconds since 1970, else
// $SOURCE_DATE_EPOCH for reproducible builds, else now. The report's "Compilation Date" comes
// from it, so that copying the program does not change it.

#include "CrashDataBlock.h"
#include "CrashOptionsText.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace crashreport;

namespace {

int Usage()
{
    std::cerr << "usage: crdata [--stream TAG=FILE]... [--build-time SECONDS] OPTIONS_FILE OUTPUT_FILE\n"
                 "       crdata --append MODULE [--stream TAG=FILE]... [--build-time SECONDS] OPTIONS_FILE\n";
    return 2;
}

// Seconds since 1970 written in decimal; false for anything else.
bool ParseSeconds(const char *text, std::int64_t &out)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    out = value;
    return true;
}

bool ReadFile(const std::string &path, std::string &out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    out = buffer.str();
    return !in.bad();
}

bool WriteFile(const std::string &path, const std::vector<std::uint8_t> &data)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

// Appends the trailer to the module, after cutting off an earlier one.
bool AppendToModule(const std::string &module, const std::vector<std::uint8_t> &trailer, std::string &error)
{
    std::string bytes;
    if (!ReadFile(module, bytes)) {
        error = "cannot read " + module;
        return false;
    }
    const TCrashDataLookup existing = ReadCrashDataFromFile(module);
    if (existing.found && existing.placement == TCrashDataPlacement::Appended) {
        const auto size = bytes.size();
        const std::uint32_t length = std::uint32_t(std::uint8_t(bytes[size - 8]))
            | std::uint32_t(std::uint8_t(bytes[size - 7])) << 8 | std::uint32_t(std::uint8_t(bytes[size - 6])) << 16
            | std::uint32_t(std::uint8_t(bytes[size - 5])) << 24;
        bytes.resize(size - 8 - length);
    }
    struct stat st {};
    const bool haveMode = ::stat(module.c_str(), &st) == 0;
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    data.insert(data.end(), trailer.begin(), trailer.end());
    if (!WriteFile(module, data)) {
        error = "cannot write " + module;
        return false;
    }
    if (haveMode)
        ::chmod(module.c_str(), st.st_mode & 07777);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> positional;
    std::vector<TCrashDataStream> streams;
    std::string appendTo;
    std::int64_t buildTime = 0;
    bool haveBuildTime = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--stream" || arg == "--append" || arg == "--build-time") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--append") {
                appendTo = value;
                continue;
            }
            if (arg == "--build-time") {
                if (!ParseSeconds(value.c_str(), buildTime)) {
                    std::cerr << "crdata: the build time is not a number of seconds: " << value << "\n";
                    return 2;
                }
                haveBuildTime = true;
                continue;
            }
            const std::size_t equals = value.find('=');
            if (equals != 4) {
                std::cerr << "crdata: a stream tag has exactly four characters: " << value << "\n";
                return 2;
            }
            char tag[5] = {};
            std::memcpy(tag, value.data(), 4);
            std::string data;
            if (!ReadFile(value.substr(5), data)) {
                std::cerr << "crdata: cannot read " << value.substr(5) << "\n";
                return 1;
            }
            streams.push_back({ CrashDataTag(tag), std::vector<std::uint8_t>(data.begin(), data.end()) });
        } else if (arg.rfind("--", 0) == 0) {
            return Usage();
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != (appendTo.empty() ? 2u : 1u))
        return Usage();

    std::string text;
    if (!ReadFile(positional[0], text)) {
        std::cerr << "crdata: cannot read " << positional[0] << "\n";
        return 1;
    }
    TCrashOptionsFile file;
    std::string error;
    if (!ParseCrashOptionsText(text, file, error)) {
        std::cerr << positional[0] << ": " << error << "\n";
        return 1;
    }
    TCrashDataBlock block;
    block.version = CrashLibraryVersion;
    block.leakFlags = file.options.leakFlags();
    block.leakUseMainOptions = file.leakUseMainOptions;
    block.options = file.options.writeToStream();
    block.streams = std::move(streams);
    if (!file.options.caFile().empty() && !block.findStream(CrashDataCAFileTag))
        block.streams.push_back(CrashDataCAFileStream(file.options.caFile()));
    if (!block.findStream(CrashDataBuildTimeTag)) {
        if (!haveBuildTime && !ParseSeconds(std::getenv("SOURCE_DATE_EPOCH"), buildTime))
            buildTime = std::int64_t(std::time(nullptr));
        block.streams.push_back(CrashDataBuildTimeStream(buildTime));
    }

    if (!appendTo.empty()) {
        if (!AppendToModule(appendTo, BuildCrashDataTrailer(block), error)) {
            std::cerr << "crdata: " << error << "\n";
            return 1;
        }
        return 0;
    }
    if (!WriteFile(positional[1], BuildCrashDataBlock(block))) {
        std::cerr << "crdata: cannot write " << positional[1] << "\n";
        return 1;
    }
    return 0;
}
