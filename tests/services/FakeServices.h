// The outside world of the flows, faked: a session whose requests are answered from a
// queue and recorded, and a window port that collects the log, message boxes, opened
// pages, shown names and alerts.
#pragma once
#include <deque>
#include <string>
#include <vector>

#include "services/Registry.h"
#include "services/Session.h"
#include "tests/core/CoreTestUtil.h"

namespace servicetest {

// The services by name, for tables of cases.
enum class EService { Tencent, Sina, Sohu, Twitter, Mastodon, Bluesky };
inline const SServiceRow& ServiceRow(EService service) {
  return *ServiceRows().at(static_cast<size_t>(service));
}

// "name=value&..." of a parameter set, in order; pictures as "@name=path".
inline std::string ParamText(const CWeiboParam& params) {
  std::string text;
  for (const auto& [name, value] : params.Params())
    text += (text.empty() ? "" : "&") + name + "=" + value;
  for (const auto& [name, path] : params.Pictures()) text += "&@" + name + "=" + path;
  return text;
}

struct SFakeServices : CSession, IWindowPort {
  std::deque<std::string> answers;  // one per request, in order; "" when they run out
  std::vector<std::string> calls;   // "GET url"
  std::vector<std::string> params;  // ParamText of each call
  std::vector<bool> proxies;        // the Twitter proxy scope of each call
  std::vector<std::string> log, boxes, pages, shown;
  std::vector<std::pair<int, int>> alerts;
  std::string code = "V123";
  bool browserWorks = true;

  SFakeServices() {
    SetWindowPort(this);
    for (EAlertGate gate : {EAlertGate::AtMe, EAlertGate::Following, EAlertGate::Fans})
      SetAlertTicked(gate, true);
  }

  std::string Request(const std::string& url, EHttpMethod method, CWeiboParam p,
                      bool proxyPicked) override {
    calls.push_back((method == EHttpMethod_Get ? "GET " : "POST ") + url);
    params.push_back(ParamText(p));
    proxies.push_back(proxyPicked);
    if (answers.empty()) return std::string();
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
  // Posting asks for the whole answer: "" stands for no answer (the connection broke),
  // anything else for a body that came with status 200.
  SHttpAnswer SignedRequest(const std::string& url, EHttpMethod method, CWeiboParam p,
                            bool proxyPicked) override {
    SHttpAnswer answer;
    answer.body = Request(url, method, std::move(p), proxyPicked);
    answer.answered = !answer.body.empty();
    answer.status = answer.answered ? 200 : 0;
    answer.failure = answer.answered ? EQWBlogFailure::None : EQWBlogFailure::ConnectionLost;
    return answer;
  }
  std::string AskCode() override { return code; }
  std::string AskServer(const std::string&) override { return {}; }
  // The sign-in dialog: the forms asked, answered with signIn (cancelled by default).
  std::vector<SSignInForm> forms;
  SSignInAnswer signIn;
  SSignInAnswer AskSignIn(const SSignInForm& form) override {
    forms.push_back(form);
    return signIn;
  }
  void ShowMessage(const SUserText& text) override { boxes.push_back(text.Chinese()); }
  bool OpenBrowser(const std::string& url) override {
    pages.push_back(url);
    return browserWorks;
  }
  void Wake() override {
    for (const SOutboxItem& item : TakeOutbox()) {
      if (item.kind == SOutboxItem::EKind::Log) log.push_back(item.text.Chinese());
      if (item.kind == SOutboxItem::EKind::Name) shown.push_back(item.text.Chinese());
      if (item.kind == SOutboxItem::EKind::Alert)
        alerts.emplace_back(item.alertKind, int(item.count));
    }
  }
};

// Lines of the outbox or of a post's outcome, as the Chinese window shows them.
inline std::vector<std::string> ChineseLines(const std::vector<SUserText>& lines) {
  std::vector<std::string> chinese;
  for (const SUserText& line : lines) chinese.push_back(line.Chinese());
  return chinese;
}

// A settings folder of its own with known consumer pairs (hosts stay the built-in ones) and
// Twitter's original interface.
inline void UseKnownConsumers(const std::string& name) {
  const std::string dir = coretest::FreshSettingsFolder(name);
  coretest::Spit(
      dir + "/Services.ini",
      "[Consumers]\r\nTencentKey=tk\r\nTencentSecret=ts\r\nSinaKey=sk\r\nSinaSecret=ss\r\n"
      "SohuKey=hk\r\nSohuSecret=hs\r\nTwitterKey=wk\r\nTwitterSecret=ws\r\n"
      "[Twitter]\r\nApi=1\r\n");
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
