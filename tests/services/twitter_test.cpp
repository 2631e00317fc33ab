// The Twitter row on X's current interface (Services.ini [Twitter] Api=2) against a fake
// outside world: the signed requests as they go on the wire, X's weighted length, binding
// with the user's own app, and every kind of answer a post can get. The original interface
// (Api=1) keeps the tables of bind_flow_test and post_poll_alert_test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <deque>

#include "bind/BindFlow.h"
#include "post/PostFlow.h"
#include "qwblog/WireRequest.h"
#include "services/TwitterText.h"
#include "settings/Notices.h"
#include "tests/services/FakeServices.h"

namespace {

using servicetest::EService;
using servicetest::ServiceRow;

const SServiceRow& Row() { return ServiceRow(EService::Twitter); }

SHttpAnswer Answer(long status, const std::string& body, long long reset = -1) {
  return {true, status, body, -1, reset};
}
SHttpAnswer NoAnswer(EQWBlogFailure why) { return {false, 0, {}, -1, -1, why}; }

// Signed requests answered from a queue of whole answers, each kept as it was sent.
struct SFakeX : servicetest::SFakeServices {
  std::deque<SHttpAnswer> replies;
  std::vector<CWeiboParam> sent;

  SHttpAnswer SignedRequest(const std::string& url, EHttpMethod method, CWeiboParam p,
                            bool) override {
    calls.push_back((method == EHttpMethod_Get ? "GET " : "POST ") + url);
    sent.push_back(p);
    if (replies.empty()) return NoAnswer(EQWBlogFailure::ConnectionLost);
    SHttpAnswer answer = replies.front();
    replies.pop_front();
    return answer;
  }
};

class TwitterX : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    UseIni("[Consumers]\r\nTwitterKey=wk\r\nTwitterSecret=ws\r\n");
    fake.CommitBinding(Row(), {"at", "as", "tw", "9", ""});
    fake.SetSendTicked(Row(), true);
  }
  void UseIni(const std::string& ini) {
    folder = coretest::FreshSettingsFolder(
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    coretest::Spit(folder + "/Services.ini", ini);
    ReloadServiceConfig();
  }
  std::string folder;
  SFakeX fake;
};

// ---- the requests on the wire ----

// The same request as oauthlib's Client("wk", client_secret="ws", resource_owner_key="at",
// resource_owner_secret="as", nonce="4b1d6e0c9a8f7e6d5c4b3a2918070605",
// timestamp="1765170000").sign(uri, "POST", None, {"Content-Type": ...}) signs: oauthlib
// (python3-oauthlib 3.2.2) gave these base strings and signatures. Neither body is part of
// the signature: the JSON one is not form-encoded, and the multipart fields never are.
TEST_F(TwitterX, PostAndUploadAreSignedWithoutTheirBodies) {
  const std::string picture = folder + "/p.png";
  coretest::Spit(picture, "\x89PNG\r\n\x1a\nbytes");
  fake.replies = {Answer(200, R"({"data":{"id":"1880000000000000001"}})"),
                  Answer(201, R"({"data":{"id":"150000000000000007","text":"你好 X"}})")};
  ASSERT_TRUE(PostStatus(fake, Row(), "你好 X", picture));
  ASSERT_EQ(fake.calls, (std::vector<std::string>{"POST https://api.x.com/2/media/upload",
                                                  "POST https://api.x.com/2/tweets"}));
  const char* const nonce = "4b1d6e0c9a8f7e6d5c4b3a2918070605";
  const std::string tail =
      "&oauth_consumer_key%3Dwk%26oauth_nonce%3D4b1d6e0c9a8f7e6d5c4b3a2918070605"
      "%26oauth_signature_method%3DHMAC-SHA1%26oauth_timestamp%3D1765170000"
      "%26oauth_token%3Dat%26oauth_version%3D1.0";
  struct {
    const char* url;
    const char* baseUri;
    const char* signature;
    const char* contentType;
  } const cases[] = {
      {"https://api.x.com/2/media/upload", "POST&https%3A%2F%2Fapi.x.com%2F2%2Fmedia%2Fupload",
       "oauth_signature=\"sN0vRY2NCx02n9kCo9M2ASAh4cs%3D\"", "multipart/form-data; boundary=b"},
      {"https://api.x.com/2/tweets", "POST&https%3A%2F%2Fapi.x.com%2F2%2Ftweets",
       "oauth_signature=\"R2u5RfsQjEdWvKJvo3%2BJ%2FgrVJJA%3D\"", "application/json"},
  };
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(cases[i].url);
    qwblog::WireRequest wire;
    ASSERT_EQ(qwblog::BuildWireRequest(cases[i].url, EHttpMethod_Post, fake.sent[i], wire, nonce,
                                       "1765170000", "b"),
              HTTP_RESULT_OK);
    EXPECT_EQ(wire.baseString, cases[i].baseUri + tail);
    EXPECT_NE(wire.authorization.find(cases[i].signature), std::string::npos) << wire.authorization;
    EXPECT_EQ(wire.contentType, cases[i].contentType);
    EXPECT_EQ(wire.url, cases[i].url);  // nothing in the query
  }
  EXPECT_EQ(servicetest::ParamText(fake.sent[0]),
            "strCustomKey=wk&strCustomSecrect=ws&strTokenKey=at&strTokenSecrect=as&"
            "media_category=tweet_image&@media=" +
                picture);
  // The post names the picture by its id, as a string.
  EXPECT_EQ(fake.sent[1].Body(),
            R"({"media":{"media_ids":["1880000000000000001"]},"text":"你好 X"})");
  EXPECT_EQ(fake.log.back(), "成功发表一条Tweet! https://x.com/i/status/150000000000000007");
}

