// Real proxies for tests: dante and tinyproxy started as child processes on free
// loopback ports with configurations written to the work folder, stopped by PID.
#include "tests/support/Proxies.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A port on 127.0.0.1 that nothing listens on right now.
int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  ::close(fd);
  return port;
}

bool PortAccepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

std::string FindProgram(const std::vector<std::string>& candidates) {
  for (const auto& c : candidates) {
    if (::access(c.c_str(), X_OK) == 0) return c;
  }
  return {};
}

// Starts program with args in a process group of its own, stdin from /dev/null and
// stdout/stderr appended to outputLog. Returns the PID or -1.
int Spawn(const std::string& program, const std::vector<std::string>& args,
          const std::string& outputLog) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outputLog.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // The test's own descriptors (emulator pipes, sockets) stay out of the proxy.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_setpgroup(&attr, 0);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return rc == 0 ? pid : -1;
}

bool Exited(int pid) {
  int status;
  return ::waitpid(pid, &status, WNOHANG) == pid;
}

// Waits until the port accepts connections; false when the process ended or 10 s passed.
bool WaitForPort(int pid, int port) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (PortAccepts(port)) return true;
    if (Exited(pid)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// SIGTERM to the process, then to its group (dante's helper processes), SIGKILL
// when it has not ended within 3 s; always reaped.
void StopProcess(int& pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  bool ended = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (std::chrono::steady_clock::now() < deadline) {
    int status;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) {
      ended = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!ended) {
    ::kill(-pid, SIGKILL);
    int status;
    ::waitpid(pid, &status, 0);
  } else {
    ::kill(-pid, SIGTERM);
  }
  pid = -1;
}

}  // namespace

CProxies::~CProxies() { Stop(); }

bool CProxies::Start(const std::string& workDir) {
  Stop();
  m_dir = workDir;
  std::error_code ec;
  fs::create_directories(m_dir, ec);
  const std::string dante = FindProgram({"/usr/sbin/danted", "/usr/bin/danted"});
  const std::string tiny = FindProgram({"/usr/bin/tinyproxy", "/usr/sbin/tinyproxy"});
  if (dante.empty() || tiny.empty()) return false;

  // A port picked free may be taken by someone else before the proxy binds it: try
  // a few times.
  for (int attempt = 0; attempt < 5 && m_dantePid <= 0; ++attempt) {
    int port = FreePort();
    if (port == 0) continue;
    std::ofstream conf(m_dir + "/danted.conf", std::ios::trunc);
    conf << "logoutput: " << m_dir << "/danted.log\n"
         << "internal: 127.0.0.1 port = " << port << "\n"
         << "external: " << kSocksEgress << "\n"
         << "clientmethod: none\n"
         << "socksmethod: none\n";
    // Switching users needs root; run as someone else, dante simply stays that user.
    if (geteuid() == 0) conf << "user.privileged: root\nuser.unprivileged: nobody\n";
    conf << "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0\n    log: error }\n"
         << "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0\n    command: connect\n"
         << "    proxyprotocol: socks_v4\n    log: error connect }\n"
         << "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0\n    command: connect\n"
         << "    proxyprotocol: socks_v5\n    log: error connect }\n";
    conf.close();
    int pid = Spawn(dante, {"-f", m_dir + "/danted.conf", "-p", m_dir + "/danted.pid"},
                    m_dir + "/danted.out");
    if (pid <= 0) continue;
    if (WaitForPort(pid, port)) {
      m_dantePid = pid;
      m_socksPort = port;
    } else {
      StopProcess(pid);
    }
  }

  for (int attempt = 0; attempt < 5 && m_tinyPid <= 0; ++attempt) {
    int port = FreePort();
    if (port == 0) continue;
    std::ofstream conf(m_dir + "/tinyproxy.conf", std::ios::trunc);
    conf << "Port " << port << "\n"
         << "Listen 127.0.0.1\n"
         << "Bind " << kHttpEgress << "\n"
         << "Timeout 30\n"
         << "MaxClients 20\n"
         << "Allow 127.0.0.0/8\n"
         << "LogFile \"" << m_dir << "/tinyproxy.log\"\n"
         << "LogLevel Connect\n"
         << "PidFile \"" << m_dir << "/tinyproxy.pid\"\n"
         << "ViaProxyName \"tinyproxy-test\"\n";
    conf.close();
    int pid = Spawn(tiny, {"-d", "-c", m_dir + "/tinyproxy.conf"}, m_dir + "/tinyproxy.out");
    if (pid <= 0) continue;
    if (WaitForPort(pid, port)) {
      m_tinyPid = pid;
      m_httpPort = port;
    } else {
      StopProcess(pid);
    }
  }

  if (m_dantePid > 0 && m_tinyPid > 0) return true;
  Stop();
  return false;
}

void CProxies::Stop() {
  StopProcess(m_dantePid);
  StopProcess(m_tinyPid);
  m_socksPort = 0;
  m_httpPort = 0;
}

std::string CProxies::DanteLog() const {
  return m_dir.empty() ? "" : ReadAll(m_dir + "/danted.log");
}

std::string CProxies::TinyproxyLog() const {
  return m_dir.empty() ? "" : ReadAll(m_dir + "/tinyproxy.log");
}
