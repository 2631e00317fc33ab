// The local service emulator as a child process of a test (fork/exec of
// emulator/plumfinch_emulator.py), and a small libcurl client of its JSON control interface.
#include "tests/support/Emulator.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonDocument>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string SourceDir() {
#ifdef PF_SOURCE_DIR
  return PF_SOURCE_DIR;
#else
  const char* env = std::getenv("PF_SOURCE_DIR");
  return env ? env : ".";
#endif
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

size_t CollectBody(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void CurlInitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One request with libcurl; returns the HTTP status or -1 when no answer came.
int Transfer(const std::string& url, const char* method, const std::string* body,
             const std::string& caFile, std::string* answer) {
  CurlInitOnce();
  CURL* curl = curl_easy_init();
  if (!curl) return -1;
  std::string sink;
  std::string* out = answer ? answer : &sink;
  out->clear();
  curl_slist* headers = nullptr;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
  curl_easy_setopt(curl, CURLOPT_PROXY, "");  // loopback only, never through a proxy
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
  if (!caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
  if (body) {
    headers = curl_slist_append(headers, "Content-Type: application/json");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body->size()));
  }
  if (method) curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
  long status = -1;
  if (curl_easy_perform(curl) == CURLE_OK) {
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return static_cast<int>(status);
}

std::string Query(const std::string& value) {
  CurlInitOnce();
  char* escaped = curl_easy_escape(nullptr, value.c_str(), static_cast<int>(value.size()));
  std::string out = escaped ? escaped : "";
  curl_free(escaped);
  return out;
}

}  // namespace

CEmulator::~CEmulator() { Stop(); }

bool CEmulator::Start(const std::string& stateDir) {
  Stop();
  std::error_code ec;
  fs::create_directories(stateDir, ec);
  const std::string ready = (fs::path(stateDir) / "ready.json").string();
  const std::string log = (fs::path(stateDir) / "emulator.log").string();
  fs::remove(ready, ec);

  // Everything the child needs is prepared before fork: after it, only exec-safe calls.
  const std::string python = "/usr/bin/python3";
  const std::string script = SourceDir() + "/emulator/plumfinch_emulator.py";
  std::vector<std::string> args = {python, script, "--state-dir", stateDir, "--ready-file", ready};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();

  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    // The emulator goes when the test process goes, even after a crash. The signal is
    // tied to the thread that forked: call Start from a thread that outlives the emulator.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
      dup2(fd, STDOUT_FILENO);
      dup2(fd, STDERR_FILENO);
    }
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, STDIN_FILENO);
    execv(python.c_str(), argv.data());
    _exit(127);
  }
  m_pid = pid;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!fs::exists(ready)) {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      std::fprintf(stderr, "emulator exited at start:\n%s\n", ReadWhole(log).c_str());
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      std::fprintf(stderr, "emulator not ready after 20 s:\n%s\n", ReadWhole(log).c_str());
      Stop();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  const QJsonObject info =
      QJsonDocument::fromJson(QByteArray::fromStdString(ReadWhole(ready))).object();
  const QJsonObject ports = info.value("ports").toObject();
  m_ports.clear();
  for (auto it = ports.begin(); it != ports.end(); ++it) {
    m_ports[it.key().toStdString()] = it.value().toInt();
  }
  m_caFile = info.value("ca_file").toString().toStdString();
  m_control = info.value("control").toString().toStdString();
  if (m_control.empty() || Port("control") == 0) {
    std::fprintf(stderr, "emulator ready file unreadable: %s\n", ReadWhole(ready).c_str());
    Stop();
    return false;
  }
  return true;
}

