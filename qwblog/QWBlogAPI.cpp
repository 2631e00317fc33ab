// The request library: CWeiboParam, library options, and SyncRequest, which signs a
// request (WireRequest.cpp) and sends it with one libcurl easy handle.
#include "qwblog/QWBlogAPI.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string_view>

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

void CWeiboParam::SetBody(const std::string& contentType, const std::string& body) {
  m_hasBody = true;
  m_bodyType = contentType;
  m_body = body;
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

namespace {

// What the trace of one request reports besides its result.
struct TraceInfo {
  long status = 0;
  EQWBlogFailure failure = EQWBlogFailure::None;
  std::string error;  // libcurl's error text, or what went wrong before sending
  size_t bytesIn = 0, bytesOut = 0;
};

std::atomic<QWBlogTraceHook> g_traceHook{nullptr};

const char* ResultText(HTTP_RESULTCODE result) {
  switch (result) {
    case HTTP_RESULT_OK:
      return "";
    case HTTP_RESULT_BAD_ARGUMENT:
      return "bad URL or method";
    case HTTP_RESULT_FILE_ERROR:
      return "the picture cannot be read";
    case HTTP_RESULT_TRANSPORT:
      return "no answer";
    case HTTP_RESULT_TOO_LARGE:
      return "the answer is over the size cap";
    case HTTP_RESULT_ABORTED:
      return "aborted";
    default:
      return "failed";
  }
}

// The headers an answer's reader may need.
struct HeaderValues {
  long retryAfter = -1;
  long long rateLimitReset = -1;
};

// The value of a header line "name: value" (name in lower case), trimmed; false for
// another header.
bool HeaderValue(std::string_view line, std::string_view name, std::string& value) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(line[i])) != name[i]) return false;
  value.assign(line.substr(name.size() + 1));
  while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) value.pop_back();
  const size_t start = value.find_first_not_of(" \t");
  value = start == std::string::npos ? std::string() : value.substr(start);
  return true;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// Retry-After in seconds (a number, or a date counted from now), and x-rate-limit-reset or
// RateLimit-Reset.
size_t ReadHeader(char* ptr, size_t size, size_t count, void* user) {
  const size_t n = size * count;
  auto* values = static_cast<HeaderValues*>(user);
  const std::string_view line(ptr, n);
  std::string value;
  if (HeaderValue(line, "retry-after", value)) {
    long seconds = -1;
    if (AllDigits(value)) {
      seconds = value.size() > 6 ? 86400 : std::stol(value);
    } else if (!value.empty()) {
      const time_t when = curl_getdate(value.c_str(), nullptr);
      if (when != -1) seconds = std::max<long>(0, static_cast<long>(when - std::time(nullptr)));
    }
    if (seconds >= 0) values->retryAfter = std::min<long>(seconds, 86400);
  } else if (HeaderValue(line, "x-rate-limit-reset", value) && AllDigits(value) &&
             value.size() <= 12) {
    values->rateLimitReset = std::stoll(value);
  } else if (HeaderValue(line, "ratelimit-reset", value) && AllDigits(value) &&
             value.size() <= 12) {
    // A Unix time, as the AT Protocol's servers send it; a number below a year of seconds
    // can only be a wait from now.
    const long long number = std::stoll(value);
    values->rateLimitReset = number > 365LL * 86400 ? number : std::time(nullptr) + number;
  }
  return n;
}

// What a libcurl failure means to the user.
EQWBlogFailure FailureOf(CURLcode rc, const Transfer& transfer, bool viaProxy) {
  if (transfer.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) return EQWBlogFailure::TooLarge;
  if (rc == CURLE_ABORTED_BY_CALLBACK)
    return transfer.stalled ? EQWBlogFailure::TimedOut : EQWBlogFailure::Aborted;
  switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
      return EQWBlogFailure::TimedOut;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_PROXY:
      return EQWBlogFailure::Proxy;
    case CURLE_COULDNT_RESOLVE_HOST:
      return EQWBlogFailure::NotFound;
    case CURLE_COULDNT_CONNECT:
      return viaProxy ? EQWBlogFailure::Proxy : EQWBlogFailure::Refused;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_USE_SSL_FAILED:
      return EQWBlogFailure::Tls;
    default:
      return EQWBlogFailure::ConnectionLost;
  }
}

