// Mastodon end to end: the real main window against the emulator's Mastodon server. A
// test user types the server into its dialog, reads the code from the authorisation page
// and types it into the verification-code dialog; then posting to all five services with
// a picture the server has to process, a status over the server's limit, notifications
// that raise popups, and the pause a 429 answer asks for.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>

#include "net/ServiceHosts.h"
#include "net/TextOps.h"
#include "notify/AlertPopup.h"
#include "notify/PollFlow.h"
#include "settings/Profile.h"
#include "tests/post/PostTestUtil.h"
#include "tests/support/Emulator.h"
#include "tests/support/TestEnv.h"

using namespace posttest;

namespace {

using Lines = std::vector<std::string>;
using Alerts = std::vector<std::pair<int, long long>>;

constexpr int kIntervalMs = 100;
// Short polls; the emulator starts once for every test.
[[maybe_unused]] const auto* const g_env =
    ::testing::AddGlobalTestEnvironment(new CEmulatorEnvironment(kIntervalMs));

std::string Server(const char* role = "mastodon") {
  return "127.0.0.1:" + std::to_string(SharedEmulator()->Port(role));
}

// The emulator's record of the Mastodon requests whose path starts with prefix.
std::vector<QJsonObject> Calls(const std::string& prefix) {
  std::vector<QJsonObject> out;
  for (const QJsonValue& v : SharedEmulator()->Requests("mastodon"))
    if (Str(v.toObject()["path"]).rfind(prefix, 0) == 0) out.push_back(v.toObject());
  return out;
}

std::string FormValue(const QJsonObject& request, const std::string& name) {
  for (const auto& [key, value] : FormPairs(request))
    if (key == name) return value;
  return {};
}

class MastodonFlows : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SharedEmulator() && SharedEmulator()->Running());
    SharedEmulator()->Reset();
    folder =
        CAppHarness::FreshSettings(::testing::UnitTest::GetInstance()->current_test_info()->name());
    CAppHarness::UseEmulator(*SharedEmulator(), folder);
    // No polling unless a test ticks an alert box.
    for (const char* key : {"AlertAtMe", "FollowingUpdate", "NewFans"})
      ProfileString(true, key, "0", "");
    SetServiceAlertHook([this](int kind, long long count) { alerts.push_back({kind, count}); });
  }
  void TearDown() override {
    harness.CloseWindow();
    SetServiceAlertHook({});
    SharedEmulator()->Reset();
  }

  // Binds through the window (opened when needed) as the user would, with server typed
  // into the server dialog.
  CMainDlg* Bind(const std::string& server) {
    CMainDlg* dlg = harness.Window() ? harness.Window() : harness.OpenWindow();
    harness.ClearMessages();
    harness.Urls().onUrl = [this](const std::string& url) {
      std::string page;
      SharedEmulator()->HttpGet(url, &page);
      code = GetTextBetween(page, "<span id=\"verifier\">", "", "</span>");
      QTimer::singleShot(0, [this] { TypeCode(); });
    };
    AnswerServerDialog(server);
    Click(dlg, IDC_BIND_MASTODON);
    EXPECT_TRUE(CAppHarness::WaitFor([dlg] { return !dlg->IsBinding(); }, 60000));
    harness.Urls().onUrl = nullptr;
    return dlg;
  }
  // The binding runs on a worker: the dialog may open a moment after the page.
  void TypeCode(int triesLeft = 1000) {
    QWidget* dlg = QApplication::activeModalWidget();
    if (!dlg && triesLeft > 0) {
      QTimer::singleShot(10, [this, triesLeft] { TypeCode(triesLeft - 1); });
      return;
    }
    ASSERT_TRUE(dlg);
    auto* edit = dlg->findChild<QLineEdit*>("ctrl_1001");
    auto* ok = dlg->findChild<QPushButton*>("ctrl_1");
    ASSERT_TRUE(edit && ok);
    edit->setText(QString::fromStdString(code));
    ok->click();
  }

  std::string folder, code;
  CAppHarness harness;
  Alerts alerts;
};

// ---- binding ----

