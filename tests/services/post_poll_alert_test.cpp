// Posting, polling and alerts over each service row, without a window: the posting
// request's address and parameters, the reading of posting answers, the poll worker's
// baselines and alerts, the alert texts and addresses, and every answer reader given
// empty, cut, oversized, non-numeric and hostile answers.
#include <gtest/gtest.h>

#include <climits>

#include "net/TextOps.h"
#include "notify/PollFlow.h"
#include "post/PostFlow.h"
#include "services/Readers.h"
#include "tests/services/FakeServices.h"

using namespace servicetest;
using Strings = std::vector<std::string>;

namespace {

struct SPostCase {
  EService service;
  std::string url, params;                // a status without picture
  std::string pictureUrl, pictureParams;  // with "/p.jpg"
  std::string acceptedAnswer;
  Strings acceptedLines;
};

// clang-format off
const SPostCase kPostCases[] = {
    {EService::Tencent, "http://open.t.qq.com/api/t/add", "format=json&content=微 b&clientip=1.2.3.4",
     "http://open.t.qq.com/api/t/add_pic", "format=json&content=微 b&clientip=1.2.3.4&@pic=/p.jpg",
     R"({"data":{"id":"123"},"msg":"ok"})", {"成功发表到腾讯微博!", "查看地址:", "http://t.qq.com/t/123"}},
    {EService::Sina, "http://api.t.sina.com.cn/statuses/update.json", "status=微 b",
     "http://api.t.sina.com.cn/statuses/upload.json", "status=微 b&@pic=/p.jpg",
     R"({"created_at":"Mon","id":5})", {"成功发表到新浪微博!"}},
    {EService::Sohu, "http://api.t.sohu.com/statuses/update.json", "status=微 b",
     "http://api.t.sohu.com/statuses/upload.json", "status=%E5%BE%AE%20b&@pic=/p.jpg",
     R"({"created_at":"Mon","id":5})", {"成功发表到搜狐微博!"}},
    {EService::Twitter, "http://api.twitter.com/1/statuses/update.json", "status=微 b",
     "http://api.twitter.com/1/statuses/update.json", "status=微 b",
     R"({"created_at":"Mon","id":5})", {"成功发表一条Tweet!"}},
};
// clang-format on

class PostRows : public ::testing::TestWithParam<SPostCase> {
 protected:
  void SetUp() override { UseKnownConsumers("post"); }
};

TEST_P(PostRows, RequestAddressParametersAndPicture) {
  const SPostCase& c = GetParam();
  const SServiceRow& row = ServiceRow(c.service);
  const SPostRequest text = MakePostRequest(row, {}, "微 b", "", "1.2.3.4");
  EXPECT_EQ(text.url, c.url);
  EXPECT_EQ(ParamText(text.params), c.params);
  EXPECT_EQ(text.proxyPicked, c.service == EService::Twitter);
  const SPostRequest picture = MakePostRequest(row, {}, "微 b", "/p.jpg", "1.2.3.4");
  EXPECT_EQ(picture.url, c.pictureUrl);
  EXPECT_EQ(ParamText(picture.params), c.pictureParams);
}

TEST_P(PostRows, PostStatusSignsWithTheAccountAndLogsTheOutcome) {
  const SPostCase& c = GetParam();
  const SServiceRow& row = ServiceRow(c.service);
  SFakeServices fake;
  fake.SetAccount(row, {true, "at", "as", "n", "1"});
  fake.SetClientIp("1.2.3.4");
  fake.answers = {c.acceptedAnswer};
  EXPECT_TRUE(PostStatus(fake, row, "微 b", ""));
  EXPECT_EQ(fake.calls, Strings{"POST " + c.url});
  const std::string consumer = ParamText([&] {
    CWeiboParam p;
    AddConsumerParams(row, p);
    return p;
  }());
  EXPECT_EQ(fake.params, Strings{consumer + "&strTokenKey=at&strTokenSecrect=as&" + c.params});
  Strings lines = {row.post.startLine};
  lines.insert(lines.end(), c.acceptedLines.begin(), c.acceptedLines.end());
  EXPECT_EQ(fake.log, lines);
}

TEST_P(PostRows, RefusalsAndBadAnswersLogTheFailureSafely) {
  const SServiceRow& row = ServiceRow(GetParam().service);
  Strings answers = BadAnswers();
  answers.push_back(R"({"error":"repeated weibo text!"})");
  for (const std::string& answer : answers) {
    const SPostOutcome outcome = ReadPostAnswer(row, answer);
    EXPECT_FALSE(outcome.accepted) << answer.substr(0, 40);
    ASSERT_FALSE(outcome.lines.empty());
    EXPECT_EQ(outcome.lines[0].Chinese(), row.post.failureLine);
    for (const std::string& line : ChineseLines(outcome.lines)) {
      EXPECT_EQ(line.find_first_of(std::string("\r\n\0", 3)), std::string::npos) << line;
      EXPECT_LE(line.size(), 520u);
    }
  }
  const Strings repeated = ChineseLines(ReadPostAnswer(row, answers.back()).lines);
  const bool saysRepeated =
      GetParam().service == EService::Sina || GetParam().service == EService::Sohu;
  // Every refusal gives its reason; Sina and Sohu name a repeated text as such.
  ASSERT_EQ(repeated.size(), 2u);
  if (saysRepeated) {
    EXPECT_EQ(repeated[1], "原因: 微博内容重复!");
  } else {
    EXPECT_EQ(repeated[1].rfind("原因:", 0), 0u) << repeated[1];
  }
}

INSTANTIATE_TEST_SUITE_P(Services, PostRows, ::testing::ValuesIn(kPostCases));

TEST(PostTencent, TheRefusalsMessageIsTheReasonAndTheIdIsOneLine) {
  EXPECT_EQ(
      ChineseLines(ReadPostAnswer(ServiceRow(EService::Tencent), R"({"msg":"bad\r\nline"})").lines),
      (Strings{"发表腾讯微博失败!", "原因:bad  line"}));
  UseKnownConsumers("post_id");
  EXPECT_EQ(ReadPostAnswer(ServiceRow(EService::Tencent), R"({"data":{"id":"1\n2"},"msg":"ok"})")
                .lines[2]
                .Chinese(),
            "http://t.qq.com/t/1 2");
}

// Only a whole, valid answer with a success status is a post; anything else is logged as
// a failure with its reason.
TEST(PostAnswers, OnlyAWholeValidAnswerWithASuccessStatusIsAPost) {
  struct SCase {
    EService service;
    long status;  // 0: no answer
    EQWBlogFailure failure;
    std::string body;
    std::string reason;  // "" for an accepted post
  };
  const SCase cases[] = {
      {EService::Sina, 500, {}, R"({"error":"internal","created_at":null})", "原因:internal"},
      {EService::Sina, 500, {}, R"({"created_at":"Mon","id":5})", "原因:HTTP 500"},
      {EService::Sina, 200, {}, R"({"created_at":"Mon","id":)", "原因:服务器的回应无法识别"},
      {EService::Sohu, 200, {}, R"({"created_at":"Mon"})", "原因:服务器的回应无法识别"},
      {EService::Twitter, 200, {}, R"({"created_at":null,"id":5})", "原因:服务器的回应无法识别"},
      {EService::Tencent,
       200,
       {},
       R"({"ret":0,"msg":"ok","data":{"id":)",
       "原因:服务器的回应无法识别"},
      {EService::Tencent,
       200,
       {},
       R"({"ret":0,"msg":"ok","data":{}})",
       "原因:服务器的回应无法识别"},
      {EService::Tencent, 502, {}, "<html>Bad Gateway</html>", "原因:HTTP 502"},
      {EService::Sohu, 0, EQWBlogFailure::TimedOut, "", "原因:连接超时"},
      {EService::Twitter, 0, EQWBlogFailure::Proxy, "", "原因:代理服务器连接失败"},
      {EService::Sina, 0, EQWBlogFailure::Tls, "", "原因:安全连接(TLS)失败"},
      {EService::Twitter, 201, {}, R"({"created_at":"Mon","id":7})", ""},
      {EService::Tencent, 200, {}, R"({"ret":0,"msg":"ok","data":{"id":"9"}})", ""},
  };
  for (const SCase& c : cases) {
    SHttpAnswer answer;
    answer.answered = c.status != 0;
    answer.status = c.status;
    answer.failure = c.failure;
    answer.body = c.body;
    const SServiceRow& row = ServiceRow(c.service);
    const SPostOutcome outcome = ReadPostAnswer(row, answer);
    EXPECT_EQ(outcome.accepted, c.reason.empty()) << c.body;
    ASSERT_FALSE(outcome.lines.empty());
    if (c.reason.empty()) {
      EXPECT_EQ(outcome.lines[0].Chinese(), row.post.successLine);
    } else {
      EXPECT_EQ(ChineseLines(outcome.lines), (Strings{row.post.failureLine, c.reason})) << c.body;
    }
  }
}

// A status with a zero byte would go out cut and be reported as posted: it goes nowhere.
TEST(PostAnswers, AStatusWithAZeroByteIsRefusedBeforeAnythingIsSent) {
  SFakeServices fake;
  for (const SServiceRow* row : ServiceRows()) {
    fake.SetAccount(*row, {true, "at", "as", "n", "1", "m.example"});
    fake.SetSendTicked(*row, true);
  }
  PostToTickedServices(fake, ServiceRows(), std::string("before\0after", 12), "");
  EXPECT_TRUE(fake.calls.empty());
  EXPECT_TRUE(fake.log.empty());
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].rfind("微博内容中含有空字符(NUL)", 0), 0u);
}

