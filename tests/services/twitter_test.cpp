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
  SHttpAnswer answer;
  answer.answered = true;
  answer.status = status;
  answer.body = body;
  answer.rateLimitReset = reset;
  return answer;
}

SHttpAnswer NoAnswer(EQWBlogFailure why) {
  SHttpAnswer answer;
  answer.failure = why;
  return answer;
}

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
  // The upload: the category as a field, then the picture as "media".
  qwblog::WireRequest upload;
  qwblog::BuildWireRequest(cases[0].url, EHttpMethod_Post, fake.sent[0], upload, nonce, "1", "b");
  EXPECT_NE(upload.body.find("name=\"media_category\"\r\n\r\ntweet_image\r\n"), std::string::npos);
  EXPECT_NE(upload.body.find("name=\"media\"; filename=\"p.png\""), std::string::npos);
  // The post names the picture by its id as a string.
  EXPECT_EQ(fake.sent[1].Body(),
            R"({"media":{"media_ids":["1880000000000000001"]},"text":"你好 X"})");
  EXPECT_EQ(fake.log.back(), "成功发表一条Tweet! https://x.com/i/status/150000000000000007");
}

// ---- the weighted length ----

TEST(TwitterText, WeightedLength) {
  const std::string cjk140 = [] {
    std::string s;
    for (int i = 0; i < 140; ++i) s += "字";
    return s;
  }();
  struct {
    std::string text;
    int length;
  } const cases[] = {
      {"", 0},
      {"hello, world", 12},
      {std::string(280, 'a'), 280},
      {std::string(281, 'a'), 281},
      {"你好", 4},
      {cjk140, 280},
      {cjk140 + "!", 281},
      {"日本語のテキスト", 16},
      {"\xC3\xA9t\xC3\xA9 Ελλάδα Россия", 17},        // Latin, Greek, Cyrillic weigh 1
      {"e\xCC\x81", 1},                               // e and a combining accent: é after NFC
      {"\xE2\x80\x94 \xE2\x80\xB2 \xE2\x80\xA6", 6},  // em dash 1, prime 1, ellipsis 2
      {"\xF0\x9F\x98\x80", 2},                        // 😀
      {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 2},        // 👍 with a skin tone
      // 👨‍👩‍👧: three people joined by ZWJs
      {"\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 2},
      {"\xF0\x9F\x87\xAF\xF0\x9F\x87\xB5", 2},  // the flag of Japan
      {"1\xEF\xB8\x8F\xE2\x83\xA3", 2},         // keycap 1
      {"\xE2\x9D\xA4\xEF\xB8\x8F\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 6},
      {"https://example.com/a/very/long/path?with=query&and=more#fragment", 23},
      {"see http://x.com/a.", 4 + 23 + 1},
      {"(https://example.org/page)", 1 + 23 + 1},
      {"\xE7\x9C\x8B https://t.co/abc \xF0\x9F\x98\x80", 2 + 1 + 23 + 1 + 2},
      {"http://localhost is no link", 27},
      {"https:// nor this", 17},
      {std::string(256, 'a') + " https://example.com", 280},
      {"ahttps://example.com", 20},  // glued to a word: not a link
      {"\xFF", 2},                   // a byte that is not UTF-8: one replacement character
  };
  for (const auto& c : cases) EXPECT_EQ(twitter::WeightedLength(c.text), c.length) << c.text;
}

TEST_F(TwitterX, OverTheLimitNothingIsSentAnywhere) {
  std::string text;
  for (int i = 0; i < 141; ++i) text += "字";
  PostToTickedServices(fake, ServiceRows(), text, "");
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_NE(fake.boxes[0].find("282个字符"), std::string::npos) << fake.boxes[0];
  EXPECT_TRUE(fake.calls.empty());

  text.resize(text.size() - 3);  // 140: within the limit
  fake.replies = {Answer(201, R"({"data":{"id":"5"}})")};
  PostToTickedServices(fake, ServiceRows(), text, "");
  EXPECT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.calls.size(), 1u);
}

// ---- posting: every answer ----

TEST_F(TwitterX, EveryAnswerEndsInItsLines) {
  const std::string picture = folder + "/p.jpg";
  coretest::Spit(picture, "\xFF\xD8\xFF jpeg");
  const std::string failed = "发表Tweet失败!";
  const std::string upload = R"({"data":{"id":"77","media_key":"3_77"}})";
  struct {
    const char* name;
    bool withPicture;
    std::vector<SHttpAnswer> replies;
    std::vector<std::string> lines;  // after "正在发到Twitter..."
  } const cases[] = {
      {"posted",
       false,
       {Answer(201, R"({"data":{"id":"150000000000000001","text":"t"}})")},
       {"成功发表一条Tweet! https://x.com/i/status/150000000000000001"}},
      {"an id as a number keeps its digits",
       false,
       {Answer(201, R"({"data":{"id":1880000000000000001}})")},
       {"成功发表一条Tweet! https://x.com/i/status/1880000000000000001"}},
      {"with the picture",
       true,
       {Answer(200, upload), Answer(201, R"({"data":{"id":"8"}})")},
       {"成功发表一条Tweet! https://x.com/i/status/8"}},
      {"duplicate",
       false,
       {Answer(
           403,
           R"({"title":"Forbidden","detail":"You are not allowed to create a Tweet with duplicate content.","type":"about:blank","status":403})")},
       {failed, "原因:You are not allowed to create a Tweet with duplicate content."}},
      {"client not enrolled",
       false,
       {Answer(
           403,
           R"({"client_id":"1","detail":"When authenticating requests to the Twitter API v2 endpoints, you must use keys and tokens from a Twitter developer App that is attached to a Project.","title":"Client Forbidden","reason":"client-not-enrolled","type":"https://api.twitter.com/2/problems/client-forbidden"})")},
       {failed,
        "原因:When authenticating requests to the Twitter API v2 endpoints, you must use keys and "
        "tokens from a Twitter developer App that is attached to a Project. "
        "(client-not-enrolled)"}},
      {"rate limit",
       false,
       {Answer(429, R"({"title":"Too Many Requests","detail":"Too Many Requests","status":429})",
               1796706600)},
       {failed, "原因:Too Many Requests，请在2026-12-08 05:10:00之后再试"}},
      {"title only",
       false,
       {Answer(401, R"({"title":"Unauthorized","type":"about:blank"})")},
       {failed, "原因:Unauthorized"}},
      {"v1 style errors",
       false,
       {Answer(400, R"({"errors":[{"message":"Bad text"}]})")},
       {failed, "原因:Bad text"}},
      {"HTML error page",
       false,
       {Answer(502, "<html><body>Bad Gateway</body></html>")},
       {failed, "原因:HTTP 502"}},
      {"HTML with success",
       false,
       {Answer(200, "<html><body>hello</body></html>")},
       {failed, "原因:服务器的回应无法识别"}},
      {"cut JSON",
       false,
       {Answer(201, R"({"data":{"id":"15000)")},
       {failed, "原因:服务器的回应无法识别"}},
      {"no data.id",
       false,
       {Answer(201, R"({"data":{"text":"t"}})")},
       {failed, "原因:服务器的回应无法识别"}},
      {"an id that is no id",
       false,
       {Answer(201, R"({"data":{"id":"12; rm"}})")},
       {failed, "原因:服务器的回应无法识别"}},
      {"an id as a double",
       false,
       {Answer(201, R"({"data":{"id":1.88e18}})")},
       {failed, "原因:服务器的回应无法识别"}},
      {"no answer",
       false,
       {NoAnswer(EQWBlogFailure::ConnectionLost)},
       {failed, "原因:连接中断，没有收到回应"}},
      {"huge answer",
       false,
       {NoAnswer(EQWBlogFailure::TooLarge)},
       {failed, "原因:服务器的回应过大"}},
      {"upload refused",
       true,
       {Answer(400, R"({"title":"Invalid Request","detail":"File size exceeds 5242880 bytes."})")},
       {failed, "原因:图片上传失败(File size exceeds 5242880 bytes.)"}},
      {"upload without id",
       true,
       {Answer(200, R"({"data":{}})")},
       {failed, "原因:图片上传失败(服务器的回应无法识别)"}},
      {"picture unreadable",
       true,
       {NoAnswer(EQWBlogFailure::Picture)},
       {failed, "原因:图片无法读取(不存在、不是普通文件或太大)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake.log.clear();
    fake.calls.clear();
    fake.replies.assign(c.replies.begin(), c.replies.end());
    const bool posted = PostStatus(fake, Row(), "t", c.withPicture ? picture : "");
    std::vector<std::string> lines = {"正在发到Twitter..."};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(fake.log, lines);
    EXPECT_EQ(posted, c.lines.size() == 1);
    EXPECT_TRUE(fake.replies.empty());  // a failed upload posts nothing
  }
}

TEST_F(TwitterX, MissingKeysAreNamedAndNothingIsSent) {
  UseIni("[Consumers]\r\nTwitterKey=wk\r\n");
  EXPECT_FALSE(BindAccount(fake, Row()));
  ASSERT_EQ(fake.boxes.size(), 1u);
  const std::string& box = fake.boxes[0];
  EXPECT_NE(box.find(folder + "/Services.ini的[Consumers]"), std::string::npos) << box;
  EXPECT_NE(box.find("TwitterSecret=..."), std::string::npos) << box;
  EXPECT_EQ(box.find("TwitterKey="), std::string::npos) << box;
  EXPECT_FALSE(PostStatus(fake, Row(), "t", ""));
  EXPECT_EQ(fake.log.back(), "原因:Services.ini的[Consumers]中缺少TwitterSecret(X应用的密钥)");
  EXPECT_TRUE(fake.calls.empty());
  EXPECT_TRUE(fake.pages.empty());
}

// ---- binding ----

TEST_F(TwitterX, BindsOverHttpsTakingTheNameFromWhereItIs) {
  const SHttpAnswer requestToken = Answer(200, "oauth_token=rt&oauth_token_secret=rs");
  struct {
    const char* name;
    std::vector<SHttpAnswer> replies;
    bool bound;
    std::string shown;  // the name, or the message box
    size_t calls;
  } const cases[] = {
      {"screen name in the access answer",
       {requestToken,
        Answer(200, "oauth_token=at2&oauth_token_secret=as2&user_id=9&screen_name=xuser")},
       true,
       "xuser",
       2},
      {"name from /2/users/me",
       {requestToken, Answer(200, "oauth_token=at2&oauth_token_secret=as2"),
        Answer(200, R"({"data":{"id":"2244994945","name":"X Dev","username":"xdev"}})")},
       true,
       "xdev",
       3},
      {"no name anywhere",
       {requestToken, Answer(200, "oauth_token=at2&oauth_token_secret=as2"),
        Answer(401, R"({"title":"Unauthorized"})")},
       false,
       "获取用户信息失败\r\n\r\n失败原因:Unauthorized",
       3},
      {"request token refused",
       {Answer(401, R"({"errors":[{"code":32,"message":"Could not authenticate you."}]})")},
       false,
       "获取Request_Token失败!\r\n\r\n失败原因:Could not authenticate you.",
       1},
      {"access token: no answer",
       {requestToken, NoAnswer(EQWBlogFailure::TimedOut)},
       false,
       "获取Access Token失败!",
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake.boxes.clear();
    fake.calls.clear();
    fake.shown.clear();
    fake.replies.assign(c.replies.begin(), c.replies.end());
    EXPECT_EQ(BindAccount(fake, Row()), c.bound);
    EXPECT_EQ(c.bound ? fake.shown.back() : fake.boxes.at(0), c.shown);
    ASSERT_EQ(fake.calls.size(), c.calls);
    EXPECT_EQ(fake.calls[0], "GET https://api.x.com/oauth/request_token");
    if (c.calls > 1) EXPECT_EQ(fake.calls[1], "GET https://api.x.com/oauth/access_token");
    if (c.calls > 2) EXPECT_EQ(fake.calls[2], "GET https://api.x.com/2/users/me");
  }
  EXPECT_EQ(fake.pages.front(), "https://api.x.com/oauth/authorize?oauth_token=rt");
  EXPECT_EQ(fake.Account(Row()).name, "xdev");  // a failed binding kept the last one
  EXPECT_EQ(fake.Account(Row()).userId, "2244994945");
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

TEST_F(TwitterX, TheOriginalInterfaceSaysThePictureStayedBehind) {
  UseIni("[Twitter]\r\nApi=1\r\n");
  fake.replies = {Answer(200, R"({"created_at":"Mon","id":7})")};
  EXPECT_TRUE(PostStatus(fake, Row(), "t", folder + "/p.png"));
  EXPECT_EQ(fake.calls,
            (std::vector<std::string>{"POST http://api.twitter.com/1/statuses/update.json"}));
  EXPECT_EQ(fake.log,
            (std::vector<std::string>{"正在发到Twitter...", "成功发表一条Tweet!",
                                      "Twitter的原接口(Api=1)不能发图片，只发送了文字。"}));
}

}  // namespace
