// The Mastodon row against a fake server: what the user may type as a server, the status
// length and limit, every step of binding and its failures, posting with a processed
// picture, and polling with its baseline, backoff and refused token.
#include "services/Mastodon.h"

#include <gtest/gtest.h>

#include <deque>

#include "bind/BindFlow.h"
#include "notify/PollFlow.h"
#include "post/PostFlow.h"
#include "settings/Profile.h"
#include "tests/services/FakeServices.h"

namespace {

using servicetest::BadAnswers;
using servicetest::EService;
using servicetest::ParamText;
using servicetest::ServiceRow;

SHttpAnswer Json(long status, const std::string& body, long retryAfter = -1) {
  return {true, status, body, retryAfter};
}

// The server side: answers in order, every request recorded as "GET url | params | bearer";
// the server the user types, and waits that return at once (the 100th says closing).
struct SFakeMastodon : servicetest::SFakeServices {
  std::deque<SHttpAnswer> http;
  std::vector<std::string> sent;
  std::vector<QWBlogHeaders> headers;
  std::string server = "mastodon.example";
  int sleeps = 0;

  SHttpAnswer Http(SHttpRequest r) override {
    sent.push_back((r.method == EHttpMethod_Get ? "GET " : "POST ") + r.url + " | " +
                   ParamText(r.params) + " | " + r.bearer);
    headers.push_back(r.headers);
    if (http.empty()) return SHttpAnswer();
    SHttpAnswer a = http.front();
    http.pop_front();
    return a;
  }
  std::string AskServer(const std::string&) override { return server; }
  bool Sleep(int) override { return ++sleeps < 100; }
};

const SServiceRow& Row() { return ServiceRow(EService::Mastodon); }

// A bound account in the session, as a successful binding leaves it.
void BindAs(CSession& session, const std::string& token) {
  session.CommitBinding(Row(), {token, "", "@ann@mastodon.example", "", "mastodon.example"});
}

class Mastodon : public ::testing::Test {
 protected:
  void SetUp() override {
    coretest::FreshSettingsFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    ReloadServiceConfig();
  }
  void Bind(const std::string& token = "tok") { BindAs(fake, token); }
  SFakeMastodon fake;  // the session
};

const char* const kApp = R"({"id":"1","client_id":"cid","client_secret":"csecret"})";
const char* const kToken = R"({"access_token":"atoken","token_type":"Bearer"})";
const char* const kAccount = R"({"id":"9","username":"ann","acct":"ann"})";

}  // namespace

TEST(MastodonText, ServerAddressesLengthsLimitsAndIds) {
  std::string server;
  for (const char* good : {"mastodon.social", "HTTPS://Mastodon.Social/", "127.0.0.1:8443",
                           "[::1]:443", "social.example.org"}) {
    EXPECT_TRUE(ParseMastodonServer(good, server)) << good;
  }
  ASSERT_TRUE(ParseMastodonServer("https://Mastodon.Social/", server));
  EXPECT_EQ(server, "mastodon.social");
  for (const char* bad :
       {"", "http://mastodon.social", "ftp://x", "https://", "x/path", "x/?q", "user@x", "a b",
        "x:0", "x:99999", "x:", ".x", "x..y", "-x", "x\r\nHost: y", "[::1", "x:1:2"}) {
    EXPECT_FALSE(ParseMastodonServer(bad, server)) << bad;
  }

  EXPECT_EQ(MastodonStatusLength("héllo 你好"), 8u);
  EXPECT_EQ(MastodonStatusLength("see https://example.org/a/very/long/path/indeed ok"),
            4u + 23 + 3);

  EXPECT_EQ(ReadMastodonLimit(R"({"configuration":{"statuses":{"max_characters":1000}}})"), 1000);
  EXPECT_EQ(ReadMastodonLimit(R"({"max_toot_chars":5000})"), 5000);
  for (const std::string& bad : BadAnswers()) EXPECT_EQ(ReadMastodonLimit(bad), 500);
  EXPECT_EQ(ReadMastodonLimit(std::string(100000, '[')), 500);
  EXPECT_EQ(ReadMastodonLimit(R"({"configuration":{"statuses":{"max_characters":-3}}})"), 500);

  EXPECT_TRUE(MastodonIdAfter("110", "99"));
  EXPECT_FALSE(MastodonIdAfter("99", "110"));
  EXPECT_TRUE(MastodonIdAfter("AbC2", "AbC1"));  // flake ids of other servers
}