// Sends a request made by BuildWireRequest or BuildBearerRequest; params gives the proxy
// and the abort flag. On HTTP_RESULT_OK the body is in transfer and the status in info.
HTTP_RESULTCODE SendRequest(const qwblog::WireRequest& wire, const CWeiboParam& params,
                            Transfer& transfer, TraceInfo& info, HeaderValues* headers) {
  const QWBlogOptions options = QWBlogGetOptions();
  info.bytesOut = wire.body.size();
  if (g_abortAll.load() || (transfer.abort && transfer.abort->load())) return HTTP_RESULT_ABORTED;

  CurlHandle h;
  if (!h.curl) return HTTP_RESULT_TRANSPORT;
  CURL* c = h.curl;
  // Every option matters (TLS, proxy, limits): a libcurl that refuses one sends nothing.
  CURLcode refused = CURLE_OK;
  auto set = [&](CURLoption option, auto value) {
    CURLcode rc = curl_easy_setopt(c, option, value);
    if (rc != CURLE_OK && refused == CURLE_OK) refused = rc;
  };
  char errorText[CURL_ERROR_SIZE] = "";
  set(CURLOPT_ERRORBUFFER, errorText);

  if (!wire.authorization.empty() && !h.AddHeader("Authorization: " + wire.authorization))
    return HTTP_RESULT_TRANSPORT;
  for (const std::string& line : wire.headers)
    if (!h.AddHeader(line)) return HTTP_RESULT_TRANSPORT;
  if (wire.post) {
    if (!h.AddHeader("Content-Type: " + wire.contentType)) return HTTP_RESULT_TRANSPORT;
    // Send the body at once instead of waiting for a "100 Continue" first.
    if (!h.AddHeader("Expect:")) return HTTP_RESULT_TRANSPORT;
  }

  set(CURLOPT_URL, wire.url.c_str());
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_FOLLOWLOCATION, 0L);
  set(CURLOPT_USERAGENT, "QWBlogAPI/1.1");
  set(CURLOPT_HTTPHEADER, h.headers);
  if (wire.post) {
    set(CURLOPT_POST, 1L);
    set(CURLOPT_POSTFIELDS, wire.body.data());
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(wire.body.size()));
  } else {
    set(CURLOPT_HTTPGET, 1L);
  }

  // TLS: always verified; an extra CA file is trusted besides the system's store
  // (the file as CAINFO, the system's hashed folder as CAPATH).
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  if (!options.caFile.empty()) {
    set(CURLOPT_CAINFO, options.caFile.c_str());
    set(CURLOPT_CAPATH, SystemCaPath());
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
    set(CURLOPT_PROXY, proxy.c_str());
    set(CURLOPT_PROXYPORT, static_cast<long>(params.ProxyPort()));
    set(CURLOPT_PROXYTYPE, type);
  } else {
    set(CURLOPT_PROXY, "");
  }

  // Time-outs and the answer cap.
  if (options.connectTimeoutMs > 0) {
    set(CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
  }
  if (options.stallTimeoutS > 0) {
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(CURLOPT_LOW_SPEED_TIME, options.stallTimeoutS);
  }
  if (options.totalTimeoutS > 0) {
    set(CURLOPT_TIMEOUT_MS, options.totalTimeoutS * 1000L);
  }
  set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(transfer.cap));
  set(CURLOPT_WRITEFUNCTION, WriteBody);
  set(CURLOPT_WRITEDATA, &transfer);
  set(CURLOPT_XFERINFOFUNCTION, Progress);
  set(CURLOPT_XFERINFODATA, &transfer);
  set(CURLOPT_NOPROGRESS, 0L);
  if (headers) {
    set(CURLOPT_HEADERFUNCTION, ReadHeader);
    set(CURLOPT_HEADERDATA, headers);
  }

  if (refused != CURLE_OK) {
    info.error = std::string("libcurl refused an option: ") + curl_easy_strerror(refused);
    return HTTP_RESULT_TRANSPORT;
  }
  const CURLcode rc = curl_easy_perform(c);
  info.bytesIn = transfer.size;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &info.status);
  if (rc != CURLE_OK) {
    info.error = errorText[0] ? errorText : curl_easy_strerror(rc);
    info.failure = FailureOf(rc, transfer, params.HasProxy());
    if (transfer.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) return HTTP_RESULT_TOO_LARGE;
    if (rc == CURLE_ABORTED_BY_CALLBACK && !transfer.stalled) return HTTP_RESULT_ABORTED;
    return HTTP_RESULT_TRANSPORT;
  }
  if (info.status <= 0) {
    info.failure = EQWBlogFailure::ConnectionLost;
    return HTTP_RESULT_TRANSPORT;
  }
  return HTTP_RESULT_OK;
}