// ---- polling ----

struct SPollCase {
  EService service;
  std::string first, second;  // answers: baselines, then every counter grown
  std::vector<std::pair<int, int>> alerts;
};

// clang-format off
const SPollCase kPollCases[] = {
    {EService::Tencent, R"({"data":{"create":1,"fans":2,"mentions":3,"private":4},"msg":"ok"})",
     R"({"data":{"create":2,"fans":4,"mentions":6,"private":8},"msg":"ok"})", {{1, 4}, {2, 3}, {3, 1}, {4, 2}}},
    {EService::Sina, R"({"new_status":1,"followers":2,"mentions":3,"dm":4})",
     R"({"new_status":2,"followers":4,"mentions":6,"dm":8})", {{11, 4}, {12, 3}, {13, 1}, {14, 2}}},
    {EService::Sohu, R"({"id":"7","statuses_count":1,"followers_count":2})",
     R"({"id":"7","statuses_count":2,"followers_count":4})", {{23, 1}, {24, 2}}},
};
// clang-format on

class PollRows : public ::testing::TestWithParam<SPollCase> {
 protected:
  void SetUp() override {
    UseKnownConsumers("poll");
    fake.SetAccount(ServiceRow(GetParam().service), {true, "at", "as", "n", "1"});
  }
  void Poll(const std::string& answer) {
    fake.answers = {answer};
    worker.PollOnce(fake);
  }
  SFakeServices fake;
  CPollWorker worker{ServiceRow(GetParam().service)};
};

