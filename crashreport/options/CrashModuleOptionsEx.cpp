#include "CrashModuleOptionsEx.h"

namespace crashreport {

bool TCrashModuleOptionsEx::loadFromLookup(const TCrashDataLookup &lookup)
{
    m_hasCrashData = false;
    m_dataVersion = 0;
    m_placement = lookup.placement;
    m_leakUseMainOptions = 0;
    if (!lookup.found) {
        setDefaults();
        setErrorString(lookup.error);
        return lookup.error.empty();
    }
    if (!readFromStream(lookup.block.options, lookup.block.version))
        return false;
    setCAFile(CrashDataCAFile(lookup.block));
    m_hasCrashData = true;
    m_dataVersion = lookup.block.version;
    m_leakUseMainOptions = lookup.block.leakUseMainOptions;
    return true;
}

bool TCrashModuleOptionsEx::loadFromModuleFile(const std::string &moduleFile)
{
    return loadFromLookup(ReadCrashDataFromFile(moduleFile));
}

bool TCrashModuleOptionsEx::loadFromModuleOf(const void *address)
{
    const std::string file = CrashModuleFileOf(address);
    if (file.empty()) {
        TCrashDataLookup none;
        none.error = "the file of the module is unknown";
        return loadFromLookup(none);
    }
    return loadFromModuleFile(file);
}

const TCrashModuleOptionsEx &OwnCrashModuleOptions()
{
    static const TCrashModuleOptionsEx own = [] {
        TCrashModuleOptionsEx options(CrashModuleFileOf(reinterpret_cast<const void *>(&OwnCrashModuleOptions)));
        options.loadFromLookup(OwnCrashData());
        return options;
    }();
    return own;
}

} // namespace crashreport
