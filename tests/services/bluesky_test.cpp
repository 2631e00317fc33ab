// The Bluesky row against a fake PDS: every way a sign-in ends, the renewal of expired
// tokens (two workers at once included), the post record with its facets and picture, a
// lost answer, polling with its baseline and pauses, and hostile answers.
#include "services/Bluesky.h"

#include <gtest/gtest.h>

#include <mutex>
#include <random>
#include <regex>
#include <thread>

#include "bind/BindFlow.h"
#include "notify/PollFlow.h"
#include "post/PostFlow.h"
#include "services/Readers.h"
#include "settings/Profile.h"
#include "tests/services/FakeServices.h"

namespace {

using servicetest::BadAnswers;
using Strings = std::vector<std::string>;
using Json = nlohmann::json;

SHttpAnswer Answer(long status, const std::string& body, long wait = -1) {
  return {true, status, body, wait};
}
SHttpAnswer Error(const char* name, long status = 400) {
  return Answer(status, Json{{"error", name}, {"message", std::string(name) + "!"}}.dump());
}
std::string Setting(const char* key) { return ProfileString(false, key, "", "", 4096); }
const SServiceRow& Row() { return servicetest::ServiceRow(servicetest::EService::Bluesky); }

// The PDS: every request recorded ("POST <method> | bearer | body or query"), answered by
// answer(), which sees the request; by default from the queue. Thread-safe.
struct SFakePds : servicetest::SFakeServices {
  std::mutex mutex;
  std::deque<SHttpAnswer> queue;
  Strings sent;
  std::function<SHttpAnswer(const SHttpRequest&)> answer;

  SHttpAnswer Http(SHttpRequest r) override {
    std::unique_lock<std::mutex> lock(mutex);
    const std::string method = r.url.substr(r.url.find("/xrpc/") + 6);
    sent.push_back(method + " | " + r.bearer + " | " +
                   (r.body.empty() ? servicetest::ParamText(r.params) : r.body));
    if (answer) {
      lock.unlock();
      return answer(r);
    }
    if (queue.empty()) return SHttpAnswer();
    SHttpAnswer a = queue.front();
    queue.pop_front();
    return a;
  }
  Json Body(size_t i) { return Json::parse(sent.at(i).substr(sent[i].rfind(" | ") + 3)); }
};

const std::string kSession =
    R"({"accessJwt":"acc1","refreshJwt":"ref1","handle":"Alice.Test","did":"did:plc:alice",)"
    R"("didDoc":{"service":[{"id":"#atproto_pds","serviceEndpoint":"https://pds.example:8443"}]}})";

class Bluesky : public ::testing::Test {
 protected:
  void SetUp() override {
    coretest::FreshSettingsFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    ReloadServiceConfig();
  }
  // A bound account, as a sign-in leaves it.
  void Bind(SFakePds& pds, const std::string& access = "acc1",
            const std::string& refresh = "ref1") {
    ASSERT_TRUE(ProfileWriteStrings({{"BlueskyPds", "pds.example"},
                                     {"BlueskyDid", "did:plc:alice"},
                                     {"BlueskyAccessJwt", access},
                                     {"BlueskyRefreshJwt", refresh},
                                     {"BlueskyHandle", "alice.test"}}));
    pds.RestoreAccounts(ServiceRows());
  }
  SFakePds pds;
};

}  // namespace

TEST_F(Bluesky, SignInStoresTheAccountOnItsPdsAndNeverThePassword) {
  pds.signIn = {true, " https://Bsky.Example/ ", "@alice.test", "pass-word-0000-xxxx"};
  pds.queue = {Answer(200, kSession)};
  ASSERT_TRUE(BindAccount(pds, Row()));
  ASSERT_EQ(pds.forms.size(), 1u);
  EXPECT_EQ(pds.forms[0].title, "绑定Bluesky");
  EXPECT_EQ(pds.forms[0].server, "bsky.social");
  EXPECT_EQ(pds.forms[0].linkUrl, "https://bsky.app/settings/app-passwords");
  EXPECT_EQ(pds.sent, Strings{"com.atproto.server.createSession |  | "
                              R"({"identifier":"alice.test","password":"pass-word-0000-xxxx"})"});
  EXPECT_EQ(pds.log, (Strings{"绑定到Bluesky...", "绑定成功(@alice.test)!"}));
  // Read back as the next start reads it: the PDS, the DID, the token pair, the handle.
  CSession restored;
  restored.RestoreAccounts(ServiceRows());
  const SAccountSnapshot a = restored.Account(Row());
  EXPECT_EQ(a.server + " " + a.userId + " " + a.accessToken + " " + a.accessSecret + " " + a.name,
            "pds.example:8443 did:plc:alice acc1 ref1 @alice.test");
  EXPECT_EQ(Setting("BlueskyServer"), "bsky.example");
  EXPECT_EQ(coretest::Slurp(SettingsPath()).find("pass-word"), std::string::npos);
}