// Prepares the transfer of one request: the answer cap, the abort flag and the stall rule.
void PrepareTransfer(Transfer& transfer, const CWeiboParam& params) {
  const QWBlogOptions options = QWBlogGetOptions();
  transfer.cap = options.maxAnswerBytes;
  if (transfer.cap > static_cast<size_t>(INT_MAX) - 1)
    transfer.cap = static_cast<size_t>(INT_MAX) - 1;
  transfer.abort = params.AbortFlag();
  if (options.stallTimeoutS > 0) transfer.stallLimit = std::chrono::seconds(options.stallTimeoutS);
}

// Reports one finished request to the trace hook, if one is set.
void Trace(const char* url, EHttpMethod method, HTTP_RESULTCODE result, const TraceInfo& info,
           std::chrono::steady_clock::time_point start) {
  QWBlogTraceHook hook = g_traceHook.load();
  if (!hook) return;
  // Only the parts of the address that carry no credentials: no user information, no
  // query (it may hold oauth_* values), no fragment.
  qwblog::ParsedUrl parsed;
  QWBlogTrace trace;
  trace.method = method == EHttpMethod_Post ? "POST" : "GET";
  trace.url = (url && qwblog::ParseUrl(url, parsed)) ? qwblog::BaseStringUri(parsed) : "(bad URL)";
  trace.result = result;
  trace.status = info.status;
  trace.error =
      result == HTTP_RESULT_OK ? "" : (info.error.empty() ? ResultText(result) : info.error);
  trace.bytesIn = info.bytesIn;
  trace.bytesOut = info.bytesOut;
  trace.ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                 std::chrono::steady_clock::now() - start)
                 .count();
  hook(trace);
}

}  // namespace

void QWBlogSetTraceHook(QWBlogTraceHook hook) { g_traceHook = hook; }

