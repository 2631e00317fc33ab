// Binding over each service row with a fake outside world: the requests, their
// parameters and order, the authorisation page, the keys written and the account
// committed; then a failure at every step, which shows its message box, logs the
// failure and keeps the account bound before.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "bind/BindFlow.h"
#include "settings/Profile.h"
#include "tests/services/FakeServices.h"

using namespace servicetest;
using Strings = std::vector<std::string>;

namespace {

struct SBindCase {
  EService service;
  Strings answers;  // of each request, for a successful run
  Strings calls;
  Strings params;
  bool proxyPicked;
  std::string page, name, userId;
  Strings keys;          // written, in this order, with the run's values
  Strings emptyBoxes;    // message box when a request's answer is empty ("": the run goes on)
  Strings refusedBoxes;  // when it is an HTML page instead
};

void PrintTo(const SBindCase& c, std::ostream* os) { *os << ServiceRow(c.service).keyPrefix; }

const std::string kHtml = "<html>x</html>";
const std::string kRequestRefused = "获取Request_Token失败!\r\n\r\n失败原因:" + kHtml;
const std::string kAccessRefused = "获取Access_Token失败!\r\n\r\n失败原因:" + kHtml;
const std::string kPair = "oauth_token=rt&oauth_token_secret=rs";

// clang-format off
const SBindCase kCases[] = {
    {EService::Tencent, {kPair + "&oauth_callback_confirmed=true", "oauth_token=at&oauth_token_secret=as&name=qq"},
     {"GET https://open.t.qq.com/cgi-bin/request_token", "GET https://open.t.qq.com/cgi-bin/access_token"},
     {"strCustomKey=tk&strCustomSecrect=ts&oauth_callback=null",
      "strCustomKey=tk&strCustomSecrect=ts&strTokenKey=rt&strTokenSecrect=rs&oauth_verifier=V123"},
     false, "https://open.t.qq.com/cgi-bin/authorize?oauth_token=rt", "qq", "",
     {"QQAccessToken", "QQAccessSecret", "QQName"},
     {"获取Request_Token失败!", "获取AccessToken失败!"},
     {"获取Request_Token!\r\n\r\n失败原因:" + kHtml, kAccessRefused}},
    {EService::Sina, {kPair, "oauth_token=at&oauth_token_secret=as&user_id=42", R"({"screen_name":"sn"})"},
     {"GET http://api.t.sina.com.cn/oauth/request_token", "POST http://api.t.sina.com.cn/oauth/access_token",
      "POST http://api.t.sina.com.cn/account/verify_credentials.json"},
     {"strCustomKey=sk&strCustomSecrect=ss",
      "strCustomKey=sk&strCustomSecrect=ss&strTokenKey=rt&strTokenSecrect=rs&oauth_verifier=V123",
      "strCustomKey=sk&strCustomSecrect=ss&strTokenKey=at&strTokenSecrect=as"},
     false, "http://api.t.sina.com.cn/oauth/authorize?oauth_token=rt", "sn", "42",
     {"SinaAccessToken", "SinaAccessSecret", "SinaUserID", "SinaName"},
     {"获取Request_Token失败!", "获取AccessToken失败!", ""}, {kRequestRefused, kAccessRefused, ""}},
    {EService::Sohu, {kPair, "oauth_token=at&oauth_token_secret=as&user_id=1", R"({"id":"7","screen_name":"sh"})"},
     {"GET http://api.t.sohu.com/oauth/request_token", "POST http://api.t.sohu.com/oauth/access_token",
      "GET http://api.t.sohu.com/users/show.json"},
     {"strCustomKey=hk&strCustomSecrect=hs",
      "strCustomKey=hk&strCustomSecrect=hs&strTokenKey=rt&strTokenSecrect=rs&oauth_verifier=V123",
      "strCustomKey=hk&strCustomSecrect=hs&strTokenKey=at&strTokenSecrect=as"},
     false, "http://api.t.sohu.com/oauth/authorize?oauth_token=rt", "sh", "7",
     {"SohuAccessToken", "SohuAccessSecret", "SohuUserID", "SohuName"},
     {"获取Request_Token失败!", "获取AccessToken失败!", "获取用户信息失败"},
     {kRequestRefused, kAccessRefused, "获取用户信息失败"}},
    {EService::Twitter, {kPair, "oauth_token=at&oauth_token_secret=as&user_id=9&screen_name=tw"},
     {"GET http://api.twitter.com/oauth/request_token", "GET http://api.twitter.com/oauth/access_token"},
     {"strCustomKey=wk&strCustomSecrect=ws&oauth_callback=oob",
      "strCustomKey=wk&strCustomSecrect=ws&strTokenKey=rt&strTokenSecrect=rs&oauth_verifier=V123"},
     true, "http://api.twitter.com/oauth/authorize?oauth_token=rt", "tw", "9",
     {"TwitterAccessToken", "TwitterAccessSecret", "TwitterUserID", "TwitterName"},
     {"获取Request Token失败!", "获取Access Token失败!"}, {kRequestRefused, kAccessRefused}},
};
// clang-format on

const SAccountSnapshot kOld = {true, "old", "olds", "oldname", "oldid"};

class BindFlow : public ::testing::TestWithParam<SBindCase> {
 protected:
  void SetUp() override {
    UseKnownConsumers(std::string("bind_") + ServiceRow(GetParam().service).keyPrefix);
    fake.SetAccount(Row(), kOld);
  }
  const SServiceRow& Row() const { return ServiceRow(GetParam().service); }
  bool Bind(Strings answers) {
    fake.answers.assign(answers.begin(), answers.end());
    return BindAccount(fake, Row());
  }
  // Forgets what the fake has recorded, as before a fresh run; the session's accounts
  // stay as the runs before left them.
  void Forget() {
    for (Strings* list :
         {&fake.calls, &fake.params, &fake.log, &fake.boxes, &fake.pages, &fake.shown})
      list->clear();
    fake.answers.clear();
    fake.proxies.clear();
    fake.alerts.clear();
    fake.code = "V123";
  }
  static std::string Key(const std::string& key) {
    return ProfileString(false, key.c_str(), "", "-");
  }

