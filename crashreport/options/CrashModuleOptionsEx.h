#pragma once
// The run-time options of a module: read from the module's own data block
// when the module is first met, with the defaults where there is none.

#include "CrashDataBlock.h"
#include "CrashModuleOptions.h"

namespace crashreport {

class TCrashModuleOptionsEx : public TCrashModuleOptions {
public:
    explicit TCrashModuleOptionsEx(std::string moduleName = {}) : TCrashModuleOptions(std::move(moduleName)) {}

    // Reads the options of the module file. Without a block the defaults
    // apply and true is returned; a damaged block also leaves the defaults,
    // returns false and errorString() says why.
    bool loadFromModuleFile(const std::string &moduleFile);
    // The same for the module that holds the address (the running program for nullptr).
    bool loadFromModuleOf(const void *address);
    // The same for a block already looked up.
    bool loadFromLookup(const TCrashDataLookup &lookup);

    bool hasCrashData() const { return m_hasCrashData; }
    std::uint16_t dataVersion() const { return m_dataVersion; }
    TCrashDataPlacement placement() const { return m_placement; }
    // The byte that asks a library module's leak catcher for the main program's options.
    std::uint8_t leakUseMainOptions() const { return m_leakUseMainOptions; }

private:
    bool m_hasCrashData = false;
    std::uint16_t m_dataVersion = 0;
    TCrashDataPlacement m_placement = TCrashDataPlacement::None;
    std::uint8_t m_leakUseMainOptions = 0;
};

// The options of the module that holds this library, read once.
const TCrashModuleOptionsEx &OwnCrashModuleOptions();

} // namespace crashreport