TEST_F(Bluesky, EveryFailedSignInSaysWhyAndKeepsTheOldAccount) {
  const struct {
    std::string server;
    SHttpAnswer answer;
    std::string box;  // its start; "" for none
  } cases[] = {
      {"http://bsky.example", {}, "Bluesky服务器地址无效!"},
      {"bsky.example/path", {}, "Bluesky服务器地址无效!"},
      {"bsky.example?q=1", {}, "Bluesky服务器地址无效!"},
      {"bsky.example", SHttpAnswer{}, "无法连接到Bluesky服务器!"},
      {"bsky.example", Answer(200, "<html>hello</html>"), "该服务器不是Bluesky服务器"},
      {"bsky.example", Answer(404, "<html>404</html>"), "该服务器不是Bluesky服务器"},
      {"bsky.example", Error("AuthenticationRequired", 401), "Bluesky账号或密码错误!"},
      {"bsky.example", Error("AuthFactorTokenRequired", 401), "该Bluesky账号开启了两步验证"},
      {"bsky.example", Error("AccountTakedown", 401), "该Bluesky账号已被服务器封禁"},
      {"bsky.example", Error("RateLimitExceeded", 429),
       "登录Bluesky失败!\r\n\r\n失败原因:RateLimit"},
      {"bsky.example", Answer(200, R"({"accessJwt":"a","did":"did:plc:x"})"), "登录Bluesky失败!"},
      {"bsky.example",
       Answer(200, R"({"accessJwt":"a","refreshJwt":"r","did":"did:plc:x",)"
                   R"("handle":"x.test","active":false,"status":"suspended"})"),
       "该Bluesky账号当前不可用"},
  };
  for (const auto& c : cases) {
    SFakePds f;
    Bind(f, "old", "oldref");
    f.signIn = {true, c.server, "alice.test", "secret-pass"};
    f.queue = {c.answer};
    EXPECT_FALSE(BindAccount(f, Row())) << c.box;
    ASSERT_EQ(f.boxes.size(), 1u) << c.box;
    EXPECT_EQ(f.boxes[0].substr(0, c.box.size()), c.box);
    EXPECT_EQ(f.sent.size(), c.box.find("地址无效") != std::string::npos ? 0u : 1u) << c.box;
    EXPECT_EQ(f.log.back(), "绑定失败!");
    for (const std::string& text : f.log) EXPECT_EQ(text.find("secret-pass"), std::string::npos);
    EXPECT_EQ(f.boxes[0].find("secret-pass"), std::string::npos);
    EXPECT_EQ(f.Account(Row()).accessToken, "old");
    EXPECT_EQ(Setting("BlueskyAccessJwt"), "old");
  }
  SFakePds cancelled;  // cancelled: no box, nothing sent
  EXPECT_FALSE(BindAccount(cancelled, Row()));
  EXPECT_TRUE(cancelled.boxes.empty() && cancelled.sent.empty());
}

