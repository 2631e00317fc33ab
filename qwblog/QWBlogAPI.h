// QWBlogAPI: the request library every service call goes through.
// The caller fills a CWeiboParam; one blocking SyncRequest signs the request with
// OAuth 1.0 (HMAC-SHA1), sends it over libcurl and hands back the answer body.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

enum EHttpMethod { EHttpMethod_Get = 0, EHttpMethod_Post = 1 };

// 0 = an HTTP answer arrived (whatever its status); anything else = no answer.
typedef int HTTP_RESULTCODE;
enum : HTTP_RESULTCODE {
  HTTP_RESULT_OK = 0,
  HTTP_RESULT_BAD_ARGUMENT = 1,  // unusable URL or method
  HTTP_RESULT_FILE_ERROR = 2,    // the picture could not be read
  HTTP_RESULT_TRANSPORT = 3,     // connection, proxy, TLS or time-out failure
  HTTP_RESULT_TOO_LARGE = 4,     // the answer exceeded the size cap
  HTTP_RESULT_ABORTED = 5,       // the caller's abort flag was raised
};

// Why a request got no answer, in terms a user can act on.
enum class EQWBlogFailure {
  None,
  BadRequest,      // unusable URL or method
  Picture,         // the picture could not be read (missing, not a regular file, too big)
  NotFound,        // the server's (or the proxy's) name does not resolve
  Refused,         // the server refused the connection
  Proxy,           // the proxy refused or failed
  Tls,             // the secure connection failed (certificate, handshake)
  TimedOut,        // no answer in time
  ConnectionLost,  // the connection broke, or the server closed it without an answer
  TooLarge,        // the answer exceeded the size cap
  Aborted,         // the caller's abort flag was raised
};

// Reserved parameter names: they carry the consumer and token pairs that sign the
// request and are never sent as parameters.
extern const char* const QWB_CUSTOM_KEY;     // "strCustomKey"
extern const char* const QWB_CUSTOM_SECRET;  // "strCustomSecrect"
extern const char* const QWB_TOKEN_KEY;      // "strTokenKey"
extern const char* const QWB_TOKEN_SECRET;   // "strTokenSecrect"

class CWeiboParam {
 public:
  CWeiboParam();
  CWeiboParam(const CWeiboParam& other);
  CWeiboParam& operator=(const CWeiboParam& other);
  ~CWeiboParam();

  // Appends a parameter (null is taken as empty text).
  void AddParam(const char* name, const char* value);
  // Appends a file to upload; the library reads it when the request is sent.
  void AddPicNameParam(const char* name, const char* path);
  // Sends body as the POST's whole body with this content type (a JSON document, say). A
  // signed request signs only its protocol parameters and the URL's query then: the body
  // is not part of the signature, and the other parameters go into the query.
  void SetBody(const std::string& contentType, const std::string& body);
  // type 0 = HTTP, 4 = SOCKS4, 7 = SOCKS5 with names resolved by the proxy;
  // address is IPv4 with the first octet most significant.
  void SetProxy(int type, unsigned long address, int port);
  // The request gives up (HTTP_RESULT_ABORTED) soon after *flag becomes true.
  // The flag must outlive the request.
  void SetAbortFlag(const std::atomic<bool>* flag);

  // Read access, for the library itself and for tests.
  const std::vector<std::pair<std::string, std::string>>& Params() const { return m_params; }
  const std::vector<std::pair<std::string, std::string>>& Pictures() const { return m_pics; }
  bool HasBody() const { return m_hasBody; }
  const std::string& BodyType() const { return m_bodyType; }
  const std::string& Body() const { return m_body; }
  bool HasProxy() const { return m_hasProxy; }
  int ProxyType() const { return m_proxyType; }
  unsigned long ProxyAddress() const { return m_proxyAddress; }
  int ProxyPort() const { return m_proxyPort; }
  const std::atomic<bool>* AbortFlag() const { return m_abort; }

 private:
  std::vector<std::pair<std::string, std::string>> m_params;
  std::vector<std::pair<std::string, std::string>> m_pics;
  bool m_hasBody = false;
  std::string m_bodyType, m_body;
  bool m_hasProxy = false;
  int m_proxyType = 0;
  unsigned long m_proxyAddress = 0;
  int m_proxyPort = 0;
  const std::atomic<bool>* m_abort = nullptr;
};

