// "Setting.ini": its folder, and reading and writing single keys of its one section.
#include "settings/Profile.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "settings/Ini.h"
#include "settings/Notices.h"

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

// What the settings file holds: its text (UTF-8 when the file is UTF-16) and how to write
// that text back.
struct CSettingsText {
  std::string text;
  EIniEncoding encoding = EIniEncoding::Bytes;
};

// Reads the whole settings file for a lookup or a change. A file that may not be used
// (another user's, a link into a folder others can write, over the size limit,
// unreadable) is reported in the status log once and reads as Unusable. A file that is
// not text (binary, or UTF-16 that does not decode) is renamed aside, so that no save
// adds lines to it and its bytes stay for whoever wants them, and reads as Missing: the
// settings start afresh. When it cannot be renamed it is Unusable instead.
EIniRead ReadSettings(const std::string& path, CSettingsText& settings) {
  settings = {};
  std::string why;
  if (!IsUsableSettingsFile(path, &why)) {
    ReportSettingsNotice("Setting.ini is not used: " + why + ".");
    return EIniRead::Unusable;
  }
  std::string bytes;
  EIniRead result = ReadIniFile(path, bytes, kIniSizeLimit, &why);
  if (result == EIniRead::Unusable) ReportSettingsNotice("Setting.ini is not used: " + why + ".");
  if (result != EIniRead::Ok || IniDecode(bytes, settings.text, settings.encoding)) return result;

  const std::string aside = MoveFileAside(path, ".unreadable-");
  if (aside.empty()) {
    ReportSettingsNotice(
        "Setting.ini is not used: it is not a text file, and it cannot be renamed aside.");
    return EIniRead::Unusable;
  }
  ReportSettingsNotice("Setting.ini is not a text file: it is kept as " + aside +
                       ", and the settings start afresh.");
  return EIniRead::Missing;
}

// The key's value, or nullopt when the key is missing or the file cannot be used.
std::optional<std::string> ReadKey(const char* key) {
  if (!key) return std::nullopt;
  CSettingsText settings;
  {
    std::lock_guard<std::mutex> lock(g_fileMutex);
    if (ReadSettings(SettingsPath(), settings) != EIniRead::Ok) return std::nullopt;
  }
  return IniGetValue(settings.text, APP_NAME, key);
}

// Stores keys with one atomic replace of the file, so a group of keys is saved all or
// nothing, in the encoding the file came in (a new file is UTF-8). A file that exists but
// cannot be read whole (unreadable, not a regular file, over the size limit) is left
// alone and the change is lost: rewriting it from what could be read would destroy the
// rest of its content. A change that would make the file larger than the reader accepts
// is refused too, or the program could never read its own file again. why, when given,
// receives a short reason for a change that was not saved.
bool WriteKeys(const std::vector<std::pair<std::string, std::string>>& pairs,
               SUserText* why = nullptr) {
  auto fail = [why](const SUserText& reason) {
    if (why) *why = reason;
    return false;
  };
  std::lock_guard<std::mutex> lock(g_fileMutex);
  const std::string path = SettingsPath();
  CSettingsText settings;
  if (ReadSettings(path, settings) == EIniRead::Unusable)
    return fail({"设置文件无法使用(%1)", {TextValue(path)}});
  std::string updated = settings.text;
  for (const auto& [key, value] : pairs) {
    if (!key.empty()) updated = IniSetValue(updated, APP_NAME, key, value);
  }
  if (updated == settings.text) return true;
  const std::string bytes = IniEncode(updated, settings.encoding);
  if (bytes.size() > kIniSizeLimit) {
    ReportSettingsNotice(
        "Setting.ini would grow past 1 MB: the change is not saved, the file is kept as it "
        "was.");
    return fail("设置文件将超过1 MB");
  }
  if (WriteFileAtomically(path, bytes)) return true;
  const int error = errno;
  return fail({"无法写入设置文件(%1: %2)", {TextValue(path), TextValue(std::strerror(error))}});
}

void WriteKey(const char* key, const std::string& value) {
  if (!key || !key[0]) return;
  WriteKeys({{key, value}});
}

}  // namespace

std::string SettingsFolder() {
  std::string why;
  std::string folder = ChooseSettingsFolder(ExecutableFolder(), &why);
  if (!why.empty()) ReportSettingsNotice("Settings: " + why + "; " + folder + " is used instead.");
  return folder;
}

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

bool ProfileWriteStrings(const std::vector<std::pair<std::string, std::string>>& pairs,
                         SUserText* why) {
  return WriteKeys(pairs, why);
}
