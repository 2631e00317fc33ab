// Where the services live: compiled-in hosts of the real services, redirected by the
// optional UTF-8 file "Services.ini" in the settings folder.
//
//   [Hosts]      TencentOpen, TencentOpenSecure, TencentWeb, SinaApi, SinaWeb, SohuApi,
//                SohuWeb, TwitterApi, TwitterWeb, Mastodon  ("host" or "host:port"),
//                IpEchoUrl (URL)
//   [TLS]        CAFile     (PEM file trusted besides the system's certificates)
//   [Consumers]  TencentKey, TencentSecret, SinaKey, SinaSecret, SohuKey, SohuSecret,
//                TwitterKey, TwitterSecret
#pragma once
#include <string>

enum class EHost {
  TencentOpen,
  TencentOpenSecure,
  TencentWeb,
  SinaApi,
  SinaWeb,
  SohuApi,
  SohuWeb,
  TwitterApi,
  TwitterWeb,
  Mastodon  // the server the Mastodon binding suggests; the account names its own
};

struct CServiceConfig {
  std::string hosts[10];       // indexed by EHost; "host" or "host:port"
  std::string ipEchoUrl;       // full URL of the IP-echo page
  std::string caFile;          // empty: system certificates only
  std::string consumerKey[4];  // indexed by EService (the first four); empty: built-in value
  std::string consumerSecret[4];
};

// The configuration in effect (read once, on first use, from the settings folder).
// Returned as a copy: any thread may call it while another reloads.
CServiceConfig ServiceConfig();
// Re-reads Services.ini (tests and the demo change it between runs). A relative CAFile
// is taken relative to the settings folder; the CA file in effect is handed to the
// request library (QWBlogSetOptions, other options kept).
void ReloadServiceConfig();
// Parses a Services.ini text on top of the compiled-in defaults.
CServiceConfig ParseServiceConfig(const std::string& iniText);

// "http://" + host + path  /  "https://" + host + path
std::string HttpUrl(EHost host, const std::string& path);
std::string HttpsUrl(EHost host, const std::string& path);
// The port of the IP-echo URL (80 when it names none).
unsigned short IpEchoPort();
