// "Setting.ini": its folder, and reading and writing single keys of its one section.
#include "settings/Profile.h"

#include <unistd.h>

#include <mutex>
#include <optional>

#include "settings/Ini.h"

const char* const APP_NAME = "Plumfinch";

namespace {

// Serialises every read-modify-write of the file within the process.
std::mutex g_fileMutex;

std::string ExecutableFolder() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  std::string exe(path, static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

// The key's value, or nullopt when the key is missing or the file cannot be used.
std::optional<std::string> ReadKey(const char* key) {
  if (!key) return std::nullopt;
  std::string text;
  {
    std::lock_guard<std::mutex> lock(g_fileMutex);
    if (ReadIniFile(SettingsPath(), text) != EIniRead::Ok) return std::nullopt;
  }
  return IniGetValue(text, APP_NAME, key);
}

// Stores one key. A file that exists but cannot be read whole (unreadable, not a
// regular file, over the size limit) is left alone and the change is lost: rewriting
// it from what could be read would destroy the rest of its content. Write failures
// are silent, like those of the platform's profile functions.
void WriteKey(const char* key, const std::string& value) {
  if (!key || !key[0]) return;
  std::lock_guard<std::mutex> lock(g_fileMutex);
  const std::string path = SettingsPath();
  std::string text;
  if (ReadIniFile(path, text) == EIniRead::Unusable) return;
  std::string updated = IniSetValue(text, APP_NAME, key, value);
  if (updated != text) WriteFileAtomically(path, updated);
}

}  // namespace

std::string SettingsFolder() { return ChooseSettingsFolder(ExecutableFolder()); }

std::string SettingsPath() { return SettingsFolder() + "/Setting.ini"; }

int ProfileInt(bool write, const char* key, int value, int def) {
  if (write) {
    WriteKey(key, std::to_string(value));
    return value;
  }
  std::optional<std::string> text = ReadKey(key);
  // An empty value reads as missing, as with the platform's profile functions.
  if (!text || text->empty()) return def;
  return IniParseInt(*text);
}

std::string ProfileString(bool write, const char* key, const std::string& value,
                          const std::string& def, int size) {
  if (write) {
    WriteKey(key, value);
    return value;
  }
  std::optional<std::string> text = ReadKey(key);
  std::string result = text ? *text : def;
  // The caller's buffer of size bytes holds at most size - 1 bytes and a terminator.
  size_t room = size > 0 ? static_cast<size_t>(size) - 1 : 0;
  if (result.size() > room) result.resize(room);
  return result;
}
