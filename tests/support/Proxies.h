// Real proxies for tests, started as child processes on loopback: dante (SOCKS4 and
// SOCKS5) with its outgoing side on 127.0.0.2, tinyproxy (HTTP) with its outgoing side
// on 127.0.0.3, so a target tells from the peer address which way a request came.
#pragma once
#include <string>

class CProxies {
 public:
  CProxies() = default;
  ~CProxies();  // stops both
  CProxies(const CProxies&) = delete;
  CProxies& operator=(const CProxies&) = delete;

  // Starts both in workDir on free ports; false when either did not come up.
  bool Start(const std::string& workDir);
  void Stop();

  int SocksPort() const { return m_socksPort; }  // dante, SOCKS4 and SOCKS5
  int HttpPort() const { return m_httpPort; }    // tinyproxy
  std::string DanteLog() const;                  // everything dante logged so far
  std::string TinyproxyLog() const;
  static constexpr const char* kSocksEgress = "127.0.0.2";
  static constexpr const char* kHttpEgress = "127.0.0.3";

 private:
  int m_dantePid = -1, m_tinyPid = -1;
  int m_socksPort = 0, m_httpPort = 0;
  std::string m_dir;
};
