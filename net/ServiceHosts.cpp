// Hosts of the services and of the IP-echo page: the callers' built-in values,
// redirected by "Services.ini" in the settings folder; also the CA file and the
// consumer overrides.
#include "net/ServiceHosts.h"

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>

#include "net/TextOps.h"
#include "qwblog/QWBlogAPI.h"
#include "settings/Ini.h"
#include "settings/Notices.h"
#include "settings/Profile.h"

namespace {

const char* const kDefaultIpEchoUrl = "http://www.plumfinch.net/getip.asp";

std::mutex g_mutex;
std::shared_ptr<const CServiceConfig> g_config;  // guarded by g_mutex
std::string g_appliedCaFile;                     // guarded by g_mutex
std::vector<const SHostDef*> g_hosts;            // guarded by g_mutex
std::vector<const SChoiceDef*> g_choices;        // guarded by g_mutex

// A notice for each of these hosts whose value in the file is not a host.
void ReportBadHosts(const std::string& text, const std::vector<const SHostDef*>& hosts) {
  for (const SHostDef* def : hosts) {
    std::optional<std::string> host = IniGetValue(text, "Hosts", def->key);
    if (host && !IsHostText(*host))
      ReportSettingsNotice(std::string("Services.ini: ") + def->key +
                           " is not a host or host:port; " + def->builtIn + " is used.");
  }
}

// A value from the file as part of one log line: control bytes blanked, at most 40 bytes.
std::string LogSafeLine(const std::string& value) {
  std::string line = value.substr(0, 40);
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return line;
}

// The file's value of a choice, when it gives one: its text and whether it is allowed.
std::optional<std::string> ChoiceText(const std::string& text, const SChoiceDef& def, int* value) {
  std::optional<std::string> given = IniGetValue(text, def.section, def.key);
  if (!given) return given;
  const std::string& digits = *given;
  if (!digits.empty() && digits.size() <= 4 &&
      digits.find_first_not_of("0123456789") == std::string::npos) {
    const int number = std::stoi(digits);
    if (number >= def.lowest && number <= def.highest) *value = number;
  }
  return given;
}

// A notice for each of these choices whose value in the file is not allowed.
void ReportBadChoices(const std::string& text, const std::vector<const SChoiceDef*>& choices) {
  for (const SChoiceDef* def : choices) {
    int value = -1;
    const std::optional<std::string> given = ChoiceText(text, *def, &value);
    if (given && value < 0)
      ReportSettingsNotice(std::string("Services.ini: [") + def->section + "] " + def->key + "=" +
                           LogSafeLine(*given) + " is not allowed (" + std::to_string(def->lowest) +
                           " to " + std::to_string(def->highest) + "); " +
                           std::to_string(def->builtIn) + " is used.");
  }
}

// True when path holds at least one PEM certificate.
bool HoldsPemCertificate(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r");
  if (!file) return false;
  X509* cert = PEM_read_X509(file, nullptr, nullptr, nullptr);
  std::fclose(file);
  X509_free(cert);
  return cert != nullptr;
}

std::shared_ptr<const CServiceConfig> LoadServiceConfig() {
  const std::string folder = SettingsFolder();
  const std::string path = folder + "/Services.ini";
  std::string text;
  // A missing or unusable file leaves every default in place. The file decides where
  // tokens are sent, so one that someone else could have written is not read.
  std::string why;
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && !IsTrustedFile(path, &why)) {
    ReportSettingsNotice("Services.ini is not used: " + why + ".");
  } else if (ReadIniFile(path, text, kIniSizeLimit, &why) == EIniRead::Unusable) {
    ReportSettingsNotice("Services.ini is not used: " + why + ".");
  }
  auto config = std::make_shared<CServiceConfig>(ParseServiceConfig(text));
  ReportBadHosts(text, g_hosts);
  ReportBadChoices(text, g_choices);
  if (!config->caFile.empty() && config->caFile[0] != '/') {
    config->caFile = folder + "/" + config->caFile;
  }
  // A CA file TLS cannot load would make every https request fail; the system's
  // certificates alone still verify every server.
  if (!config->caFile.empty() && !IsTrustedFile(config->caFile, &why)) {
    ReportSettingsNotice("Services.ini: the CA file " + config->caFile + " is not used: " + why +
                         "; only the system's certificates are trusted.");
    config->caFile.clear();
  } else if (!config->caFile.empty() && !HoldsPemCertificate(config->caFile)) {
    ReportSettingsNotice("Services.ini: the CA file " + config->caFile +
                         " holds no PEM certificate; only the system's certificates are "
                         "trusted.");
    config->caFile.clear();
  }
  // Only a CA file this module set is ever taken back out of the library's options.
  if (config->caFile != g_appliedCaFile) {
    QWBlogOptions options = QWBlogGetOptions();
    options.caFile = config->caFile;
    QWBlogSetOptions(options);
    g_appliedCaFile = config->caFile;
  }
  return config;
}

