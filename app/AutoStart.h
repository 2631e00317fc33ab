// Start at logon: the desktop's autostart entry $XDG_CONFIG_HOME/autostart/Quillmere.desktop
// (default ~/.config/autostart). A desktop session runs its Exec line at logon: the
// program's path, quoted, and the switch "-background", so it starts hidden in the tray.
#pragma once
#include <string>

// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when the variable is unset, empty
// or not an absolute path.
std::string AutostartFolder();
// AutostartFolder() + "/Quillmere.desktop".
std::string AutostartEntryPath();

// The full path of the running executable ("" when the system does not tell).
std::string RunningExecutablePath();

// One argument of an Exec line, quoted as desktop entries require: in double quotes with
// ", `, $ and \ escaped by a backslash, "%" doubled (it starts a field code otherwise),
// and then escaped as a string value of the file (backslash doubled; tab, newline and
// carriage return as \t, \n, \r).
std::string QuoteExecArgument(const std::string& argument);
// The whole entry for an executable at exePath, started with "-background".
std::string BuildAutostartEntry(const std::string& exePath);

// Writes the entry for exePath atomically (temporary file beside it, then rename),
// creating the autostart folder when missing. False on any failure; nothing is left
// behind then.
bool WriteAutostartEntry(const std::string& exePath);
// Removes the entry. False when there was none or it could not be removed.
bool RemoveAutostartEntry();
