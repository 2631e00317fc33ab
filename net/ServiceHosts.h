// Where the services live: each service names its hosts (a key and the real host), and
// the optional UTF-8 file "Services.ini" in the settings folder redirects them.
//
//   [Hosts]      one key per host the services name ("host" or "host:port"),
//                IpEchoUrl (URL)
//   [TLS]        CAFile     (PEM file trusted besides the system's certificates)
//   [Consumers]  <name>Key, <name>Secret for a service's consumer pair
//   [<section>]  a service's own choices (e.g. [Twitter] Api=2)
//
// This module knows no service: the keys and the built-in values come from the callers.
#pragma once
#include <string>
#include <vector>

// One configurable host: its key in [Hosts] and the host used when the file names none.
struct SHostDef {
  const char* key;
  const char* builtIn;
};

// One choice of a service in a section of its own: a whole number from lowest to highest,
// builtIn when the file gives none or another value.
struct SChoiceDef {
  const char* section;
  const char* key;
  int lowest;
  int highest;
  int builtIn;
};

struct CServiceConfig {
  std::string text;       // the file's text, where the hosts and consumer pairs are read
  std::string ipEchoUrl;  // full URL of the IP-echo page
  std::string caFile;     // empty: system certificates only

  // The host for a key: the file's value when it is host text, else builtIn.
  std::string Host(const SHostDef& host) const;
  // A value of [Consumers]; "" when the file has none.
  std::string Consumer(const std::string& key) const;
  // The value of a choice: the file's when it is one of the allowed numbers, else builtIn.
  int Choice(const SChoiceDef& choice) const;
};

// Makes the hosts known, so that a value in the file that is not a host is reported
// (once, when the file is read or, for hosts declared later, when they are declared).
void DeclareServiceHosts(const std::vector<const SHostDef*>& hosts);
// The same for the services' choices: a value in the file that is not allowed is reported
// once.
void DeclareServiceChoices(const std::vector<const SChoiceDef*>& choices);

// The configuration in effect (read once, on first use, from the settings folder).
// Returned as a copy: any thread may call it while another reloads.
CServiceConfig ServiceConfig();
// Re-reads Services.ini (tests and the demo change it between runs). A relative CAFile
// is taken relative to the settings folder; the CA file in effect is handed to the
// request library (QWBlogSetOptions, other options kept).
void ReloadServiceConfig();
// Parses a Services.ini text.
CServiceConfig ParseServiceConfig(const std::string& iniText);

// The value of a choice in effect.
int ChoiceOf(const SChoiceDef& choice);
// The host in effect: the file's value, else the built-in one.
std::string HostOf(const SHostDef& host);
// "http://" + host + path  /  "https://" + host + path
std::string HttpUrl(const SHostDef& host, const std::string& path);
std::string HttpsUrl(const SHostDef& host, const std::string& path);
// The port of the IP-echo URL (80 when it names none).
unsigned short IpEchoPort();