std::shared_ptr<const CServiceConfig> CurrentConfig() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_config) g_config = LoadServiceConfig();
  return g_config;
}

}  // namespace

CServiceConfig ParseServiceConfig(const std::string& iniText) {
  CServiceConfig config;
  config.text = iniText;
  std::optional<std::string> echo = IniGetValue(iniText, "Hosts", "IpEchoUrl");
  config.ipEchoUrl =
      (echo && StartsWithNoCase(*echo, "http://") && echo->size() > 7) ? *echo : kDefaultIpEchoUrl;
  config.caFile = IniGetValue(iniText, "TLS", "CAFile").value_or("");
  return config;
}

std::string CServiceConfig::Host(const SHostDef& host) const {
  std::optional<std::string> value = IniGetValue(text, "Hosts", host.key);
  return (value && IsHostText(*value)) ? *value : host.builtIn;
}

std::string CServiceConfig::Consumer(const std::string& key) const {
  return IniGetValue(text, "Consumers", key).value_or("");
}

int CServiceConfig::Choice(const SChoiceDef& choice) const {
  int value = -1;
  ChoiceText(text, choice, &value);
  return value < 0 ? choice.builtIn : value;
}

void DeclareServiceChoices(const std::vector<const SChoiceDef*>& choices) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<const SChoiceDef*> fresh;
  for (const SChoiceDef* def : choices)
    if (std::find(g_choices.begin(), g_choices.end(), def) == g_choices.end()) fresh.push_back(def);
  g_choices.insert(g_choices.end(), fresh.begin(), fresh.end());
  if (g_config) ReportBadChoices(g_config->text, fresh);
}

int ChoiceOf(const SChoiceDef& choice) { return CurrentConfig()->Choice(choice); }

void DeclareServiceHosts(const std::vector<const SHostDef*>& hosts) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<const SHostDef*> fresh;
  for (const SHostDef* def : hosts)
    if (std::find(g_hosts.begin(), g_hosts.end(), def) == g_hosts.end()) fresh.push_back(def);
  g_hosts.insert(g_hosts.end(), fresh.begin(), fresh.end());
  if (g_config) ReportBadHosts(g_config->text, fresh);
}

CServiceConfig ServiceConfig() { return *CurrentConfig(); }

void ReloadServiceConfig() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_config = LoadServiceConfig();
}

std::string HostOf(const SHostDef& host) { return CurrentConfig()->Host(host); }

std::string HttpUrl(const SHostDef& host, const std::string& path) {
  return "http://" + HostOf(host) + path;
}

std::string HttpsUrl(const SHostDef& host, const std::string& path) {
  return "https://" + HostOf(host) + path;
}

unsigned short IpEchoPort() {
  std::string url = CurrentConfig()->ipEchoUrl;
  if (StartsWithNoCase(url, "http://")) url.erase(0, 7);
  std::string host = url.substr(0, url.find('/'));
  // The port follows the last ":" after any bracketed IPv6 address.
  size_t bracket = host.rfind(']');
  size_t colon = host.rfind(':');
  if (colon == std::string::npos || (bracket != std::string::npos && colon < bracket)) return 80;
  std::string digits = host.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return 80;
  }
  int port = std::stoi(digits);
  return (port >= 1 && port <= 65535) ? static_cast<unsigned short>(port) : 80;
}
