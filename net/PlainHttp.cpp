// The plain HTTP request of the public-address fetch, on libcurl, behaving like the
// browser-style Windows Internet request it stands in for.
#include "net/PlainHttp.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "net/DebugLog.h"
#include "net/ServiceHosts.h"
#include "net/TextOps.h"
#include "qwblog/OAuth.h"

namespace {

const char* const kAgent = "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0)";
constexpr size_t kMaxAnswerBytes = 64 * 1024;
constexpr long kConnectTimeoutS = 15;
constexpr long kTotalTimeoutS = 30;
constexpr long kMaxRedirects = 5;

// The host part without a ":port"; a bracketed IPv6 address keeps its brackets.
std::string HostWithoutPort(const std::string& host) {
  if (!host.empty() && host[0] == '[') {
    size_t close = host.find(']');
    return close == std::string::npos ? std::string() : host.substr(0, close + 1);
  }
  return host.substr(0, host.find(':'));
}

// A verb is one token of letters; anything else could smuggle text into the request.
bool IsVerb(const std::string& verb) {
  for (char c : verb) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  return !verb.empty();
}

// The path as sent: bytes a URL cannot carry literally are percent-encoded, so that
// the server sees the same bytes the path holds.
std::string EscapePath(const std::string& path) {
  static const qwblog::ByteSet kKeep = [] {
    std::string printable;
    for (char c = 0x21; c < 0x7F; ++c)
      if (c != '#' && c != '"' && c != '<' && c != '>') printable.push_back(c);
    return qwblog::MakeByteSet(printable);
  }();
  std::string out;
  qwblog::AppendPercentEncoded(out, path, kKeep);
  return out;
}

struct CAnswer {
  std::string body;
  bool tooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  CAnswer* answer = static_cast<CAnswer*>(user);
  size_t bytes = size * count;
  if (answer->body.size() + bytes > kMaxAnswerBytes) {
    answer->tooLarge = true;
    return 0;  // aborts the transfer
  }
  answer->body.append(data, bytes);
  return bytes;
}

struct CCurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct CSlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Non-zero ends the transfer: the caller's abort flag was raised.
int OnProgress(void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

}  // namespace

std::string PlainHttpRequest(const std::string& url, const std::string& verb, const char* body,
                             unsigned long bodyLength, const std::string& proxy,
                             const char* extraHeaders, unsigned short port,
                             const std::atomic<bool>* abort) {
  std::string rest = StartsWithNoCase(url, "http://") ? url.substr(7) : url;
  size_t slash = rest.find('/');
  std::string host = HostWithoutPort(rest.substr(0, slash));
  std::string path = (slash == std::string::npos) ? std::string("/") : rest.substr(slash);
  std::string method = verb.empty() ? std::string("GET") : verb;
  if (!IsHostText(host) || !IsVerb(method)) return {};
  unsigned short effectivePort = port ? port : 80;
  std::string target = "http://" + host + ":" + std::to_string(effectivePort) + EscapePath(path);

  std::unique_ptr<CURL, CCurlDeleter> curl(curl_easy_init());
  if (!curl) return {};
  CURL* h = curl.get();
  CAnswer answer;
  // A libcurl that refuses an option (protocols, time-outs, proxy) sends nothing.
  CURLcode refused = CURLE_OK;
  auto set = [&](CURLoption option, auto value) {
    CURLcode rc = curl_easy_setopt(h, option, value);
    if (rc != CURLE_OK && refused == CURLE_OK) refused = rc;
  };
  set(CURLOPT_URL, target.c_str());
  set(CURLOPT_PROTOCOLS_STR, "http");
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  set(CURLOPT_USERAGENT, kAgent);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_CONNECTTIMEOUT, kConnectTimeoutS);
  set(CURLOPT_TIMEOUT, kTotalTimeoutS);
  set(CURLOPT_FOLLOWLOCATION, 1L);
  set(CURLOPT_MAXREDIRS, kMaxRedirects);
  set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  set(CURLOPT_WRITEFUNCTION, OnBody);
  set(CURLOPT_WRITEDATA, &answer);
  if (abort) {
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFODATA, abort);
    set(CURLOPT_XFERINFOFUNCTION, OnProgress);
  }
  // Empty proxy text: straight to the host, whatever proxy the environment names.
  // Otherwise the named proxy is used for every host.
  set(CURLOPT_PROXY, proxy.c_str());
  set(CURLOPT_NOPROXY, "");

  const bool hasBody = body != nullptr && bodyLength > 0;
  std::string extra = extraHeaders ? extraHeaders : "";
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Accept: */*");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  headers = curl_slist_append(headers, "Cache-Control: no-cache");
  size_t start = 0;
  bool hasContentType = false;
  while (start < extra.size()) {
    size_t end = extra.find_first_of("\r\n", start);
    if (end == std::string::npos) end = extra.size();
    std::string line = extra.substr(start, end - start);
    if (!line.empty()) {
      hasContentType = hasContentType || StartsWithNoCase(line, "content-type:");
      headers = curl_slist_append(headers, line.c_str());
    }
    start = end + 1;
  }
  // A body goes out as given; no form content type is claimed for it.
  if (hasBody && !hasContentType) headers = curl_slist_append(headers, "Content-Type:");
  std::unique_ptr<curl_slist, CSlistDeleter> headerList(headers);
  set(CURLOPT_HTTPHEADER, headers);

  if (hasBody) {
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength));
    set(CURLOPT_POSTFIELDS, body);
    if (method != "POST") set(CURLOPT_CUSTOMREQUEST, method.c_str());
  } else if (method == "GET") {
    set(CURLOPT_HTTPGET, 1L);
  } else if (method == "HEAD") {
    set(CURLOPT_NOBODY, 1L);
  } else if (method == "POST") {
    set(CURLOPT_POSTFIELDSIZE, 0L);
    set(CURLOPT_POSTFIELDS, "");
  } else {
    set(CURLOPT_CUSTOMREQUEST, method.c_str());
  }

  char errorText[CURL_ERROR_SIZE] = "";
  set(CURLOPT_ERRORBUFFER, errorText);
  const auto began = std::chrono::steady_clock::now();
  const CURLcode rc = refused != CURLE_OK ? refused : curl_easy_perform(h);
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  if (DebugLogEnabled()) {
    QWBlogTrace trace;
    trace.method = method.c_str();
    trace.url = target;
    trace.status = status;
    if (rc != CURLE_OK) trace.error = errorText[0] ? errorText : curl_easy_strerror(rc);
    if (answer.tooLarge) trace.error = "the answer is over 64 KB";
    trace.bytesIn = answer.body.size();
    trace.bytesOut = hasBody ? bodyLength : 0;
    trace.ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - began)
                   .count();
    DebugLogRequest(trace);
  }
  if (refused != CURLE_OK) return {};
  // Only a 2xx answer has a body worth reading. A transfer that broke off after the
  // headers still gives the part that arrived; an oversized one gives nothing.
  if (status < 200 || status > 299 || answer.tooLarge) return {};
  return answer.body.substr(0, answer.body.find('\0'));
}

std::string TrimWhiteSpace(const std::string& text) {
  const char* const kWhite = " \t\r\n\v\f";
  size_t begin = text.find_first_not_of(kWhite);
  if (begin == std::string::npos) return {};
  size_t end = text.find_last_not_of(kWhite);
  return text.substr(begin, end - begin + 1);
}

std::string FetchPublicIp(const std::atomic<bool>* abort) {
  return TrimWhiteSpace(PlainHttpRequest(ServiceConfig().ipEchoUrl, "", nullptr, 0, "", nullptr,
                                         IpEchoPort(), abort));
}
