#pragma once
// The per-user dialog settings, "CrashReport.ini" in $XDG_CONFIG_HOME/CrashReport/ (default
// ~/.config/CrashReport/): size, position and state of the detailed dialog, the column widths of
// its lists and the user's e-mail address.

#include <array>
#include <string>

namespace crashreport {

inline constexpr const char *CrashDialogSettingsName = "CrashReport.ini";

struct TCrashDialogSettings {
    int width = 745;
    int height = 468; // without the bottom band
    bool hasPosition = false;
    int left = 0;
    int top = 0;
    int windowsState = 1; // 1 normal, 3 maximised, 6 minimised
    std::array<int, 6> col{89, 92, 126, 126, 200, 61};
    std::array<int, 7> colMod{80, 96, 175, 50, 54, 712, 80};
    std::array<int, 8> colPro{48, 134, 232, 56, 57, 47, 52, 330};
    std::string email;
};

std::string CrashDialogSettingsPath();

// Missing keys and values that are not numbers keep their defaults.
TCrashDialogSettings LoadCrashDialogSettings(const std::string &path);

// Writes the coordinates (position only when known) and keeps every other line of the file.
bool SaveCrashDialogCoordinates(const std::string &path, const TCrashDialogSettings &settings);
// Writes the window size, position and state only ("WindowsState" always; the rest when normal).
bool SaveCrashDialogPlacement(const std::string &path, const TCrashDialogSettings &settings);
bool SaveCrashDialogColumns(const std::string &path, const TCrashDialogSettings &settings, int page);
bool SaveCrashDialogEmail(const std::string &path, const std::string &email);

struct TCrashRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TCrashRect &) const = default;
};

// `wanted` when it lies inside the work area, else the same size centred in it.
TCrashRect PlaceInWorkArea(const TCrashRect &wanted, const TCrashRect &workArea);
TCrashRect CentreInWorkArea(int width, int height, const TCrashRect &workArea);

} // namespace crashreport