TEST_P(PollRows, FirstAnswerSetsBaselinesThenGrowthAlertsInKindOrder) {
  const SPollCase& c = GetParam();
  const SPollPlan& plan = *ServiceRow(c.service).poll;
  Poll(c.first);
  EXPECT_TRUE(fake.alerts.empty());
  Poll(c.second);
  EXPECT_EQ(fake.alerts, c.alerts);
  EXPECT_EQ(fake.calls[0], "GET " + EndpointAddress(plan.endpoint));
  // Bad answers raise nothing; the counters read from a valid one with odd values
  // become the new baselines (a number beyond 32 bits reads as missing).
  fake.alerts.clear();
  for (const std::string& bad : BadAnswers()) Poll(bad);
  EXPECT_TRUE(fake.alerts.empty());
  // Unticked options absorb rises; without any ticked option nothing is asked.
  Poll(c.first);
  fake.SetAlertTicked(EAlertGate::AtMe, false);
  fake.SetAlertTicked(EAlertGate::Following, false);
  Poll(c.second);
  for (const auto& [kind, count] : fake.alerts) {
    const SAlertKind* alert = FindAlertKind(kind);
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->gate, EAlertGate::Fans) << kind;
  }
  fake.SetAlertTicked(EAlertGate::Fans, false);
  const size_t calls = fake.calls.size();
  Poll(c.second);
  EXPECT_EQ(fake.calls.size(), calls);
  // An unbound account is not polled.
  for (EAlertGate gate : {EAlertGate::AtMe, EAlertGate::Following, EAlertGate::Fans})
    fake.SetAlertTicked(gate, true);
  fake.SetAccount(ServiceRow(c.service), {});
  Poll(c.second);
  EXPECT_EQ(fake.calls.size(), calls);
}

