// What the request library's tests and benchmark share: a parameter set carrying the
// credential pairs, and one blocking SyncRequest with its outcome copied out.
#pragma once
#include <string>

#include "qwblog/QWBlogAPI.h"

namespace qwblogtest {

// The consumer pair, and the token pair when one is given.
inline CWeiboParam SignedParams(const std::string& consumerKey, const std::string& consumerSecret,
                                const std::string& token = {},
                                const std::string& tokenSecret = {}) {
  CWeiboParam p;
  p.AddParam(QWB_CUSTOM_KEY, consumerKey.c_str());
  p.AddParam(QWB_CUSTOM_SECRET, consumerSecret.c_str());
  if (!token.empty() || !tokenSecret.empty()) {
    p.AddParam(QWB_TOKEN_KEY, token.c_str());
    p.AddParam(QWB_TOKEN_SECRET, tokenSecret.c_str());
  }
  return p;
}

struct SSyncAnswer {
  HTTP_RESULTCODE result = -1;
  std::string body;
  bool dataNull = true;
  int length = -1;
  bool terminated = false;  // the library's buffer ended with a zero byte
};

inline SSyncAnswer SyncCall(const std::string& url, EHttpMethod method, const CWeiboParam& params) {
  SSyncAnswer a;
  char* data = nullptr;
  int length = 0;
  a.result = SyncRequest(url.c_str(), method, params, data, length);
  a.dataNull = data == nullptr;
  a.length = length;
  if (data) {
    a.terminated = data[length] == '\0';
    a.body.assign(data, static_cast<size_t>(length));
    ReleaseData(data);
  }
  return a;
}

}  // namespace qwblogtest
