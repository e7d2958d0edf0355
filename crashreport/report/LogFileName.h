#pragma once
// Where the log file lies.
//
// The name is the module's file name with the extension ".crashlog" (a ".vshost" part dropped).
// OutputFolder, with %VAR% environment variables expanded, gives the folder, or the whole file
// name when it ends in ".crashlog". Without it the log goes to the per-user state folder
// ($XDG_STATE_HOME, else ~/.local/state) in "CrashReport". With the computer-name bit, "_" and the
// computer name come before the extension. A name that cannot be written falls back to
// "CrashReport/<program>/" in the state folder; when that fails too, the first name stays.

#include <functional>
#include <optional>
#include <string>

namespace crashreport {

using EnvironmentLookup = std::function<std::optional<std::string>(const std::string &)>;

// The process environment.
std::optional<std::string> processEnvironment(const std::string &name);

// Replaces %NAME% by the variable's value; unknown names stay as they are.
std::string expandEnvironmentVariables(const std::string &text, const EnvironmentLookup &env = processEnvironment);

struct LogFileNameRules {
    std::string modulePath;   // the module's file (full path or file name)
    std::string outputFolder; // the OutputFolder option
    bool computerNameSuffix = false;
    std::string computerName;
};

// The per-user state folder: $XDG_STATE_HOME, else $HOME/.local/state, else the account's home.
std::string userStateFolder(const EnvironmentLookup &env = processEnvironment);

// The name by the rules, without looking at the disk.
std::string logFileName(const LogFileNameRules &rules, const EnvironmentLookup &env = processEnvironment);

// The fall-back name: <state>/CrashReport/<program without extension>/<log file name>.
std::string fallbackLogFileName(const LogFileNameRules &rules, const EnvironmentLookup &env = processEnvironment);

// The name to use: the rules' name when its folder can be created and the file opened for
// writing, else the fall-back name when that works, else the rules' name.
std::string chooseLogFileName(const LogFileNameRules &rules, const EnvironmentLookup &env = processEnvironment);

// Creates the folder of a file and checks that the file can be opened for writing (a file that
// did not exist is not left behind).
bool canWriteFile(const std::string &fileName);

} // namespace crashreport