TEST_F(MastodonFlows, BindsWithTheCodeAndAnUntrustedServerKeepsTheAccount) {
  const std::string server = Server();
  const std::string name = "@mastodon_user@" + server;
  CMainDlg* dlg = Bind(server);
  EXPECT_TRUE(harness.Messages().empty());
  EXPECT_EQ(dlg->GetDlgItemText(IDC_MASTODON_NAME), name);
  EXPECT_EQ(LogLines(dlg), (Lines{"绑定到Mastodon...", "绑定成功(" + name + ")!"}));
  EXPECT_EQ(code.size(), 43u);
  EXPECT_EQ(Str(SharedEmulator()->Get("/control/mastodon")["last_code"]), code);

  const QJsonArray requests = SharedEmulator()->Requests("mastodon");
  const Lines calls = {"POST /api/v1/apps", "GET /oauth/authorize", "POST /oauth/token",
                       "GET /api/v1/accounts/verify_credentials"};
  ASSERT_EQ(requests.size(), qsizetype(calls.size()));
  for (size_t i = 0; i < calls.size(); ++i) {
    const QJsonObject r = requests[qsizetype(i)].toObject();
    EXPECT_EQ(Str(r["method"]) + " " + Str(r["path"]), calls[i]);
    EXPECT_EQ(r["status"].toInt(), 200) << calls[i];
  }
  const QJsonObject token = requests[2].toObject();
  EXPECT_EQ(FormValue(token, "code"), code);
  const std::string clientSecret = FormValue(token, "client_secret");
  const std::string accessToken = Str(requests[3].toObject()["bearer"]);
  ASSERT_FALSE(clientSecret.empty());
  ASSERT_FALSE(accessToken.empty());

  const auto stored = [](const char* key) { return ProfileString(false, key, "", "", 512); };
  EXPECT_EQ(stored("MastodonServer"), server);
  EXPECT_EQ(stored("MastodonClientId"), FormValue(token, "client_id"));
  EXPECT_EQ(stored("MastodonClientSecret"), clientSecret);
  EXPECT_EQ(stored("MastodonAccessToken"), accessToken);
  EXPECT_EQ(stored("MastodonName"), name);
  EXPECT_TRUE(dlg->ReadAccount(ServiceRow(EService::Mastodon)).bound);
  const std::string log = dlg->GetDlgItemText(IDC_STATUS_LOG);
  for (const std::string& secret : {accessToken, clientSecret, code})
    EXPECT_EQ(log.find(secret), std::string::npos) << secret;

  // The same server behind a certificate the CA file does not hold: refused in the
  // handshake, so no request arrives; one box, and the account stays as it was.
  const std::string settings = ReadFile(SettingsPath());
  Bind(Server("mastodon_badcert"));
  EXPECT_EQ(harness.Messages(),
            Lines{"向Mastodon服务器注册应用失败!\r\n\r\n失败原因:安全连接(TLS)失败"});
  EXPECT_EQ(LogLines(dlg).back(), "绑定失败!");
  EXPECT_EQ(SharedEmulator()->Requests("mastodon").size(), requests.size());
  EXPECT_EQ(harness.Urls().urls.size(), 1u);  // only the first binding opened the browser
  EXPECT_EQ(dlg->GetDlgItemText(IDC_MASTODON_NAME), name);
  EXPECT_EQ(ReadFile(SettingsPath()), settings);
  EXPECT_EQ(dlg->ReadAccount(ServiceRow(EService::Mastodon)).accessToken, accessToken);
}

// ---- posting ----

class MastodonPosting : public MastodonFlows {
 protected:
  void SetUp() override {
    MastodonFlows::SetUp();
    ASSERT_TRUE(StoreAllAccountsBound(*SharedEmulator()));
    ProfileString(true, "SinaLimit", "0", "");  // Sina shares the send with the others
    dlg = Bind(Server());
    ASSERT_TRUE(dlg->ReadAccount(ServiceRow(EService::Mastodon)).bound);
    // Tencent's posts carry the public address fetched at start-up.
    ASSERT_TRUE(CAppHarness::WaitFor([this] { return dlg->ReadClientIp() == "203.0.113.7"; }));
    for (int box : {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SINA, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER,
                    IDC_SEND_TO_MASTODON})
      Click(dlg, box);
    SharedEmulator()->Reset();  // the binding's requests are not the posts'
  }
  // Sends and returns the log lines the send added.
  Lines Send(const std::string& text, const std::string& picture = "") {
    dlg->SetDlgItemText(IDC_MESSAGE_TEXT, text);
    dlg->SetDlgItemText(IDC_PICTURE_PATH, picture);
    const size_t before = LogLines(dlg).size();
    EXPECT_TRUE(SendAndWait(dlg, 60000));
    const Lines all = LogLines(dlg);
    return Lines(all.begin() + long(before), all.end());
  }
  static std::string LastPostId(const char* service) {
    const QJsonArray posts = SharedEmulator()->Posts(service);
    return posts.isEmpty() ? "" : Str(posts.last().toObject()["id"]);
  }

  CMainDlg* dlg = nullptr;
};