TEST_P(PollRows, HugeGrowthIsCappedAndDropsOnlyLower) {
  const SPollCase& c = GetParam();
  const SAlertKind& kind = ServiceRow(c.service).poll->kinds[0];
  auto answer = [&](long long v) {
    std::string text = c.first;
    const std::string key = std::string("\"") + kind.counterKey + "\":1";
    text.replace(text.find(key), key.size(), key.substr(0, key.size() - 1) + std::to_string(v));
    return text;
  };
  Poll(answer(-2147483648LL));
  Poll(answer(2147483647LL));
  ASSERT_FALSE(fake.alerts.empty());
  EXPECT_EQ(fake.alerts[0], std::make_pair(kind.kind, 2147483647));
  fake.alerts.clear();
  Poll(answer(5));
  Poll(answer(6));
  EXPECT_EQ(fake.alerts, (std::vector<std::pair<int, int>>{{kind.kind, 1}}));
}

INSTANTIATE_TEST_SUITE_P(Services, PollRows, ::testing::ValuesIn(kPollCases));

TEST(Readers, JsonCountPatternNearerTerminatorAtoiAndRange) {
  const struct {
    const char *json, *key;
    int want;
  } cases[] = {
      {R"({"fans":12,"private":3})", "fans", 12},
      {R"({"fans":12,"private":3})", "private", 3},        // last value, ended by "}"
      {R"({"a":{"dm":4},"dm":9})", "dm", 4},               // first occurrence, any depth
      {R"({"new_dm":4,"dm":9})", "dm", 9},                 // quotes delimit the key
      {R"({fans:1} {"fans" :1} {"Fans":1})", "fans", -1},  // no exact pattern
      {R"({"b":{"a":5},"c":6})", "a", 5},                  // "}" nearer than ","
      {R"({"a":12)", "a", -1},                             // cut: no terminator
      {"{\"a\": \t\r\n 42 }", "a", 42},                    // atoi: white space, sign,
      {R"({"a":+8,"b":1})", "a", 8},                       // digits up to the first other
      {R"({"a":-4})", "a", -4},
      {R"({"a":12abc})", "a", 12},
      {R"({"a":"15"})", "a", 0},  // quoted: no digits, 0
      {R"({"a":null})", "a", 0},
      {R"({"a":})", "a", 0},
      {R"({"a":2147483647})", "a", INT_MAX},
      {R"({"a":-2147483648})", "a", INT_MIN},
      {R"({"a":2147483648})", "a", -1},  // beyond 32 bits: missing
      {R"({"a":-99999999999999999999999})", "a", -1},
      {R"({"a":0000000000000000000000005})", "a", 5},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadJsonCount(c.json, c.key), c.want) << c.json;
}

TEST(PollTencent, OddValuesAreReadByTheRules) {
  // After a baseline of 2 an odd answer, then the real 5: cut in the number or too large
  // reads as missing, so 5 is a fresh baseline; a non-numeric value reads 0, a rise of 5.
  const std::string ok = R"({"ret":0,"msg":"ok","data":{"create":0,"fans":0,"mentions":0,)";
  const struct {
    const char* tail;
    std::vector<std::pair<int, int>> alerts;
  } steps[] = {{R"("private":12)", {}},
               {R"("private":98765432109})", {}},
               {R"("private":"many"})", {{1, 5}}}};
  UseKnownConsumers("poll_odd");
  for (const auto& step : steps) {
    SFakeServices fake;
    fake.SetAccount(ServiceRow(EService::Tencent), {true, "at", "as", "n", ""});
    CPollWorker worker(ServiceRow(EService::Tencent));
    fake.answers = {ok + R"("private":2})", ok + step.tail, ok + R"("private":5})"};
    for (int i = 0; i < 3; ++i) worker.PollOnce(fake);
    EXPECT_EQ(fake.alerts, step.alerts) << step.tail;
  }
}

