// The settings file "Setting.ini": where it lives, and reading and writing its keys.
// One section ("Plumfinch"), key=value lines, written in place or appended. A file in
// UTF-16 with a byte-order mark is written back in UTF-16 of the same byte order; a file
// that is not text is renamed "Setting.ini.unreadable-<time>" and the settings start
// afresh, with a line in the status log.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "net/UserText.h"

// The application name: section of the settings file and the tray tooltip.
extern const char* const APP_NAME;  // "Plumfinch"

// Folder of "Setting.ini": $PLUMFINCH_CONFIG_DIR when set; else the executable's folder
// when writable; else $XDG_CONFIG_HOME/Plumfinch (default ~/.config/Plumfinch). The first
// two only when this user's and not writable by others (ChooseSettingsFolder); a folder
// passed over is reported in the status log once.
std::string SettingsFolder();
// SettingsFolder() + "/Setting.ini", computed anew on every call.
std::string SettingsPath();

// Read: the key's value as a signed 32-bit number, or def when missing.
// Write: stores value as "%d"; the result is value.
int ProfileInt(bool write, const char* key, int value, int def);
// Read: the key's text cut to size-1 bytes, or def when missing.
// Write: stores value; the result is value.
std::string ProfileString(bool write, const char* key, const std::string& value,
                          const std::string& def, int size = 256);
// Stores several keys with one atomic replace of the file: after a crash the file holds
// either all of them or none. False when nothing could be saved; why, when given, then
// receives a short reason (a full disk, a read-only folder, an unusable file).
bool ProfileWriteStrings(const std::vector<std::pair<std::string, std::string>>& pairs,
                         SUserText* why = nullptr);