TEST_F(MastodonPosting, AllFiveWithAPictureTheServerProcessesFirst) {
  SharedEmulator()->Post("/control/mastodon/media", {{"processing_polls", 2}});
  const std::string bytes = "\x89PNG\r\n\x1a\n" + std::string(2000, '\x42');
  const std::string picture = folder + "/photo.png";
  ASSERT_TRUE(WriteFile(picture, bytes));
  const std::string text = "五个服务 with a picture";
  const Lines lines = Send(text, picture);

  const std::string mastodonId = LastPostId("mastodon");
  EXPECT_EQ(lines,
            (Lines{"正在检查Mastodon服务器允许的字数...", "正在发到腾讯微博...",
                   "成功发表到腾讯微博!", "查看地址:",
                   HttpUrl(*ServiceRow(EService::Tencent).web, "/t/" + LastPostId("tencent")),
                   "正在发到新浪微博...", "成功发表到新浪微博!", "正在发到搜狐微博...",
                   "成功发表到搜狐微博!", "正在发到Twitter...", "成功发表一条Tweet!",
                   "Twitter的原接口(Api=1)不能发图片，只发送了文字。", "正在发到Mastodon...",
                   "成功发表到Mastodon!",
                   "查看地址:", "https://" + Server() + "/@mastodon_user/" + mastodonId}));
  EXPECT_TRUE(harness.Messages().empty());

  // The upload waits out the processing (202, 206, 206, 200) before the status names it.
  const auto upload = Calls("/api/v2/media");
  const auto checks = Calls("/api/v1/media/");
  const auto statuses = Calls("/api/v1/statuses");
  ASSERT_EQ(upload.size(), 1u);
  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_EQ(upload[0]["status"].toInt(), 202);
  ASSERT_EQ(upload[0]["files"].toArray().size(), 1);
  EXPECT_EQ(Str(upload[0]["files"].toArray()[0].toObject()["name"]), "file");
  ASSERT_EQ(checks.size(), 3u);
  for (size_t i = 0; i < checks.size(); ++i)
    EXPECT_EQ(checks[i]["status"].toInt(), i < 2 ? 206 : 200);
  EXPECT_GT(statuses[0]["seq"].toInt(), checks.back()["seq"].toInt());

  const QJsonArray posts = SharedEmulator()->Posts("mastodon");
  ASSERT_EQ(posts.size(), 1);
  const QJsonObject post = posts[0].toObject();
  EXPECT_EQ(Str(post["text"]), text);
  ASSERT_EQ(post["media_ids"].toArray().size(), 1);
  EXPECT_EQ(FormValue(statuses[0], "media_ids[]"), Str(post["media_ids"].toArray()[0]));
  EXPECT_EQ(Str(post["picture_sha256"]),
            QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
                .toHex()
                .toStdString());
  EXPECT_FALSE(Str(statuses[0]["idempotency_key"]).empty());
  EXPECT_FALSE(statuses[0]["replay"].toBool());
}

TEST_F(MastodonPosting, AStatusOverTheLimitGoesNowhereAndALostAnswerIsNotPostedTwice) {
  SharedEmulator()->Post("/control/mastodon/instance", {{"max_characters", 10}});
  const Lines lines = Send("十一个字符的一条微博吧");
  EXPECT_EQ(harness.Messages(),
            Lines{"发到Mastodon的内容有11个字符，超过了服务器允许的10个字符。\r\n\r\n"
                  "请删减后再发送，本次没有发出任何内容。"});
  EXPECT_EQ(lines, Lines{"正在检查Mastodon服务器允许的字数..."});
  EXPECT_TRUE(SharedEmulator()->Posts().isEmpty());
  // The limit was asked for, and nothing else reached any service.
  const QJsonArray requests = SharedEmulator()->Requests();
  ASSERT_EQ(requests.size(), 1);
  EXPECT_EQ(Str(requests[0].toObject()["path"]), "/api/v1/instance");

  // Within the limit it goes to all five. Mastodon's answer is lost after the post was
  // made: asked again with the same key, the server answers from the first and the
  // status stands once.
  SharedEmulator()->SetFault("mastodon", "statuses", "drop", {{"after", true}, {"count", 1}});
  const Lines sent = Send("十个字符的一条微博啊");
  ASSERT_EQ(sent.size(), 15u);
  EXPECT_EQ(sent[12], "成功发表到Mastodon!");
  for (const char* service : {"tencent", "sina", "sohu", "twitter", "mastodon"})
    EXPECT_EQ(SharedEmulator()->Posts(service).size(), 1) << service;
  const auto statuses = Calls("/api/v1/statuses");
  ASSERT_EQ(statuses.size(), 2u);
  EXPECT_EQ(Str(statuses[0]["fault"]), "drop");
  EXPECT_TRUE(statuses[1]["replay"].toBool());
  EXPECT_FALSE(Str(statuses[0]["idempotency_key"]).empty());
  EXPECT_EQ(statuses[1]["idempotency_key"], statuses[0]["idempotency_key"]);
}