  SFakeServices fake;  // the session the runs bind in
};

TEST_P(BindFlow, RequestsPageKeysAndAccount) {
  const SBindCase& c = GetParam();
  const SServiceRow& row = ServiceRow(c.service);
  ASSERT_TRUE(Bind(c.answers));
  EXPECT_EQ(fake.calls, c.calls);
  EXPECT_EQ(fake.params, c.params);
  EXPECT_EQ(fake.proxies, std::vector<bool>(c.calls.size(), c.proxyPicked));
  EXPECT_EQ(fake.pages, Strings{c.page});
  EXPECT_EQ(fake.log, (Strings{row.bind.startLine, "绑定成功(" + c.name + ")!"}));
  EXPECT_EQ(fake.shown, Strings{c.name});
  EXPECT_TRUE(fake.boxes.empty());
  const Strings values = {"at", "as", c.keys.size() == 4 ? c.userId : c.name, c.name};
  for (size_t i = 0; i < c.keys.size(); ++i) EXPECT_EQ(Key(c.keys[i]), values[i]) << c.keys[i];
  if (c.keys.size() == 3) {
    EXPECT_EQ(Key(std::string(row.keyPrefix) + "UserID"), "-");
  }
  const SAccountSnapshot account = fake.Account(row);
  EXPECT_TRUE(account.bound);
  EXPECT_EQ(account.accessToken + account.accessSecret + "|" + account.name + "|" + account.userId,
            "atas|" + c.name + "|" + c.userId);
}

TEST_P(BindFlow, AFailureAtEachStepKeepsTheAccountItReplaces) {
  const SBindCase& c = GetParam();
  const SServiceRow& row = ServiceRow(c.service);
  auto expectKept = [&](const std::string& what) {
    EXPECT_EQ(fake.log, (Strings{row.bind.startLine, "绑定失败!"})) << what;
    const SAccountSnapshot account = fake.Account(row);
    EXPECT_EQ(account.accessToken + account.name, "oldoldname") << what;
    EXPECT_EQ(Key(c.keys.back()), "-") << what;
    EXPECT_TRUE(fake.shown.empty()) << what;
  };
  for (size_t step = 0; step < c.calls.size(); ++step) {
    for (const std::string& bad : {std::string(), kHtml}) {
      const std::string& box = bad.empty() ? c.emptyBoxes[step] : c.refusedBoxes[step];
      Strings answers(c.answers.begin(), c.answers.begin() + long(step));
      answers.push_back(bad);
      Forget();
      const bool bound = Bind(answers);
      EXPECT_EQ(fake.calls.size(), step + 1) << "no request after a failed step";
      if (box.empty()) {  // Sina keeps the user id as name without its account information
        EXPECT_TRUE(bound);
        EXPECT_EQ(fake.Account(row).name, "42");
        fake.SetAccount(row, kOld);
        SetUp();  // and a settings folder without its keys
        continue;
      }
      EXPECT_EQ(fake.boxes, Strings{box}) << step;
      expectKept("step " + std::to_string(step) + (bad.empty() ? " empty" : " html"));
    }
  }
  // The user cancels the code dialog: no message box, no access request.
  Forget();
  fake.code = "";
  EXPECT_FALSE(Bind(c.answers));
  EXPECT_EQ(fake.calls.size(), 1u);
  EXPECT_TRUE(fake.boxes.empty());
  expectKept("cancelled");
}

TEST_P(BindFlow, HalfPairsAndHostileAnswersFailTheirStep) {
  const SBindCase& c = GetParam();
  const SServiceRow& row = Row();
  // Only one half of the access pair.
  Forget();
  EXPECT_FALSE(Bind({c.answers[0], "oauth_token=at"}));
  EXPECT_EQ(fake.boxes,
            Strings{c.refusedBoxes[1].substr(0, c.refusedBoxes[1].size() - kHtml.size()) +
                    "oauth_token=at"});
  // Hostile answers at the last step: a refusal or, for Sina's optional name, the id.
  for (const std::string& bad : BadAnswers()) {
    if (bad.empty()) continue;
    Strings answers(c.answers.begin(), c.answers.end() - 1);
    answers.push_back(bad);
    Forget();
    fake.SetAccount(row, kOld);
    const bool bound = Bind(answers);
    EXPECT_EQ(bound, c.service == EService::Sina) << bad.substr(0, 40);
    if (!bound) {
      EXPECT_EQ(fake.Account(row).name, "oldname");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Services, BindFlow, ::testing::ValuesIn(kCases));

TEST(BindFlowTencent, OnlyAnExactTrueConfirmsTheCallback) {
  UseKnownConsumers("bind_confirm");
  for (const char* confirmed : {"TRUE", "true1", ""}) {
    SFakeServices fake;
    const std::string answer = kPair + "&oauth_callback_confirmed=" + confirmed;
    fake.answers = {answer};
    EXPECT_FALSE(BindAccount(fake, ServiceRow(EService::Tencent)));
    EXPECT_EQ(fake.boxes, Strings{"获取Request_Token!\r\n\r\n失败原因:" + answer});
    EXPECT_TRUE(fake.pages.empty()) << confirmed;
  }
}

// Without a browser the address is shown to be copied, and the code is asked as usual.
TEST(BindFlowWithoutBrowser, TheAddressIsShownToCopyAndTheCodeIsStillAsked) {
  UseKnownConsumers("bind_no_browser");
  SFakeServices fake;
  fake.browserWorks = false;
  fake.answers = {kPair, "oauth_token=at&oauth_token_secret=as&user_id=42",
                  R"({"screen_name":"sn"})"};
  EXPECT_TRUE(BindAccount(fake, ServiceRow(EService::Sina)));
  ASSERT_EQ(fake.pages.size(), 1u);
  ASSERT_EQ(fake.boxes.size(), 1u);
  EXPECT_EQ(fake.boxes[0].rfind("无法打开浏览器。", 0), 0u);
  EXPECT_EQ(fake.boxes[0].substr(fake.boxes[0].size() - fake.pages[0].size()), fake.pages[0]);
  EXPECT_EQ(fake.Account(ServiceRow(EService::Sina)).name, "sn");
}

// A binding that cannot be saved is a failed binding, and a save that fails leaves the
// file as it was: both on a settings folder that is a full tmpfs, in a child process
// with a mount namespace of its own (skipped where the system allows none).
bool MountFullTmpfs(const std::string& dir) {
  if (unshare(CLONE_NEWNS) != 0) {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    auto write = [](const char* path, const std::string& text) {
      FILE* f = std::fopen(path, "w");
      if (!f) return false;
      const bool ok = std::fputs(text.c_str(), f) >= 0;
      return std::fclose(f) == 0 && ok;
    };
    write("/proc/self/setgroups", "deny");
    if (!write("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !write("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
      return false;
  }
  return mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k,mode=0700") == 0;
}

std::string BindOnAFullDisk(const std::string& dir) {
  if (!MountFullTmpfs(dir)) return "skip";
  const SServiceRow& sina = ServiceRow(EService::Sina);
  if (!ProfileWriteStrings({{"SinaAccessToken", "old"}, {"SinaName", "oldname"}}))
    return "no settings file";
  const std::string before = coretest::Slurp(SettingsPath());
  {  // fill the disk
    FILE* f = std::fopen((dir + "/filler").c_str(), "w");
    const std::string block(4096, 'x');
    while (f && std::fwrite(block.data(), 1, block.size(), f) == block.size() && !std::fflush(f)) {
    }
    if (f) std::fclose(f);
  }
  SFakeServices fake;
  fake.SetAccount(sina, kOld);
  fake.answers = {kPair, "oauth_token=at&oauth_token_secret=as&user_id=42",
                  R"({"screen_name":"sn"})"};
  std::string problems;
  if (BindAccount(fake, sina)) problems += "reported bound; ";
  if (fake.boxes.size() != 1 || fake.boxes[0].rfind("绑定信息无法保存到设置文件!", 0) != 0 ||
      fake.boxes[0].find("No space left") == std::string::npos)
    problems += "box: " + (fake.boxes.empty() ? std::string("none") : fake.boxes[0]) + "; ";
  if (fake.log != Strings{sina.bind.startLine, "绑定失败!"}) problems += "log; ";
  if (!fake.shown.empty()) problems += "name shown; ";
  if (fake.Account(sina).name != "oldname") problems += "account replaced; ";
  SUserText why;
  if (ProfileWriteStrings({{"SendToSinaMB", "1"}}, &why) || why.empty()) problems += "boxes; ";
  if (coretest::Slurp(SettingsPath()) != before) problems += "file changed; ";
  return problems;
}

TEST(BindFlowDeathTest, ABindingThatCannotBeSavedOnAFullDiskFailsAndKeepsTheOldAccount) {
  GTEST_FLAG_SET(death_test_style, "fast");
  UseKnownConsumers("bind_full_disk");
  const std::string dir = std::getenv("PLUMFINCH_CONFIG_DIR");
  EXPECT_EXIT(
      {
        const std::string problems = BindOnAFullDisk(dir);
        std::fprintf(stderr, "[%s]", problems.c_str());
        std::exit(problems.empty() ? 0 : problems == "skip" ? 3 : 1);
      },
      [](int status) {
        return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3);
      },
      "");
}

}  // namespace