// Both workers find the access token expired at once: one renewal, stored before use,
// and both go on with the new pair; the rotated refresh token is never sent again.
TEST_F(Bluesky, TwoWorkersRenewTheExpiredTokenOnceAndStoreItFirst) {
  Bind(pds);
  int refreshes = 0;
  pds.answer = [&](const SHttpRequest& r) {
    if (r.url.find("refreshSession") != std::string::npos) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (r.bearer != "ref1" || ++refreshes > 1) return Error("ExpiredToken");
      return Answer(200, R"({"accessJwt":"acc2","refreshJwt":"ref2"})");
    }
    if (r.bearer != "acc2") return Error("ExpiredToken");
    EXPECT_EQ(Setting("BlueskyAccessJwt"), "acc2");  // written before it was used
    EXPECT_EQ(Setting("BlueskyRefreshJwt"), "ref2");
    if (r.url.find("createRecord") != std::string::npos)
      return Answer(200, R"({"uri":"at://did:plc:alice/app.bsky.feed.post/x","cid":"c"})");
    return Answer(200, R"({"notifications":[]})");
  };
  SPollCursor cursor;
  bool posted = false;
  std::thread post([&] { posted = PostStatus(pds, Row(), "hi", ""); });
  std::thread poll([&] { Row().own->poll(Row(), pds, cursor); });
  post.join();
  poll.join();
  EXPECT_TRUE(posted);
  EXPECT_EQ(refreshes, 1);
  EXPECT_TRUE(cursor.baseline);
  EXPECT_EQ(pds.Account(Row()).accessSecret, "ref2");
  for (const std::string& line : pds.log) EXPECT_EQ(line.find("授权已失效"), std::string::npos);
}

TEST_F(Bluesky, ARefusedRenewalIsLoggedOnceAndPollingWaitsForANewBinding) {
  Bind(pds, "acc1", "dead");
  pds.queue = {Error("ExpiredToken"), Error("ExpiredToken")};
  SPollCursor cursor;
  Row().own->poll(Row(), pds, cursor);
  Row().own->poll(Row(), pds, cursor);
  EXPECT_EQ(pds.sent.size(), 2u);  // the poll and the renewal, then nothing
  EXPECT_EQ(pds.sent[1], "com.atproto.server.refreshSession | dead | ");
  EXPECT_FALSE(PostStatus(pds, Row(), "hi", ""));
  EXPECT_EQ(pds.log,
            (Strings{"Bluesky账号的授权已失效，请重新绑定Bluesky账号。", "正在发到Bluesky...",
                     "发表Bluesky失败!", "原因:Bluesky账号的授权已失效，请重新绑定Bluesky账号。"}));
  Bind(pds, "acc3", "ref3");  // bound again: polled again
  pds.queue = {Answer(200, R"({"notifications":[]})")};
  Row().own->poll(Row(), pds, cursor);
  EXPECT_EQ(pds.sent.size(), 3u);
}