// ---- polling ----

class MastodonPolling : public MastodonFlows {
 protected:
  // Mentions and followers ticked, the other option not; bound through the window.
  void SetUp() override {
    MastodonFlows::SetUp();
    ProfileString(true, "AlertAtMe", "1", "");
    ProfileString(true, "NewFans", "1", "");
    Notify("mention", 1);  // before the binding: part of the baseline, never an alert
    Notify("follow", 1);
    dlg = Bind(Server());
    ASSERT_TRUE(dlg->ReadAccount(ServiceRow(EService::Mastodon)).bound);
  }
  static std::vector<QJsonObject> Polls() { return Calls("/api/v1/notifications"); }
  // Waits for n more answered polls; the alerts of all but the last are delivered.
  static void WaitPolls(size_t n) {
    const auto answered = [] {
      size_t count = 0;
      for (const auto& r : Polls()) count += r["status"].toInt() > 0;
      return count;
    };
    const size_t target = answered() + n;
    ASSERT_TRUE(CAppHarness::WaitFor([&] { return answered() >= target; }, 15000));
    CAppHarness::Pump(30);
  }
  static void Notify(const char* type, int count) {
    SharedEmulator()->Post("/control/mastodon/notify", {{"type", type}, {"count", count}});
  }
  std::vector<CAlertPopup*> Popups() const {
    std::vector<CAlertPopup*> out;
    for (CAlertPopup* p : dlg->findChildren<CAlertPopup*>())
      if (!p->IsWindowDestroyed()) out.push_back(p);
    return out;
  }

  CMainDlg* dlg = nullptr;
};

TEST_F(MastodonPolling, NewMentionsAndFollowersRaisePopupsThatLeadToTheServer) {
  WaitPolls(2);
  EXPECT_TRUE(alerts.empty());
  Notify("mention", 2);
  Notify("follow", 2);
  Notify("favourite", 3);  // not asked for
  WaitPolls(3);
  EXPECT_EQ(alerts, (Alerts{{31, 2}, {32, 2}}));

  const QJsonObject poll = Polls().back();
  EXPECT_EQ(Str(poll["bearer"]), ProfileString(false, "MastodonAccessToken", "", "", 512));
  const QJsonArray query = poll["query"].toArray();
  EXPECT_TRUE(query.contains(QJsonArray{"types[]", "mention"}));
  EXPECT_TRUE(query.contains(QJsonArray{"types[]", "follow"}));
  // After the baseline each poll asks only for what is newer than the newest seen.
  bool sinceId = false;
  for (const QJsonValue& pair : query) sinceId = sinceId || pair.toArray()[0] == "since_id";
  EXPECT_TRUE(sinceId);

  ASSERT_TRUE(CAppHarness::WaitFor([this] { return Popups().size() >= 2; }));
  const std::vector<CAlertPopup*> popups = Popups();
  ASSERT_EQ(popups.size(), 2u);
  EXPECT_EQ(popups[0]->GetDlgItemText(IDC_ALERT_TEXT), "\r\n您在Mastodon上收到了2条新提及");
  EXPECT_EQ(popups[1]->GetDlgItemText(IDC_ALERT_TEXT), "\r\n您在Mastodon上增加了2个新关注者");
  const std::string page = "https://" + Server() + "/notifications";
  for (CAlertPopup* p : popups) EXPECT_EQ(p->m_strUrl, page);
  qobject_cast<QAbstractButton*>(popups[0]->GetDlgItem(IDC_ALERT_VIEW))->click();
  EXPECT_EQ(harness.Urls().urls.back(), page);
}

TEST_F(MastodonPolling, A429AnswerPausesPollingForItsRetryAfter) {
  WaitPolls(3);  // polling every 100 ms
  SharedEmulator()->SetFault("mastodon", "notifications", "retry_after",
                             {{"seconds", 30}, {"count", 1}});
  const auto refused = [] {
    for (const auto& r : Polls())
      if (r["status"].toInt() == 429) return r["seq"].toInt();
    return 0;
  };
  ASSERT_TRUE(CAppHarness::WaitFor([&] { return refused() > 0; }));
  // Fifteen intervals later, still no request after the refused one.
  CAppHarness::Pump(15 * kIntervalMs);
  const auto polls = Polls();
  EXPECT_EQ(polls.back()["seq"].toInt(), refused());
  EXPECT_EQ(Str(polls.back()["fault"]), "retry_after");
}

}  // namespace