TEST(Readers, JsonCountAndTextMembersSurviveBadAnswers) {
  for (const std::string& bad : BadAnswers()) {
    EXPECT_LE(ReadJsonCount(bad, "fans"), 0) << bad.substr(0, 40);
    EXPECT_EQ(ReadJsonCount(bad, "create"), -1) << bad.substr(0, 40);
    EXPECT_EQ(JsonTextMember(bad, "screen_name"), "");
  }
  EXPECT_EQ(ReadJsonCount(R"({"n": -7})", "n"), -7);
  EXPECT_EQ(ReadJsonCount(R"({"n":"12"})", "n"), 0);
  EXPECT_EQ(LogSafeText(std::string(600, 'a')).size(), 515u);
  EXPECT_EQ(LogSafeText("\xE5\xBE\xAE\xE5\xBE\xAE", 4), "\xE5\xBE\xAE...");
}

// ---- alerts ----

TEST(Alerts, EveryKindHasItsTextsAndAddress) {
  UseKnownConsumers("alerts");
  CSession session;
  session.SetAccount(ServiceRow(EService::Tencent), {true, "", "", "q q", ""});
  session.SetAccount(ServiceRow(EService::Sina), {true, "", "", "", "a/b#c"});
  session.SetAccount(ServiceRow(EService::Sohu), {true, "", "", "", "1&x=2"});
  // clang-format off
  const char* const rows[][4] = {
      {"1", "腾讯微博有您的新私信", "腾讯微博上有您3条新私信", "http://t.qq.com/messages/inbox"},
      {"2", "腾讯微博有提到我的消息", "您有3条提到我的消息", "http://t.qq.com/at"},
      {"3", "你关注的好友有更新", "您在腾讯微博上关注的好友已更新了3条新微博", "http://t.qq.com/"},
      {"4", "您在腾讯微博上有新粉丝", "您在腾讯微博上增加了3个新粉丝", "http://t.qq.com/q%20q/follower"},
      {"11", "新浪微博有您的新私信", "新浪微博上有您3条新私信", "http://t.sina.com.cn/messages"},
      {"12", "新浪微博有提到我的消息", "您有3条提到我的消息", "http://t.sina.com.cn/atme"},
      {"13", "你关注的好友有更新", "您在新浪微博上关注的好友已更新了3条新微博", "http://t.sina.com.cn/"},
      {"14", "您在新浪微博上有新粉丝", "您在新浪微博上增加了3个新粉丝", "http://t.sina.com.cn/a%2Fb%23c/fans"},
      {"23", "你关注的好友有更新", "您在搜狐微博上关注的好友已更新了3条新微博", "http://t.sohu.com/home"},
      {"24", "您在搜狐微博上有新粉丝", "您在搜狐微博上增加了3个新粉丝", "http://t.sohu.com/follow/followed.jsp?uid=1%26x%3D2"},
  };
  // clang-format on
  for (const auto& row : rows) {
    SAlertContent content;
    ASSERT_TRUE(DescribeServiceAlert(std::stoi(row[0]), 3, session, content)) << row[0];
    EXPECT_EQ(content.title, row[1]);
    EXPECT_EQ(content.text.Chinese(), row[2]);
    EXPECT_EQ(content.url, row[3]);
  }
  SAlertContent content;
  session.SetAccount(ServiceRow(EService::Tencent), {});
  EXPECT_TRUE(DescribeServiceAlert(4, 1, session, content));
  EXPECT_EQ(content.url, "http://t.qq.com//follower");
  EXPECT_TRUE(DescribeServiceAlert(1, 4294967296LL, session, content));
  EXPECT_EQ(content.text.Chinese(), "腾讯微博上有您4294967296条新私信");
  for (int unknown : {0, 5, 10, 21, 22, 25, -1})
    EXPECT_FALSE(DescribeServiceAlert(unknown, 1, session, content));
}

}  // namespace