// Blocking signed request. On HTTP_RESULT_OK, data points to length bytes of the body
// followed by a zero byte, to be freed with ReleaseData; otherwise data stays null.
HTTP_RESULTCODE SyncRequest(const char* url, EHttpMethod method, CWeiboParam params, char*& data,
                            int& length);
void ReleaseData(void* data);

// A request to a service that authorises with a bearer token (OAuth 2.0) and answers in
// JSON, on the same transport as SyncRequest: TLS verified, the time-outs, the size cap,
// the caller's proxy and abort flag. params carries the fields (query of a GET, form body
// of a POST, multipart with AddPicNameParam's file), the proxy and the abort flag; the
// credential names above are refused. headers are sent as further header lines.
using QWBlogHeaders = std::vector<std::pair<std::string, std::string>>;
struct QWBlogAnswer {
  long status = 0;        // the HTTP status
  std::string body;       // as received (it may contain zero bytes)
  long retryAfterS = -1;  // the Retry-After header in seconds (0 .. 86400), -1 when absent
  // When a rate limit ends, in seconds since the epoch: the x-rate-limit-reset header, or
  // RateLimit-Reset (a Unix time, or seconds from now when it is a small number); -1 when
  // absent or not a number.
  long long rateLimitReset = -1;
  EQWBlogFailure failure = EQWBlogFailure::None;  // why no answer arrived
};
// HTTP_RESULT_OK when an answer arrived, whatever its status; answer is filled then.
HTTP_RESULTCODE BearerRequest(const char* url, EHttpMethod method, const std::string& bearer,
                              const QWBlogHeaders& headers, CWeiboParam params,
                              QWBlogAnswer& answer);

// A bearer-token POST whose body is given whole (a JSON document, a picture's bytes) and
// sent as it is with its content type; params carries only the proxy and the abort flag
// (a field or a file in it is refused). The answer as for BearerRequest.
HTTP_RESULTCODE BearerBodyRequest(const char* url, const std::string& bearer,
                                  const QWBlogHeaders& headers, const std::string& contentType,
                                  const std::string& body, CWeiboParam params,
                                  QWBlogAnswer& answer);

// SyncRequest's signed request with its whole outcome: on HTTP_RESULT_OK the status, the
// body (as received) and the headers read above in answer, whatever the status; otherwise
// answer.failure.
HTTP_RESULTCODE SignedRequest(const char* url, EHttpMethod method, CWeiboParam params,
                              QWBlogAnswer& answer);

// Library-wide settings; safe to change between requests from any thread.
struct QWBlogOptions {
  std::string caFile;                // extra PEM file to trust besides the system's
  long connectTimeoutMs = 15000;     // TCP/TLS/proxy connect
  long stallTimeoutS = 30;           // abort when below 1 byte/s for this long
  long totalTimeoutS = 120;          // hard ceiling for one request
  size_t maxAnswerBytes = 8u << 20;  // larger answers fail with HTTP_RESULT_TOO_LARGE
};
void QWBlogSetOptions(const QWBlogOptions& options);
QWBlogOptions QWBlogGetOptions();

// Makes every request give up with HTTP_RESULT_ABORTED: a running one within about a
// second, a later one at once. For a process that is ending; it cannot be undone. Safe to
// call from a signal handler.
void QWBlogAbortAllRequests();

// curl_global_init, once; call before any thread starts. Further calls do nothing.
// False when the network layer could not be prepared.
bool QWBlogGlobalInit();

// One finished request as a diagnostic log may show it. It never holds a credential:
// the URL is scheme://host[:port]/path only (no user information, query or fragment),
// and no header or body is included.
struct QWBlogTrace {
  const char* method = "";  // "GET" or "POST"
  std::string url;
  HTTP_RESULTCODE result = HTTP_RESULT_OK;
  long status = 0;    // HTTP status, 0 when none arrived
  std::string error;  // libcurl's error text or what failed before sending; "" on success
  size_t bytesIn = 0, bytesOut = 0;  // answer body received, request body sent
  long long ms = 0;
};
using QWBlogTraceHook = void (*)(const QWBlogTrace&);
// Called after every SyncRequest, on the caller's thread; nullptr (the default) for none.
void QWBlogSetTraceHook(QWBlogTraceHook hook);
