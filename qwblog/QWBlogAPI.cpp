// The request library: CWeiboParam, library options, and SyncRequest, which signs a
// request (WireRequest.cpp) and sends it with one libcurl easy handle.
#include "qwblog/QWBlogAPI.h"

#include <curl/curl.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "qwblog/OAuth.h"
#include "qwblog/WireRequest.h"

const char* const QWB_CUSTOM_KEY = "strCustomKey";
const char* const QWB_CUSTOM_SECRET = "strCustomSecrect";
const char* const QWB_TOKEN_KEY = "strTokenKey";
const char* const QWB_TOKEN_SECRET = "strTokenSecrect";

// ---- CWeiboParam -------------------------------------------------------------------

CWeiboParam::CWeiboParam() = default;
CWeiboParam::CWeiboParam(const CWeiboParam& other) = default;
CWeiboParam& CWeiboParam::operator=(const CWeiboParam& other) = default;
CWeiboParam::~CWeiboParam() = default;

void CWeiboParam::AddParam(const char* name, const char* value) {
  m_params.emplace_back(name ? name : "", value ? value : "");
}

void CWeiboParam::AddPicNameParam(const char* name, const char* path) {
  m_pics.emplace_back(name ? name : "", path ? path : "");
}

void CWeiboParam::SetProxy(int type, unsigned long address, int port) {
  m_hasProxy = true;
  m_proxyType = type;
  m_proxyAddress = address;
  m_proxyPort = port;
}

void CWeiboParam::SetAbortFlag(const std::atomic<bool>* flag) { m_abort = flag; }

// ---- options and start-up ----------------------------------------------------------

namespace {

std::mutex g_optionsMutex;
QWBlogOptions g_options;
std::once_flag g_initOnce;
std::atomic<bool> g_abortAll{false};
static_assert(std::atomic<bool>::is_always_lock_free, "raised from a signal handler");

// The answer as it arrives: a malloc'd buffer that becomes the caller's data.
struct Transfer {
  char* data = nullptr;
  size_t size = 0;
  size_t capacity = 0;
  size_t cap = 0;  // most bytes accepted
  bool tooLarge = false;
  const std::atomic<bool>* abort = nullptr;
  // Stall rule: no byte moved either way for stallLimit.
  std::chrono::steady_clock::duration stallLimit{};
  std::chrono::steady_clock::time_point lastActivity = std::chrono::steady_clock::now();
  curl_off_t lastDown = 0, lastUp = 0;
  bool stalled = false;

  ~Transfer() { std::free(data); }
  char* Release() {
    char* p = data;
    data = nullptr;
    return p;
  }
};

size_t WriteBody(char* ptr, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  if (n > t->cap - t->size) {
    t->tooLarge = true;
    return 0;  // makes libcurl stop with CURLE_WRITE_ERROR
  }
  // Room for n more bytes and the terminating zero.
  if (t->size + n + 1 > t->capacity) {
    size_t wanted = t->capacity ? t->capacity : 16384;
    while (wanted < t->size + n + 1) wanted *= 2;
    if (wanted > t->cap + 1) wanted = t->cap + 1;
    char* grown = static_cast<char*>(std::realloc(t->data, wanted));
    if (!grown) return 0;
    t->data = grown;
    t->capacity = wanted;
  }
  std::memcpy(t->data + t->size, ptr, n);
  t->size += n;
  return n;
}

// Called by libcurl at least once a second while a request runs (the low-speed
// rule keeps a one-second timer armed), so both checks here react within a second.
int Progress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
  auto* t = static_cast<Transfer*>(user);
  if (g_abortAll.load() || (t->abort && t->abort->load())) return 1;
  const auto now = std::chrono::steady_clock::now();
  if (dlnow != t->lastDown || ulnow != t->lastUp) {
    t->lastDown = dlnow;
    t->lastUp = ulnow;
    t->lastActivity = now;
  } else if (t->stallLimit.count() > 0 && now - t->lastActivity >= t->stallLimit) {
    // libcurl's own low-speed rule averages over several seconds, so after a burst
    // it notices a stall late; this notices it on time.
    t->stalled = true;
    return 1;
  }
  return 0;
}

// The system's hashed certificate folder as libcurl was built with it; looked up once.
const char* SystemCaPath() {
  static const std::string path = [] {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info && info->age >= CURLVERSION_SEVENTH && info->capath) return std::string(info->capath);
    return std::string("/etc/ssl/certs");
  }();
  return path.c_str();
}

struct CurlHandle {
  CURL* curl = curl_easy_init();
  curl_slist* headers = nullptr;
  ~CurlHandle() {
    if (curl) curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
  }
  bool AddHeader(const std::string& line) {
    curl_slist* next = curl_slist_append(headers, line.c_str());
    if (!next) return false;
    headers = next;
    return true;
  }
};

}  // namespace

void QWBlogSetOptions(const QWBlogOptions& options) {
  std::lock_guard<std::mutex> lock(g_optionsMutex);
  g_options = options;
}

