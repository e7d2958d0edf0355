#include "CrashDialogSettings.h"

#include "CrashIniFile.h"

#include <cstdlib>

namespace crashreport {

namespace {

constexpr const char *Coordinates = "Coordinates";

int readInt(const TCrashIniFile &ini, const char *section, const std::string &key, int fallback, bool *found = nullptr)
{
    const std::string text = ini.value(section, key);
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    const bool ok = !text.empty() && end && *end == '\0' && v >= -1000000 && v <= 1000000;
    if (found)
        *found = ok;
    return ok ? static_cast<int>(v) : fallback;
}

template <std::size_t N> void readColumns(const TCrashIniFile &ini, const char *prefix, std::array<int, N> &cols)
{
    for (std::size_t i = 0; i < N; ++i) {
        const int v = readInt(ini, Coordinates, prefix + std::to_string(i), cols[i]);
        if (v > 0)
            cols[i] = v;
    }
}

template <std::size_t N> void writeColumns(TCrashIniFile &ini, const char *prefix, const std::array<int, N> &cols)
{
    for (std::size_t i = 0; i < N; ++i)
        ini.setValue(Coordinates, prefix + std::to_string(i), std::to_string(cols[i]));
}

void writePlacement(TCrashIniFile &ini, const TCrashDialogSettings &s)
{
    if (s.windowsState == 1) {
        ini.setValue(Coordinates, "Width", std::to_string(s.width));
        ini.setValue(Coordinates, "Height", std::to_string(s.height));
        if (s.hasPosition) {
            ini.setValue(Coordinates, "Left", std::to_string(s.left));
            ini.setValue(Coordinates, "Top", std::to_string(s.top));
        }
    }
    ini.setValue(Coordinates, "WindowsState", std::to_string(s.windowsState));
}

} // namespace

std::string CrashDialogSettingsPath()
{
    std::string base;
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char *home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    return base + "/CrashReport/" + CrashDialogSettingsName;
}

TCrashDialogSettings LoadCrashDialogSettings(const std::string &path)
{
    TCrashIniFile ini;
    ini.load(path);
    TCrashDialogSettings s;
    s.width = readInt(ini, Coordinates, "Width", s.width);
    s.height = readInt(ini, Coordinates, "Height", s.height);
    bool hasLeft = false, hasTop = false;
    s.left = readInt(ini, Coordinates, "Left", 0, &hasLeft);
    s.top = readInt(ini, Coordinates, "Top", 0, &hasTop);
    s.hasPosition = hasLeft && hasTop;
    s.windowsState = readInt(ini, Coordinates, "WindowsState", 1);
    if (s.windowsState != 1 && s.windowsState != 3 && s.windowsState != 6)
        s.windowsState = 1;
    readColumns(ini, "Col", s.col);
    readColumns(ini, "ColMod", s.colMod);
    readColumns(ini, "ColPro", s.colPro);
    s.email = ini.value("User", "Email");
    return s;
}

bool SaveCrashDialogCoordinates(const std::string &path, const TCrashDialogSettings &s)
{
    TCrashIniFile ini;
    ini.load(path);
    writePlacement(ini, s);
    writeColumns(ini, "Col", s.col);
    writeColumns(ini, "ColMod", s.colMod);
    writeColumns(ini, "ColPro", s.colPro);
    return ini.save(path);
}

bool SaveCrashDialogPlacement(const std::string &path, const TCrashDialogSettings &s)
{
    TCrashIniFile ini;
    ini.load(path);
    writePlacement(ini, s);
    return ini.save(path);
}

bool SaveCrashDialogColumns(const std::string &path, const TCrashDialogSettings &s, int page)
{
    TCrashIniFile ini;
    ini.load(path);
    if (page == 1)
        writeColumns(ini, "Col", s.col);
    else if (page == 2)
        writeColumns(ini, "ColMod", s.colMod);
    else if (page == 3)
        writeColumns(ini, "ColPro", s.colPro);
    return ini.save(path);
}

bool SaveCrashDialogEmail(const std::string &path, const std::string &email)
{
    TCrashIniFile ini;
    ini.load(path);
    ini.setValue("User", "Email", email);
    return ini.save(path);
}

TCrashRect CentreInWorkArea(int width, int height, const TCrashRect &area)
{
    return {area.left + (area.width - width) / 2, area.top + (area.height - height) / 2, width, height};
}

TCrashRect PlaceInWorkArea(const TCrashRect &wanted, const TCrashRect &area)
{
    const bool inside = wanted.left >= area.left && wanted.top >= area.top &&
                        wanted.left + wanted.width <= area.left + area.width &&
                        wanted.top + wanted.height <= area.top + area.height;
    return inside ? wanted : CentreInWorkArea(wanted.width, wanted.height, area);
}

} // namespace crashreport