TEST_F(Mastodon, BindingRegistersOnceAsksForTheCodeAndStoresTheAccount) {
  fake.http = {Json(200, kApp), Json(200, kToken), Json(200, kAccount)};
  ASSERT_TRUE(BindAccount(fake, Row()));
  ASSERT_EQ(fake.sent.size(), 3u);
  EXPECT_EQ(fake.sent[0],
            "POST https://mastodon.example/api/v1/apps | client_name=Plumfinch&redirect_uris=urn:"
            "ietf:wg:oauth:2.0:oob&scopes=write:statuses write:media read:notifications "
            "read:accounts&website=https://www.plumfinch.net | ");
  EXPECT_EQ(fake.pages, std::vector<std::string>{
                            "https://mastodon.example/oauth/authorize?response_type=code&client_id="
                            "cid&redirect_uri=urn%3Aietf%3Awg%3Aoauth%3A2.0%3Aoob&scope=write%"
                            "3Astatuses%20write%3Amedia%20read%3Anotifications%20read%3Aaccounts"});
  EXPECT_NE(fake.sent[1].find("grant_type=authorization_code&code=V123&client_id=cid&client_"
                              "secret=csecret"),
            std::string::npos);
  EXPECT_EQ(fake.sent[2],
            "GET https://mastodon.example/api/v1/accounts/verify_credentials |  | atoken");
  EXPECT_EQ(fake.shown, std::vector<std::string>{"@ann@mastodon.example"});
  EXPECT_EQ(fake.log,
            (std::vector<std::string>{"绑定到Mastodon...", "绑定成功(@ann@mastodon.example)!"}));
  EXPECT_EQ(ProfileString(false, "MastodonClientSecret", "", ""), "csecret");
  EXPECT_EQ(ProfileString(false, "MastodonAccessToken", "", ""), "atoken");
  const SAccountSnapshot account = fake.Account(Row());
  EXPECT_TRUE(account.bound);
  EXPECT_EQ(account.server, "mastodon.example");

  // Binding again to the same server keeps the registration; the account reads back.
  fake.sent.clear();
  fake.http = {Json(200, kToken), Json(200, R"({"username":"bob"})")};
  ASSERT_TRUE(BindAccount(fake, Row()));
  EXPECT_EQ(fake.sent.size(), 2u);
  CSession restored;
  restored.RestoreAccounts(ServiceRows());
  EXPECT_EQ(restored.Account(Row()).name, "@bob@mastodon.example");
  EXPECT_EQ(restored.Account(Row()).server, "mastodon.example");
}