QWBlogOptions QWBlogGetOptions() {
  std::lock_guard<std::mutex> lock(g_optionsMutex);
  return g_options;
}

void QWBlogAbortAllRequests() { g_abortAll.store(true); }

bool QWBlogGlobalInit() {
  static bool ready = false;
  std::call_once(g_initOnce, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ready;
}

// ---- requests -----------------------------------------------------------------------

HTTP_RESULTCODE SyncRequest(const char* url, EHttpMethod method, CWeiboParam params, char*& data,
                            int& length) {
  data = nullptr;
  length = 0;
  QWBlogGlobalInit();
  const QWBlogOptions options = QWBlogGetOptions();

  qwblog::WireRequest wire;
  HTTP_RESULTCODE built = qwblog::BuildWireRequest(url, method, params, wire);
  if (built != HTTP_RESULT_OK) return built;

  Transfer transfer;
  transfer.cap = options.maxAnswerBytes;
  if (transfer.cap > static_cast<size_t>(INT_MAX) - 1)
    transfer.cap = static_cast<size_t>(INT_MAX) - 1;
  transfer.abort = params.AbortFlag();
  if (options.stallTimeoutS > 0) transfer.stallLimit = std::chrono::seconds(options.stallTimeoutS);
  if (g_abortAll.load() || (transfer.abort && transfer.abort->load())) return HTTP_RESULT_ABORTED;

  CurlHandle h;
  if (!h.curl) return HTTP_RESULT_TRANSPORT;
  CURL* c = h.curl;

  if (!h.AddHeader("Authorization: " + wire.authorization)) return HTTP_RESULT_TRANSPORT;
  if (wire.post) {
    if (!h.AddHeader("Content-Type: " + wire.contentType)) return HTTP_RESULT_TRANSPORT;
    // Send the body at once instead of waiting for a "100 Continue" first.
    if (!h.AddHeader("Expect:")) return HTTP_RESULT_TRANSPORT;
  }

  curl_easy_setopt(c, CURLOPT_URL, wire.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "QWBlogAPI/1.1");
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, h.headers);
  if (wire.post) {
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, wire.body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(wire.body.size()));
  } else {
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  }

  // TLS: always verified; an extra CA file is trusted besides the system's store
  // (the file as CAINFO, the system's hashed folder as CAPATH).
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!options.caFile.empty()) {
    curl_easy_setopt(c, CURLOPT_CAINFO, options.caFile.c_str());
    curl_easy_setopt(c, CURLOPT_CAPATH, SystemCaPath());
  }

  // Proxy: exactly the one the caller set, never one from the environment.
  if (params.HasProxy()) {
    long type;
    switch (params.ProxyType()) {
      case 0:
        type = CURLPROXY_HTTP;
        break;
      case 4:
        type = CURLPROXY_SOCKS4;
        break;
      case 7:
        type = CURLPROXY_SOCKS5_HOSTNAME;
        break;
      default:
        return HTTP_RESULT_BAD_ARGUMENT;
    }
    // Address 0 is the setting never entered, and a port outside 1..65535 cannot be
    // reached: neither is a proxy to connect to.
    if ((params.ProxyAddress() & 0xffffffffUL) == 0 || params.ProxyPort() <= 0 ||
        params.ProxyPort() > 65535) {
      return HTTP_RESULT_TRANSPORT;
    }
    const std::string proxy = qwblog::DottedAddress(params.ProxyAddress());
    curl_easy_setopt(c, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(c, CURLOPT_PROXYPORT, static_cast<long>(params.ProxyPort()));
    curl_easy_setopt(c, CURLOPT_PROXYTYPE, type);
  } else {
    curl_easy_setopt(c, CURLOPT_PROXY, "");
  }

  // Time-outs and the answer cap.
  if (options.connectTimeoutMs > 0) {
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
  }
  if (options.stallTimeoutS > 0) {
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, options.stallTimeoutS);
  }
  if (options.totalTimeoutS > 0) {
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, options.totalTimeoutS * 1000L);
  }
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(transfer.cap));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);

  const CURLcode rc = curl_easy_perform(c);
  if (rc != CURLE_OK) {
    if (transfer.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) return HTTP_RESULT_TOO_LARGE;
    if (rc == CURLE_ABORTED_BY_CALLBACK && !transfer.stalled) return HTTP_RESULT_ABORTED;
    return HTTP_RESULT_TRANSPORT;
  }
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (status <= 0) return HTTP_RESULT_TRANSPORT;

  if (!transfer.data) {
    transfer.data = static_cast<char*>(std::malloc(1));
    if (!transfer.data) return HTTP_RESULT_TRANSPORT;
  }
  transfer.data[transfer.size] = '\0';
  length = static_cast<int>(transfer.size);
  data = transfer.Release();
  return HTTP_RESULT_OK;
}

void ReleaseData(void* data) { std::free(data); }
