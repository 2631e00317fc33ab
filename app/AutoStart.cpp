// Start at logon through the desktop's autostart folder: building, writing and removing
// the entry.
#include "app/AutoStart.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/Translation.h"
#include "settings/Ini.h"

namespace {

constexpr const char* kEntryName = "Quillmere.desktop";
constexpr const char* kSwitch = "-background";

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

// Desktop entries are UTF-8 text; a path in another encoding cannot be written into one.
bool IsUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = s[i];
    int more = 0;
    if (c < 0x80)
      more = 0;
    else if (c >= 0xC2 && c <= 0xDF)
      more = 1;
    else if (c >= 0xE0 && c <= 0xEF)
      more = 2;
    else if (c >= 0xF0 && c <= 0xF4)
      more = 3;
    else
      return false;
    if (i + more >= s.size() && more) return false;
    for (int k = 1; k <= more; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += more + 1;
  }
  return true;
}

}  // namespace

std::string AutostartFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string base =
      (config && config[0] == '/') ? std::string(config) : HomeFolder() + "/.config";
  return base + "/autostart";
}

std::string AutostartEntryPath() { return AutostartFolder() + "/" + kEntryName; }

std::string RunningExecutablePath() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  std::string path(buffer, size_t(n));
  // A program file replaced while running (a rebuild, an update) reads as "... (deleted)";
  // the new file at the old path is what a later logon should start.
  static const std::string kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() &&
      path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0 &&
      access(path.c_str(), F_OK) != 0)
    path.resize(path.size() - kDeleted.size());
  return path;
}

std::string QuoteExecArgument(const std::string& argument) {
  // First the quoting of the Exec key, then the escaping of a string value of the file.
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += '"';
  std::string escaped;
  for (char c : quoted) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\t':
        escaped += "\\t";
        break;
      case '\r':
        escaped += "\\r";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string BuildAutostartEntry(const std::string& exePath) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Plumfinch\n"
         "Comment=" +
         Tr("多个微博一键同步发布") +  // in the language of the window that wrote it
         "\n"
         "Exec=" +
         QuoteExecArgument(exePath) + " " + kSwitch +
         "\n"
         "Icon=plumfinch\n"
         "Terminal=false\n"
         // Start after the panel that hosts the tray icon.
         "X-GNOME-Autostart-enabled=true\n"
         "X-GNOME-Autostart-Delay=5\n"
         "X-KDE-autostart-after=panel\n"
         "X-LXQt-Need-Tray=true\n";
}

bool WriteAutostartEntry(const std::string& exePath) {
  if (exePath.empty() || !IsUtf8(exePath)) return false;
  const std::string folder = AutostartFolder();
  if (!MakeFolders(folder)) return false;
  // Readable by the session that starts it, like any desktop entry.
  return WriteFileAtomically(folder + "/" + kEntryName, BuildAutostartEntry(exePath), 0644);
}

bool RemoveAutostartEntry() { return unlink(AutostartEntryPath().c_str()) == 0; }