TEST_F(Bluesky, ThePostRecordCarriesFacetsAndThePicture) {
  Bind(pds);
  const std::string picture = coretest::FreshFolder("bsky-pic") + "/p.png";
  // A 3x2 BMP, 24 bits, rows padded to 12 bytes.
  std::string png =
      std::string("BM\x4e\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x03\0\0\0\x02\0\0\0\x01\0\x18\0", 30) +
      std::string(24, '\0') + std::string(24, '\x7f');
  coretest::Spit(picture, png);
  const std::string blob =
      R"({"$type":"blob","ref":{"$link":"bafk"},"mimeType":"image/bmp","size":78})";
  pds.queue = {Answer(200, R"({"blob":)" + blob + "}"),
               Answer(200, R"({"did":"did:plc:bob"})"),
               Error("InvalidRequest"),
               SHttpAnswer(),
               Error("RecordNotFound"),
               Answer(200, R"({"uri":"at://x/app.bsky.feed.post/k"})")};
  const std::string text =
      "你好👍🏽 @bob.test @nobody.test #标签 https://例子.cn/a?b=1 ok";
  ASSERT_TRUE(PostStatus(pds, Row(), text, picture)) << pds.log.back();
  ASSERT_EQ(pds.sent.size(), 6u);
  EXPECT_EQ(pds.sent[0], "com.atproto.repo.uploadBlob | acc1 | " + png);
  const Json create = pds.Body(3);
  EXPECT_EQ(create["repo"], "did:plc:alice");
  EXPECT_EQ(create["collection"], "app.bsky.feed.post");
  const std::string rkey = create["rkey"];
  EXPECT_TRUE(std::regex_match(rkey, std::regex("[2-7a-j][2-7a-z]{12}")));
  const Json& record = create["record"];
  EXPECT_EQ(record["text"], text);
  EXPECT_TRUE(std::regex_match(std::string(record["createdAt"]),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));
  EXPECT_EQ(record["embed"], Json::parse(R"({"$type":"app.bsky.embed.images","images":[{"alt":"",)"
                                         R"("image":)" +
                                         blob + R"(,"aspectRatio":{"width":3,"height":2}}]})"));
  const auto at = [&](const std::string& part) { return text.find(part); };
  Json facets = Json::array();
  for (const auto& [start, end, feature] : std::vector<std::tuple<size_t, size_t, Json>>{
           {at("@bob"),
            at(" @nobody"),
            {{"$type", "app.bsky.richtext.facet#mention"}, {"did", "did:plc:bob"}}},
           {at("#标签"), at(" https"), {{"$type", "app.bsky.richtext.facet#tag"}, {"tag", "标签"}}},
           {at("https"),
            at(" ok"),
            {{"$type", "app.bsky.richtext.facet#link"}, {"uri", "https://例子.cn/a?b=1"}}}})
    facets.push_back(
        {{"index", {{"byteStart", start}, {"byteEnd", end}}}, {"features", {feature}}});
  EXPECT_EQ(record["facets"], facets);
  // The answer was lost: the record is looked for under its key, then sent again with it.
  EXPECT_EQ(pds.sent[4],
            "com.atproto.repo.getRecord | acc1 | repo=did:plc:alice&collection="
            "app.bsky.feed.post&rkey=" +
                rkey);
  EXPECT_EQ(pds.Body(5), create);
  EXPECT_EQ(pds.log, (Strings{"正在发到Bluesky...", "成功发表到Bluesky!",
                              "查看地址:", "https://bsky.app/profile/alice.test/post/" + rkey}));
}

TEST_F(Bluesky, APictureOverTheLimitIsScaledDownAsJpegAndTheLogSaysSo) {
  Bind(pds);
  // A 24-bit BMP of 700x500 noise: 1,050,054 bytes (a 54-byte header: the 38 below, then
  // zeros).
  std::string bmp = std::string(
                        "BM\x46\x05\x10\0\0\0\0\0\x36\0\0\0\x28\0\0\0\xbc\x02\0\0"
                        "\xf4\x01\0\0\x01\0\x18\0\0\0\0\0\x10\x05\x10\0",
                        38) +
                    std::string(16, '\0');
  for (std::mt19937 random(1); bmp.size() < 1050054;) bmp += char(random());
  const std::string file = coretest::FreshFolder("bsky-big") + "/big.bmp";
  coretest::Spit(file, bmp);
  pds.queue = {
      Answer(200, R"({"blob":{"$type":"blob","ref":{"$link":"b"},"mimeType":"image/jpeg"}})"),
      Answer(200, R"({"uri":"at://x/app.bsky.feed.post/k"})")};
  ASSERT_TRUE(PostStatus(pds, Row(), "big", file)) << pds.log.back();
  EXPECT_EQ(pds.log[1], "图片超过Bluesky允许的大小(1MB)，已缩小后上传。");
  const std::string sent = pds.sent[0].substr(pds.sent[0].rfind(" | ") + 3);
  EXPECT_LE(sent.size(), 1000000u);
  EXPECT_EQ(sent.substr(0, 3), "\xff\xd8\xff");  // JPEG
}

TEST_F(Bluesky, ALostAnswerWhoseRecordExistsIsNotPostedAgain) {
  Bind(pds);
  pds.queue = {SHttpAnswer(), Answer(200, R"({"uri":"at://x","value":{}})")};
  ASSERT_TRUE(PostStatus(pds, Row(), "once", ""));
  ASSERT_EQ(pds.sent.size(), 2u);
  pds.queue = {SHttpAnswer(), SHttpAnswer()};  // nothing can be known: no second post
  EXPECT_FALSE(PostStatus(pds, Row(), "once", ""));
  EXPECT_EQ(pds.sent.size(), 4u);
  EXPECT_EQ(pds.log.back(), "原因:没有收到回应，无法确认是否已发出");
}

TEST_F(Bluesky, TooLongTextsAndFilesThatAreNoPicturesGoNowhere) {
  Bind(pds);
  pds.SetSendTicked(Row(), true);
  std::string family;  // 250 graphemes of 25 bytes each
  for (int i = 0; i < 250; ++i) family += "👨‍👩‍👧‍👦";
  for (const std::string& text : {std::string(301, 'a'), family})
    PostToTickedServices(pds, ServiceRows(), text, "");
  ASSERT_EQ(pds.boxes.size(), 2u);
  EXPECT_EQ(pds.boxes[0].rfind("发到Bluesky的内容有301个字(301字节)", 0), 0u);
  EXPECT_EQ(pds.boxes[1].rfind("发到Bluesky的内容有250个字(6250字节)", 0), 0u);
  EXPECT_TRUE(pds.sent.empty());
  const std::string file = coretest::FreshFolder("bsky-nopic") + "/a.png";
  coretest::Spit(file, "just text");
  EXPECT_FALSE(PostStatus(pds, Row(), "x", file));
  EXPECT_EQ(pds.log.back(), "原因:不是图片文件");
  EXPECT_TRUE(pds.sent.empty());
}

TEST_F(Bluesky, PollingAlertsNewMentionsAndFollowsAndPausesWhenAsked) {
  Bind(pds);
  auto list = [](std::vector<std::pair<int, const char*>> items) {
    Json n = Json::array();
    for (const auto& [id, reason] : items)
      n.push_back({{"uri", "at://n/" + std::to_string(id)}, {"reason", reason}});
    return Answer(200, Json{{"notifications", n}}.dump());
  };
  SPollCursor cursor;
  cursor.intervalMs = 45000;
  pds.queue = {
      list({{2, "mention"}, {1, "follow"}}),
      list(
          {{7, "quote"}, {6, "like"}, {5, "follow"}, {4, "reply"}, {3, "mention"}, {2, "mention"}}),
      Error("RateLimitExceeded", 429), SHttpAnswer{true, 429, "", -1, std::time(nullptr) + 600},
      Answer(429, "", 3)};
  for (int i = 0; i < 2; ++i) Row().own->poll(Row(), pds, cursor);
  EXPECT_EQ(pds.alerts, (std::vector<std::pair<int, int>>{{41, 3}, {42, 1}}));
  EXPECT_NE(pds.sent[0].find("app.bsky.notification.listNotifications | acc1 | limit=50"),
            std::string::npos);
  std::vector<int> delays;
  for (int i = 0; i < 3; ++i) {
    Row().own->poll(Row(), pds, cursor);
    delays.push_back(cursor.nextDelayMs);
  }
  EXPECT_EQ(delays[0], 90000);           // no reset time: twice the interval
  EXPECT_NEAR(delays[1], 600000, 2000);  // until the ratelimit-reset time
  EXPECT_EQ(delays[2], 45000);           // never less than the interval
  for (const std::string& s : pds.sent) EXPECT_EQ(s.find("updateSeen"), std::string::npos);
}

TEST_F(Bluesky, HostileAnswersTakeTheFailurePath) {
  int n = 0;
  for (const std::string& bad : BadAnswers()) {
    for (long status : {200L, 400L, 401L}) {
      SFakePds f;
      f.signIn = {true, "bsky.example", "a", "p"};
      f.queue = {Answer(status, bad)};
      EXPECT_FALSE(BindAccount(f, Row()));
      Bind(f, "acc", "hostile" + std::to_string(++n));
      f.queue = {Answer(status, bad), Answer(status, bad), Answer(status, bad)};
      EXPECT_FALSE(PostStatus(f, Row(), "x", ""));
      f.queue = {Answer(status, bad), Answer(status, bad), Answer(status, bad)};
      SPollCursor cursor;
      Row().own->poll(Row(), f, cursor);
      EXPECT_TRUE(f.alerts.empty());
    }
  }
}

TEST(BlueskyTid, SortsByTimeAndTimesAreRfc3339) {
  EXPECT_EQ(bluesky::MakeTid(0, 0), "2222222222222");
  EXPECT_LT(bluesky::MakeTid(1700000000000000, 1023), bluesky::MakeTid(1700000000000001, 0));
  const std::string first = bluesky::NewTid();
  EXPECT_LT(first, bluesky::NewTid());
  EXPECT_EQ(bluesky::Rfc3339Utc(1700000000123), "2023-11-14T22:13:20.123Z");
}