namespace {

// The failure of a request that was refused before anything was sent.
EQWBlogFailure FailureBeforeSending(HTTP_RESULTCODE result) {
  switch (result) {
    case HTTP_RESULT_BAD_ARGUMENT:
      return EQWBlogFailure::BadRequest;
    case HTTP_RESULT_FILE_ERROR:
      return EQWBlogFailure::Picture;
    case HTTP_RESULT_ABORTED:
      return EQWBlogFailure::Aborted;
    default:
      return EQWBlogFailure::ConnectionLost;
  }
}

// The answer of a request that Perform sent: status and body, or why none arrived.
void FillAnswer(HTTP_RESULTCODE result, const TraceInfo& info, const Transfer& transfer,
                QWBlogAnswer& answer) {
  if (result != HTTP_RESULT_OK) {
    answer.failure = info.failure;
    return;
  }
  answer.status = info.status;
  if (transfer.data) answer.body.assign(transfer.data, transfer.size);
}

// Builds, sends and traces one request; on HTTP_RESULT_OK the body stays in transfer.
template <class TBuild>
HTTP_RESULTCODE Perform(const char* url, EHttpMethod method, const CWeiboParam& params,
                        TBuild build, Transfer& transfer, TraceInfo& info, HeaderValues* headers) {
  QWBlogGlobalInit();
  const auto start = std::chrono::steady_clock::now();
  qwblog::WireRequest wire;
  HTTP_RESULTCODE result = build(wire);
  PrepareTransfer(transfer, params);
  if (result == HTTP_RESULT_OK) {
    result = SendRequest(wire, params, transfer, info, headers);
  } else {
    info.failure = FailureBeforeSending(result);
  }
  Trace(url, method, result, info, start);
  return result;
}

// Perform with the whole outcome in answer: the status, the body and the headers read, or
// why no answer came.
template <class TBuild>
HTTP_RESULTCODE PerformAnswered(const char* url, EHttpMethod method, const CWeiboParam& params,
                                TBuild build, QWBlogAnswer& answer) {
  answer = QWBlogAnswer();
  TraceInfo info;
  Transfer transfer;
  HeaderValues values;
  const HTTP_RESULTCODE result = Perform(url, method, params, build, transfer, info, &values);
  FillAnswer(result, info, transfer, answer);
  if (result == HTTP_RESULT_OK) {
    answer.retryAfterS = values.retryAfter;
    answer.rateLimitReset = values.rateLimitReset;
  }
  return result;
}

}  // namespace

HTTP_RESULTCODE SyncRequest(const char* url, EHttpMethod method, CWeiboParam params, char*& data,
                            int& length) {
  data = nullptr;
  length = 0;
  TraceInfo info;
  Transfer transfer;
  HTTP_RESULTCODE result = Perform(
      url, method, params,
      [&](qwblog::WireRequest& wire) {
        return qwblog::BuildWireRequest(url, method, params, wire);
      },
      transfer, info, nullptr);
  if (result == HTTP_RESULT_OK) {
    if (!transfer.data) transfer.data = static_cast<char*>(std::malloc(1));
    if (!transfer.data) return HTTP_RESULT_TRANSPORT;
    transfer.data[transfer.size] = '\0';
    length = static_cast<int>(transfer.size);
    data = transfer.Release();
  }
  return result;
}

HTTP_RESULTCODE SignedRequest(const char* url, EHttpMethod method, CWeiboParam params,
                              QWBlogAnswer& answer) {
  return PerformAnswered(
      url, method, params,
      [&](qwblog::WireRequest& wire) {
        return qwblog::BuildWireRequest(url, method, params, wire);
      },
      answer);
}

HTTP_RESULTCODE BearerRequest(const char* url, EHttpMethod method, const std::string& bearer,
                              const QWBlogHeaders& headers, CWeiboParam params,
                              QWBlogAnswer& answer) {
  return PerformAnswered(
      url, method, params,
      [&](qwblog::WireRequest& wire) {
        return qwblog::BuildBearerRequest(url, method, bearer, headers, params, wire);
      },
      answer);
}

HTTP_RESULTCODE BearerBodyRequest(const char* url, const std::string& bearer,
                                  const QWBlogHeaders& headers, const std::string& contentType,
                                  const std::string& body, CWeiboParam params,
                                  QWBlogAnswer& answer) {
  return PerformAnswered(
      url, EHttpMethod_Post, params,
      [&](qwblog::WireRequest& wire) {
        return qwblog::BuildBearerBodyRequest(url, bearer, headers, contentType, body, params,
                                              wire);
      },
      answer);
}

void ReleaseData(void* data) { std::free(data); }