TEST_F(Mastodon, EveryFailingBindingStepSaysWhyAndKeepsTheOldAccount) {
  struct Case {
    std::string server;
    std::deque<SHttpAnswer> answers;
    std::string code;
    std::string box;  // "" for none
    size_t requests;
  };
  const std::string html = "<html><body>502</body></html>";
  const std::vector<Case> cases = {
      {"http://evil.example", {}, "V", "Mastodon服务器地址无效!", 0},
      {"other.example",
       {Json(422, R"({"error":"Validation failed"})")},
       "V",
       "向Mastodon服务器注册应用失败!\r\n\r\n失败原因:Validation failed",
       1},
      {"other.example", {SHttpAnswer()}, "V", "向Mastodon服务器注册应用失败!", 1},
      {"third.example",
       {Json(200, html)},
       "V",
       "向Mastodon服务器注册应用失败!\r\n\r\n失败原因:服务器的回应无法识别",
       1},
      {"other.example", {Json(200, kApp)}, "", "", 1},  // cancelled; the registration is kept
      {"other.example",
       {Json(400, R"({"error":"invalid_grant","error_description":"The code\r\nis wrong"})")},
       "V",
       "获取Mastodon访问令牌失败!\r\n\r\n失败原因:The code  is wrong",
       1},
      {"other.example",
       {Json(200, kToken), Json(401, R"({"error":"x"})")},
       "V",
       "获取用户信息失败",
       2},
      {"other.example",
       {Json(200, kToken), Json(200, R"({"acct":""})")},
       "V",
       "获取用户信息失败",
       2},
  };
  for (const Case& c : cases) {
    SFakeMastodon f;
    BindAs(f, "old");
    f.server = c.server;
    f.http = c.answers;
    f.code = c.code;
    EXPECT_FALSE(BindAccount(f, Row())) << c.box;
    EXPECT_EQ(f.boxes.size(), c.box.empty() ? 0u : 1u) << c.box;
    if (!c.box.empty() && !f.boxes.empty()) {
      EXPECT_EQ(f.boxes[0].substr(0, c.box.size()), c.box);
    }
    EXPECT_EQ(f.sent.size(), c.requests) << c.box;
    EXPECT_EQ(f.log.back(), "绑定失败!");
    for (const std::string& line : f.log) EXPECT_EQ(line.find("csecret"), std::string::npos);
    EXPECT_EQ(f.Account(Row()).accessToken, "old") << c.box;
  }
}

