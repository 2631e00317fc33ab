// The outside world of the service model, faked: requests answered from a queue and
// recorded, and the log, message boxes, opened pages, shown name and alerts collected.
#pragma once
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "services/ServiceFlows.h"
#include "tests/core/CoreTestUtil.h"

namespace servicetest {

// "name=value&..." of a parameter set, in order; pictures as "@name=path".
inline std::string ParamText(const CWeiboParam& params) {
  std::string text;
  for (const auto& [name, value] : params.Params())
    text += (text.empty() ? "" : "&") + name + "=" + value;
  for (const auto& [name, path] : params.Pictures()) text += "&@" + name + "=" + path;
  return text;
}

struct SFakeServices {
  std::deque<std::string> answers;  // one per request, in order; "" when they run out
  std::vector<std::string> calls;   // "GET url"
  std::vector<std::string> params;  // ParamText of each call
  std::vector<bool> proxies;        // the Twitter proxy scope of each call
  std::vector<std::string> log, boxes, pages, shown;
  std::vector<std::pair<int, int>> alerts;
  std::set<EAlertGate> unticked;
  std::string code = "V123";

  SServiceIo Io() {
    SServiceIo io;
    io.request = [this](const std::string& url, EHttpMethod method, const CWeiboParam& p,
                        bool twitterProxy) {
      calls.push_back((method == EHttpMethod_Get ? "GET " : "POST ") + url);
      params.push_back(ParamText(p));
      proxies.push_back(twitterProxy);
      if (answers.empty()) return std::string();
      std::string answer = answers.front();
      answers.pop_front();
      return answer;
    };
    io.log = [this](const std::string& line) { log.push_back(line); };
    io.messageBox = [this](const std::string& text) { boxes.push_back(text); };
    io.askCode = [this](const std::string& url) {
      pages.push_back(url);
      return code;
    };
    io.showName = [this](const std::string& name) { shown.push_back(name); };
    io.alertTicked = [this](EAlertGate gate) { return !unticked.count(gate); };
    io.alert = [this](int kind, int count) { alerts.emplace_back(kind, count); };
    io.closing = [] { return false; };
    return io;
  }
};

// A settings folder of its own with known consumer pairs (hosts stay the built-in ones).
inline void UseKnownConsumers(const std::string& name) {
  const std::string dir = coretest::FreshSettingsFolder(name);
  coretest::Spit(
      dir + "/Services.ini",
      "[Consumers]\r\nTencentKey=tk\r\nTencentSecret=ts\r\nSinaKey=sk\r\nSinaSecret=ss\r\n"
      "SohuKey=hk\r\nSohuSecret=hs\r\nTwitterKey=wk\r\nTwitterSecret=ws\r\n");
  ReloadServiceConfig();
}

// Answers a service must survive: empty, cut, oversized, non-numeric and hostile ones.
inline std::vector<std::string> BadAnswers() {
  static const char kNul[] = "{\"msg\":\"ok\0\",\"id\":\"1\0\r\n2\"}";
  return {"",
          "{\"msg\":\"o",
          "oauth_token=",
          std::string(9 << 20, 'x'),
          "{\"msg\":\"abc\",\"id\":\"x\",\"fans\":\"many\",\"followers\":\"n\"}",
          "\r\n\r\nHTTP/1.1 200 OK\r\nSet-Cookie: a=b\r\n\r\n",
          std::string(kNul, sizeof kNul - 1),
          "<html><body><h1>502 Bad Gateway</h1></body></html>",
          "{\"msg\":\"bad\",\"create\":99999999999999999999,\"fans\":-99999999999}"};
}

}  // namespace servicetest