void CEmulator::Stop() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  int status = 0;
  while (waitpid(m_pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  m_pid = -1;
}

int CEmulator::Port(const std::string& role) const {
  auto it = m_ports.find(role);
  return it == m_ports.end() ? 0 : it->second;
}

bool CEmulator::WriteServicesIni(const std::string& folder, bool withCa, int twitterApi) const {
  static const char* const kHosts[][2] = {
      {"TencentOpen", "tencent_open"}, {"TencentOpenSecure", "tencent_open_tls"},
      {"TencentWeb", "tencent_web"},   {"SinaApi", "sina_api"},
      {"SinaWeb", "sina_web"},         {"SohuApi", "sohu_api"},
      {"SohuWeb", "sohu_web"},         {"TwitterApi", "twitter_api"},
      {"TwitterWeb", "twitter_web"},   {"Mastodon", "mastodon"},
      {"Bluesky", "bluesky"}};
  if (m_ports.empty()) return false;
  std::ostringstream ini;
  ini << "[Hosts]\n";
  const bool x = twitterApi == 2;
  for (const auto& h : kHosts)
    ini << h[0] << "=127.0.0.1:" << Port(x && std::string(h[0]) == "TwitterApi" ? "x_api" : h[1])
        << "\n";
  ini << "IpEchoUrl=http://127.0.0.1:" << Port("ipecho") << "/getip.asp\n";
  if (withCa) ini << "\n[TLS]\nCAFile=" << m_caFile << "\n";
  ini << "\n[Twitter]\nApi=" << (x ? 2 : 1) << "\n";
  // The developer app the emulator's X server knows (emulator/pfemu/x_api.py).
  if (x)
    ini << "\n[Consumers]\nTwitterKey=xEmuConsumerKey0123456789\n"
           "TwitterSecret=xEmuConsumerSecret0123456789abcdefghijklmnop\n";
  std::error_code ec;
  fs::create_directories(folder, ec);
  std::ofstream out(fs::path(folder) / "Services.ini", std::ios::binary | std::ios::trunc);
  out << ini.str();
  out.close();
  return static_cast<bool>(out);
}

QJsonObject CEmulator::Get(const std::string& pathAndQuery, int* status) const {
  std::string answer;
  int code = Transfer(m_control + pathAndQuery, nullptr, nullptr, "", &answer);
  if (status) *status = code;
  return QJsonDocument::fromJson(QByteArray::fromStdString(answer)).object();
}

QJsonObject CEmulator::Post(const std::string& path, const QJsonObject& body, int* status) const {
  const std::string json = QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
  std::string answer;
  int code = Transfer(m_control + path, "POST", &json, "", &answer);
  if (status) *status = code;
  return QJsonDocument::fromJson(QByteArray::fromStdString(answer)).object();
}

void CEmulator::Reset() const { Post("/control/reset", {}); }

QJsonArray CEmulator::Requests(const std::string& service) const {
  std::string path = "/control/requests";
  if (!service.empty()) path += "?service=" + Query(service);
  return Get(path).value("requests").toArray();
}

QJsonArray CEmulator::Posts(const std::string& service) const {
  std::string path = "/control/posts";
  if (!service.empty()) path += "?service=" + Query(service);
  return Get(path).value("posts").toArray();
}

void CEmulator::SetFault(const std::string& service, const std::string& endpoint,
                         const std::string& mode, const QJsonObject& extra) const {
  QJsonObject body = extra;
  body["service"] = QString::fromStdString(service);
  body["endpoint"] = QString::fromStdString(endpoint);
  body["mode"] = QString::fromStdString(mode);
  int status = 0;
  Post("/control/fault", body, &status);
  if (status != 200) std::fprintf(stderr, "emulator refused fault (%d)\n", status);
}

void CEmulator::ClearFaults() const { Post("/control/fault/clear", {}); }

void CEmulator::SetQuirks(const std::string& service, const QJsonObject& quirks) const {
  QJsonObject body = quirks;
  body["service"] = QString::fromStdString(service);
  Post("/control/quirks", body);
}

void CEmulator::SetCounters(const std::string& service, const QJsonObject& counters) const {
  QJsonObject body;
  body["service"] = QString::fromStdString(service);
  body["counters"] = counters;
  Post("/control/counters", body);
}

std::string CEmulator::VerifierFor(const std::string& requestToken) const {
  return Get("/control/verifier?oauth_token=" + Query(requestToken))
      .value("verifier")
      .toString()
      .toStdString();
}

int CEmulator::HttpGet(const std::string& url, std::string* body) const {
  return Transfer(url, nullptr, nullptr, m_caFile, body);
}
