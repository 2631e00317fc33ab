// Start-up care of the settings folder and of the process's core dumps.
#include "settings/Startup.h"

#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/Ini.h"
#include "settings/Notices.h"
#include "settings/Profile.h"

bool DisableCoreDumps() {
  const char* keep = std::getenv("PLUMFINCH_CORE_DUMPS");
  if (keep && std::strcmp(keep, "1") == 0) return false;
  struct rlimit limit;
  if (getrlimit(RLIMIT_CORE, &limit) != 0) return false;
  limit.rlim_cur = 0;
  return setrlimit(RLIMIT_CORE, &limit) == 0;
}

void PrepareSettingsAtStart() {
  const std::string folder = SettingsFolder();  // reports a folder passed over
  const std::string path = folder + "/Setting.ini";
  RemoveStaleTempFiles(folder, "Setting.ini");

  std::string why;
  if (!IsUsableSettingsFile(path, &why)) {
    ReportSettingsNotice("Setting.ini is not used: " + why + ".");
    return;
  }
  RestrictFileMode(path);

  // A proxy in use with a port no connection can be made to: the requests that should go
  // through it fail (they never go direct instead) until a proxy is set again.
  const int range = ProfileInt(false, "ProxyRange", 0, 0);
  const int port = ProfileInt(false, "ProxyPort", 0, 0);
  if (range != 0 && (port < 1 || port > 65535)) {
    ReportSettingsNotice("Setting.ini: the proxy port " + std::to_string(port) +
                         " is not in 1-65535; requests through the proxy fail until it is set "
                         "again.");
  }
}
