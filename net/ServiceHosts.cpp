// Hosts of the services and of the IP-echo page: compiled-in defaults, redirected by
// "Services.ini" in the settings folder; also the CA file and consumer overrides.
#include "net/ServiceHosts.h"

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "net/Credentials.h"
#include "net/TextOps.h"
#include "qwblog/QWBlogAPI.h"
#include "settings/Ini.h"
#include "settings/Notices.h"
#include "settings/Profile.h"

namespace {

constexpr int kHostCount = 10;

// Key names in [Hosts], indexed by EHost, with the services' own hosts.
const char* const kHostKeys[kHostCount] = {
    "TencentOpen", "TencentOpenSecure", "TencentWeb", "SinaApi",    "SinaWeb",
    "SohuApi",     "SohuWeb",           "TwitterApi", "TwitterWeb", "Mastodon"};
const char* const kDefaultHosts[kHostCount] = {
    "open.t.qq.com",  "open.t.qq.com", "t.qq.com",        "api.t.sina.com.cn", "t.sina.com.cn",
    "api.t.sohu.com", "t.sohu.com",    "api.twitter.com", "twitter.com",       "mastodon.social"};
const char* const kDefaultIpEchoUrl = "http://www.plumfinch.net/getip.asp";

// Key prefixes in [Consumers], indexed by EService.
const char* const kConsumerNames[kConsumerCount] = {"Tencent", "Sina", "Sohu", "Twitter"};

std::mutex g_mutex;
std::shared_ptr<const CServiceConfig> g_config;  // guarded by g_mutex
std::string g_appliedCaFile;                     // guarded by g_mutex

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
  for (int i = 0; i < kHostCount; ++i) {
    std::optional<std::string> host = IniGetValue(text, "Hosts", kHostKeys[i]);
    if (host && !IsHostText(*host)) {
      ReportSettingsNotice(std::string("Services.ini: ") + kHostKeys[i] +
                           " is not a host or host:port; " + kDefaultHosts[i] + " is used.");
    }
  }
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
  for (int i = 0; i < kHostCount; ++i) {
    std::optional<std::string> host = IniGetValue(iniText, "Hosts", kHostKeys[i]);
    config.hosts[i] = (host && IsHostText(*host)) ? *host : kDefaultHosts[i];
  }
  std::optional<std::string> echo = IniGetValue(iniText, "Hosts", "IpEchoUrl");
  config.ipEchoUrl =
      (echo && StartsWithNoCase(*echo, "http://") && echo->size() > 7) ? *echo : kDefaultIpEchoUrl;
  config.caFile = IniGetValue(iniText, "TLS", "CAFile").value_or("");
  for (int i = 0; i < kConsumerCount; ++i) {
    std::string name = kConsumerNames[i];
    config.consumerKey[i] = IniGetValue(iniText, "Consumers", name + "Key").value_or("");
    config.consumerSecret[i] = IniGetValue(iniText, "Consumers", name + "Secret").value_or("");
  }
  return config;
}

CServiceConfig ServiceConfig() { return *CurrentConfig(); }

void ReloadServiceConfig() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_config = LoadServiceConfig();
}

std::string HttpUrl(EHost host, const std::string& path) {
  int i = static_cast<int>(host);
  if (i < 0 || i >= kHostCount) return {};
  return "http://" + CurrentConfig()->hosts[i] + path;
}

std::string HttpsUrl(EHost host, const std::string& path) {
  int i = static_cast<int>(host);
  if (i < 0 || i >= kHostCount) return {};
  return "https://" + CurrentConfig()->hosts[i] + path;
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
