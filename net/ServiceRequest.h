// Running one service request: the proxy rule, the library call, copying and freeing
// the answer, and its conversion from UTF-8 to the ANSI code page.
#pragma once
#include <string>

#include "qwblog/QWBlogAPI.h"

struct CProxySettings {
  int range = 0;              // 0 none, 1 Twitter only, 2 every service, other: Twitter only
  int type = 0;               // 0 HTTP, 4 SOCKS4, 7 SOCKS5
  unsigned long address = 0;  // first octet most significant
  int port = 0;
};

// Twitter requests use the proxy when range != 0, the others only when range == 2.
bool UsesProxy(int range, bool isTwitter);

using SyncRequestFn = HTTP_RESULTCODE (*)(const char*, EHttpMethod, CWeiboParam, char*&, int&);
using ReleaseDataFn = void (*)(void*);

// The body of a request as ANSI text, or "" when it failed. The params are the
// caller's own copy; the proxy is set on it only when the rule says so.
std::string ExecuteServiceRequest(const std::string& url, EHttpMethod method, CWeiboParam params,
                                  bool isTwitter, const CProxySettings& proxy,
                                  SyncRequestFn request = SyncRequest,
                                  ReleaseDataFn release = ReleaseData);

// One bearer-token request (OAuth 2.0 and JSON APIs): the same proxy rule as the others, the
// answer's status, body (UTF-8, cut at a zero byte) and Retry-After. answered is false
// when no HTTP answer arrived (aborted included).
struct SHttpRequest {
  std::string url;
  EHttpMethod method = EHttpMethod_Get;
  std::string bearer;  // "" for none
  QWBlogHeaders headers;
  CWeiboParam params;  // fields and an optional file (AddPicNameParam)
  // A POST whose body is given whole (JSON, a picture's bytes) when contentType is set;
  // params then carries no fields.
  std::string contentType;
  std::string body;
};
struct SHttpAnswer {
  bool answered = false;
  long status = 0;
  std::string body;
  long retryAfterS = -1;
  // When a rate limit ends, in seconds since the epoch (x-rate-limit-reset or
  // RateLimit-Reset); -1 when the answer does not say.
  long long rateLimitReset = -1;
  EQWBlogFailure failure = EQWBlogFailure::None;  // why no answer arrived
};
SHttpAnswer ExecuteBearerRequest(SHttpRequest request, const CProxySettings& proxy);

// ExecuteServiceRequest with the whole outcome: the status and the body (ANSI text, cut at
// a zero byte) of any answer, or why none arrived.
SHttpAnswer ExecuteSignedRequest(const std::string& url, EHttpMethod method, CWeiboParam params,
                                 bool isTwitter, const CProxySettings& proxy);