// ---- the weighted length ----

TEST(TwitterText, WeightedLength) {
  std::string cjk;
  for (int i = 0; i < 140; ++i) cjk += "字";
  const std::pair<std::string, int> cases[] = {
      {"", 0},
      {std::string(280, 'a'), 280},
      {cjk, 280},
      {cjk + "!", 281},
      {"\xC3\xA9t\xC3\xA9 Ελλάδα Россия", 17},        // Latin, Greek, Cyrillic weigh 1
      {"e\xCC\x81", 1},                               // e + combining accent: é after NFC
      {"\xE2\x80\x94 \xE2\x80\xB2 \xE2\x80\xA6", 6},  // em dash 1, prime 1, ellipsis 2
      {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 2},        // 👍 with a skin tone
      {"\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 2},  // ZWJ
      {"\xF0\x9F\x87\xAF\xF0\x9F\x87\xB5 1\xEF\xB8\x8F\xE2\x83\xA3", 5},  // a flag, a keycap
      {"see https://example.com/a?b=c#d.", 4 + 23 + 1},
      {std::string(256, 'a') + " https://example.com", 280},
      {"ahttps://x.com http://localhost", 31},  // glued to a word, or no dot: no links
      {"\xFF", 2},                              // not UTF-8: a replacement character
  };
  for (const auto& [text, length] : cases) EXPECT_EQ(twitter::WeightedLength(text), length) << text;
}

TEST_F(TwitterX, OverTheLimitNothingIsSentAnywhere) {
  std::string text;
  for (int i = 0; i < 141; ++i) text += "字";
  PostToTickedServices(fake, ServiceRows(), text, "");
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_NE(fake.boxes[0].find("282个字符"), std::string::npos) << fake.boxes[0];
  EXPECT_TRUE(fake.calls.empty());
}

// ---- posting: every answer ----

TEST_F(TwitterX, EveryAnswerEndsInItsLines) {
  const std::string picture = folder + "/p.jpg";
  coretest::Spit(picture, "\xFF\xD8\xFF jpeg");
  const std::string unreadable = "服务器的回应无法识别";
  const SHttpAnswer upload = Answer(200, R"({"data":{"id":"77"}})");
  const struct {
    bool withPicture;
    std::vector<SHttpAnswer> replies;
    std::string line;  // the last line: the success line, or the reason after the failure line
  } cases[] = {
      {false, {Answer(201, R"({"data":{"id":"15"}})")}, "https://x.com/i/status/15"},
      {false,
       {Answer(201, R"({"data":{"id":1880000000000000001}})")},
       "https://x.com/i/status/1880000000000000001"},
      {true, {upload, Answer(201, R"({"data":{"id":"8"}})")}, "https://x.com/i/status/8"},
      {false,
       {Answer(403, R"({"title":"Forbidden","detail":"duplicate content."})")},
       "duplicate content."},
      {false,
       {Answer(403, R"({"detail":"Use a Project.","reason":"client-not-enrolled"})")},
       "Use a Project. (client-not-enrolled)"},
      {false,
       {Answer(429, R"({"title":"Too Many Requests"})", 1796706600)},
       "Too Many Requests，请在2026-12-08 05:10:00之后再试"},
      {false, {Answer(502, "<html>Bad Gateway</html>")}, "HTTP 502"},
      {false, {Answer(200, "<html>hello</html>")}, unreadable},
      {false, {Answer(201, R"({"data":{"id":"15000)")}, unreadable},
      {false, {Answer(201, R"({"data":{"text":"t"}})")}, unreadable},
      {false, {Answer(201, R"({"data":{"id":1.88e18}})")}, unreadable},
      {false, {NoAnswer(EQWBlogFailure::TooLarge)}, "服务器的回应过大"},
      {true,
       {Answer(400, R"({"detail":"File size exceeds 5242880 bytes."})")},
       "图片上传失败(File size exceeds 5242880 bytes.)"},
      {true, {NoAnswer(EQWBlogFailure::Picture)}, "图片无法读取(不存在、不是普通文件或太大)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    fake.log.clear();
    fake.replies.assign(c.replies.begin(), c.replies.end());
    const bool posted = PostStatus(fake, Row(), "t", c.withPicture ? picture : "");
    const std::vector<std::string> lines =
        posted ? std::vector<std::string>{"成功发表一条Tweet! " + c.line}
               : std::vector<std::string>{"发表Tweet失败!", "原因:" + c.line};
    EXPECT_EQ(std::vector<std::string>(fake.log.begin() + 1, fake.log.end()), lines);
    EXPECT_EQ(posted, c.line.rfind("https://", 0) == 0);
    EXPECT_TRUE(fake.replies.empty());  // a failed upload posts nothing
  }
}

// ---- binding ----

TEST_F(TwitterX, MissingKeysAreNamedAndNothingIsSent) {
  UseIni("[Consumers]\r\nTwitterKey=wk\r\n");
  EXPECT_FALSE(BindAccount(fake, Row()));
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_NE(
      fake.boxes[0].find(folder + "/Services.ini的[Consumers]一节中加入:\r\nTwitterSecret=..."),
      std::string::npos)
      << fake.boxes[0];
  EXPECT_FALSE(PostStatus(fake, Row(), "t", ""));
  EXPECT_EQ(fake.log.back(), "原因:Services.ini的[Consumers]中缺少TwitterSecret(X应用的密钥)");
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(TwitterX, BindsOverHttpsTakingTheNameFromWhereItIs) {
  const SHttpAnswer token = Answer(200, "oauth_token=rt&oauth_token_secret=rs");
  const SHttpAnswer access = Answer(200, "oauth_token=at2&oauth_token_secret=as2");
  const struct {
    std::vector<SHttpAnswer> replies;
    bool bound;
    std::string shown;  // the name, or the message box
  } cases[] = {
      {{token, Answer(200, "oauth_token=a&oauth_token_secret=s&user_id=9&screen_name=xu")},
       true,
       "xu"},
      {{token, access, Answer(200, R"({"data":{"id":"2244994945","username":"xdev"}})")},
       true,
       "xdev"},
      {{token, access, Answer(401, R"({"title":"Unauthorized"})")},
       false,
       "获取用户信息失败\r\n\r\n失败原因:Unauthorized"},
  };
  for (const auto& c : cases) {
    fake.calls.clear();
    fake.replies.assign(c.replies.begin(), c.replies.end());
    EXPECT_EQ(BindAccount(fake, Row()), c.bound);
    EXPECT_EQ(c.bound ? fake.shown.back() : fake.boxes.back(), c.shown);
    const std::vector<std::string> calls = {"GET https://api.x.com/oauth/request_token",
                                            "GET https://api.x.com/oauth/access_token",
                                            "GET https://api.x.com/2/users/me"};
    EXPECT_EQ(fake.calls,
              std::vector<std::string>(calls.begin(), calls.begin() + long(c.replies.size())));
  }
  EXPECT_EQ(fake.pages.front(), "https://api.x.com/oauth/authorize?oauth_token=rt");
  EXPECT_EQ(fake.Account(Row()).userId, "2244994945");  // the failed binding kept it
}

// ---- the switch ----

TEST_F(TwitterX, ABadSwitchIsReportedOnceAndXIsUsed) {
  std::vector<std::string> notices;
  ResetSettingsNotices();
  SetSettingsNoticeSink([&](const std::string& line) { notices.push_back(line); });
  UseIni("[Twitter]\r\nApi=3\r\n[Consumers]\r\nTwitterKey=wk\r\nTwitterSecret=ws\r\n");
  ReloadServiceConfig();
  SetSettingsNoticeSink({});
  EXPECT_EQ(notices, (std::vector<std::string>{
                         "Services.ini: [Twitter] Api=3 is not allowed (1 to 2); 2 is used."}));
  fake.replies = {Answer(201, R"({"data":{"id":"5"}})")};
  EXPECT_TRUE(PostStatus(fake, Row(), "t", ""));
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"POST https://api.x.com/2/tweets"}));
}

}  // namespace
