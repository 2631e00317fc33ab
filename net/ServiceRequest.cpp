// One service request: the proxy rule, the library call, and turning the library's
// buffer into ANSI text.
#include "net/ServiceRequest.h"

#include <cstring>

#include "net/DebugLog.h"
#include "net/TextOps.h"

bool UsesProxy(int range, bool isTwitter) { return isTwitter ? range != 0 : range == 2; }

std::string ExecuteServiceRequest(const std::string& url, EHttpMethod method, CWeiboParam params,
                                  bool isTwitter, const CProxySettings& proxy,
                                  SyncRequestFn request, ReleaseDataFn release) {
  if (!request) return {};
  InstallDebugLog();
  if (UsesProxy(proxy.range, isTwitter)) params.SetProxy(proxy.type, proxy.address, proxy.port);

  char* data = nullptr;
  int length = 0;
  HTTP_RESULTCODE result = request(url.c_str(), method, params, data, length);
  if (result != HTTP_RESULT_OK || data == nullptr) return {};

  // The answer is text: it ends at its first zero byte.
  size_t size = length > 0 ? strnlen(data, static_cast<size_t>(length)) : 0;
  std::string body(data, size);
  if (release) release(data);
  return ConvertCodePage(body, CP_UTF8, CP_ACP);
}

SHttpAnswer ExecuteBearerRequest(SHttpRequest request, const CProxySettings& proxy) {
  InstallDebugLog();
  if (UsesProxy(proxy.range, false)) request.params.SetProxy(proxy.type, proxy.address, proxy.port);
  QWBlogAnswer answer;
  SHttpAnswer out;
  const HTTP_RESULTCODE result =
      request.contentType.empty()
          ? BearerRequest(request.url.c_str(), request.method, request.bearer, request.headers,
                          request.params, answer)
          : BearerBodyRequest(request.url.c_str(), request.bearer, request.headers,
                              request.contentType, request.body, request.params, answer);
  if (result != HTTP_RESULT_OK) {
    out.failure = answer.failure;
    return out;
  }
  out.answered = true;
  out.status = answer.status;
  out.body = answer.body.substr(0, answer.body.find('\0'));
  out.retryAfterS = answer.retryAfterS;
  out.rateLimitReset = answer.rateLimitReset;
  return out;
}

SHttpAnswer ExecuteSignedRequest(const std::string& url, EHttpMethod method, CWeiboParam params,
                                 bool isTwitter, const CProxySettings& proxy) {
  InstallDebugLog();
  if (UsesProxy(proxy.range, isTwitter)) params.SetProxy(proxy.type, proxy.address, proxy.port);
  QWBlogAnswer answer;
  SHttpAnswer out;
  if (SignedRequest(url.c_str(), method, std::move(params), answer) != HTTP_RESULT_OK) {
    out.failure = answer.failure;
    return out;
  }
  out.answered = true;
  out.status = answer.status;
  // The answer is text: it ends at its first zero byte.
  out.body = ConvertCodePage(answer.body.substr(0, answer.body.find('\0')), CP_UTF8, CP_ACP);
  out.retryAfterS = answer.retryAfterS;
  out.rateLimitReset = answer.rateLimitReset;
  return out;
}