TEST_F(Mastodon, PostingWaitsForThePictureAndRetriesWithTheSameKey) {
  Bind();
  fake.http = {Json(202, R"({"id":"77","url":null})"), Json(206, R"({"id":"77"})"),
               Json(200, R"({"id":"77","url":"u"})"), SHttpAnswer(),
               Json(200, R"({"id":"5","url":"https://mastodon.example/@ann/5"})")};
  ASSERT_TRUE(PostStatus(fake, Row(), "hello", "/tmp/p.png"));
  ASSERT_EQ(fake.sent.size(), 5u);
  EXPECT_EQ(fake.sent[0], "POST https://mastodon.example/api/v2/media | &@file=/tmp/p.png | tok");
  EXPECT_EQ(fake.sent[2], "GET https://mastodon.example/api/v1/media/77 |  | tok");
  EXPECT_EQ(fake.sent[3],
            "POST https://mastodon.example/api/v1/statuses | status=hello&media_ids[]=77 | tok");
  EXPECT_EQ(fake.sent[4], fake.sent[3]);  // the lost answer: sent again
  ASSERT_EQ(fake.headers[3].size(), 1u);
  EXPECT_EQ(fake.headers[3][0].first, "Idempotency-Key");
  EXPECT_EQ(fake.headers[4], fake.headers[3]);
  EXPECT_EQ(fake.log, (std::vector<std::string>{"正在发到Mastodon...", "成功发表到Mastodon!",
                                                "查看地址:", "https://mastodon.example/@ann/5"}));

  // Refusals and pictures that never finish: the failure line and the reason.
  SFakeMastodon refused;
  BindAs(refused, "tok");
  refused.http = {
      Json(422, R"({"error":"Validation failed: Text character limit of 500 exceeded"})")};
  EXPECT_FALSE(PostStatus(refused, Row(), "x", ""));
  EXPECT_EQ(refused.log, (std::vector<std::string>{
                             "正在发到Mastodon...", "发表Mastodon失败!",
                             "原因:Validation failed: Text character limit of 500 exceeded"}));
  SFakeMastodon slow;
  BindAs(slow, "tok");
  slow.http = {Json(202, R"({"id":"8"})")};
  for (int i = 0; i < 200; ++i) slow.http.push_back(Json(206, R"({"id":"8"})"));
  EXPECT_FALSE(PostStatus(slow, Row(), "x", "/tmp/p.png"));
  EXPECT_EQ(slow.log.back(), "原因:图片处理超时");
  EXPECT_EQ(slow.sent.back().find("/statuses"), std::string::npos);
  for (const std::string& bad : BadAnswers()) {
    SFakeMastodon f;
    BindAs(f, "tok");
    f.http = {Json(200, bad), Json(200, bad)};
    const bool accepted = PostStatus(f, Row(), "x", "");  // never a crash
    EXPECT_EQ(f.log[1], accepted ? "成功发表到Mastodon!" : "发表Mastodon失败!");
  }
}

TEST_F(Mastodon, TheStatusLimitComesFromTheServerBeforeAnythingIsSent) {
  Bind();
  SUserText message;
  fake.http = {Json(200, R"({"configuration":{"statuses":{"max_characters":5}}})")};
  EXPECT_TRUE(CheckPost(fake, Row(), "你好世界!", message));
  fake.http = {Json(200, R"({"configuration":{"statuses":{"max_characters":5}}})")};
  EXPECT_FALSE(CheckPost(fake, Row(), "你好世界!!", message));
  EXPECT_EQ(message.Chinese().find("发到Mastodon的内容有6个字符，超过了服务器允许的5个字符。"), 0u);
  fake.http = {SHttpAnswer()};  // no answer: the usual 500
  EXPECT_FALSE(CheckPost(fake, Row(), std::string(501, 'a'), message));
  EXPECT_EQ(fake.sent.back(), "GET https://mastodon.example/api/v1/instance |  | ");
  EXPECT_TRUE(CheckPost(fake, ServiceRow(EService::Sina), std::string(501, 'a'), message));
}

TEST_F(Mastodon, PollingSetsABaselineAlertsBacksOffAndPausesOnARefusedToken) {
  Bind();
  CPollWorker worker(Row());
  fake.http = {Json(200, R"([{"id":"100","type":"mention"}])")};
  worker.PollOnce(fake);
  EXPECT_TRUE(fake.alerts.empty());  // the first answer is the baseline
  EXPECT_EQ(fake.sent[0],
            "GET https://mastodon.example/api/v1/notifications | types[]=mention&types[]=follow&"
            "limit=40 | tok");

  fake.http = {Json(200, R"([{"id":"104","type":"follow"},{"id":"103","type":"mention"},
                             {"id":"102","type":"mention"},{"id":"99","type":"mention"},{"type":"x"}])")};
  worker.PollOnce(fake);
  EXPECT_NE(fake.sent[1].find("since_id=100"), std::string::npos);
  EXPECT_EQ(fake.alerts, (std::vector<std::pair<int, int>>{{31, 2}, {32, 1}}));
  SAlertContent content;
  ASSERT_TRUE(DescribeServiceAlert(31, 2, fake, content));
  EXPECT_EQ(content.text.Chinese(), "您在Mastodon上收到了2条新提及");
  EXPECT_EQ(content.url, "https://mastodon.example/notifications");

  // 429: the pause the server asks for, else a doubling one; never a spin.
  fake.http = {Json(429, "{}", 120)};
  worker.PollOnce(fake);
  EXPECT_EQ(worker.NextSleepMs(), 120000);
  EXPECT_EQ(worker.NextSleepMs(), worker.IntervalMs());
  fake.http = {Json(429, "{}")};
  worker.PollOnce(fake);
  EXPECT_EQ(worker.NextSleepMs(), 2 * 2 * worker.IntervalMs());

  for (const std::string& bad : BadAnswers()) fake.http.push_back(Json(200, bad));
  for (size_t i = 0; i < BadAnswers().size(); ++i) worker.PollOnce(fake);
  EXPECT_EQ(fake.alerts.size(), 2u);

  // A refused token: one log line, then no requests until the account is bound again.
  fake.http = {Json(401, R"({"error":"The access token is invalid"})")};
  const size_t before = fake.sent.size();
  worker.PollOnce(fake);
  worker.PollOnce(fake);
  EXPECT_EQ(fake.sent.size(), before + 1);
  EXPECT_EQ(fake.log.back(), "Mastodon账号的授权已失效，请重新绑定Mastodon账号。");
  Bind("new");
  fake.http = {Json(200, "[]")};
  worker.PollOnce(fake);
  EXPECT_EQ(fake.sent.size(), before + 2);
  EXPECT_EQ(fake.sent.back().find("since_id"), std::string::npos);  // a new baseline
}
