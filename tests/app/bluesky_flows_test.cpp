// Bluesky end to end: the real main window against the emulator's PDS. A test user signs
// in through the sign-in dialog, posts to all six services with a picture, a link and a
// mention while the access token expires, and gets popups for a mention and a follow; and
// a sign-in with the main password of a two-factor account fails with its message.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "net/TextOps.h"
#include "notify/AlertPopup.h"
#include "settings/Profile.h"
#include "tests/post/PostTestUtil.h"
#include "tests/support/Emulator.h"
#include "tests/support/TestEnv.h"

using namespace posttest;

namespace {

using Lines = std::vector<std::string>;

[[maybe_unused]] const auto* const g_env =
    ::testing::AddGlobalTestEnvironment(new CEmulatorEnvironment(100));

std::string Server(const char* role) {
  return "127.0.0.1:" + std::to_string(SharedEmulator()->Port(role));
}
std::string Setting(const char* key) { return ProfileString(false, key, "", "", 8192); }
QJsonObject Pds() { return SharedEmulator()->Get("/control/bluesky"); }
size_t Calls(const char* endpoint) {
  size_t n = 0;
  for (const QJsonValue& r : SharedEmulator()->Requests("bluesky"))
    n += Str(r.toObject()["endpoint"]) == endpoint && r.toObject()["status"].toInt() == 200;
  return n;
}

// Fills the sign-in dialog once it is open and presses OK `oks` times.
void AnswerSignIn(const std::string& account, const std::string& password, int oks = 1,
                  int triesLeft = 1000) {
  QTimer::singleShot(10, [=] {
    QWidget* dlg = QApplication::activeModalWidget();
    if (!dlg || !dlg->findChild<QLineEdit*>("ctrl_1006")) {
      if (triesLeft > 0) AnswerSignIn(account, password, oks, triesLeft - 1);
      return;
    }
    dlg->findChild<QLineEdit*>("ctrl_1002")->setText(QString::fromStdString(Server("bluesky")));
    dlg->findChild<QLineEdit*>("ctrl_1004")->setText(QString::fromStdString(account));
    dlg->findChild<QLineEdit*>("ctrl_1006")->setText(QString::fromStdString(password));
    for (int i = 0; i < oks; ++i) dlg->findChild<QPushButton*>("ctrl_1")->click();
  });
}

class BlueskyFlows : public ::testing::Test {
 protected:
  void SetUp() override {
    SharedEmulator()->Reset();
    folder =
        CAppHarness::FreshSettings(::testing::UnitTest::GetInstance()->current_test_info()->name());
    CAppHarness::UseEmulator(*SharedEmulator(), folder);
    SetServiceAlertHook([this](int kind, long long count) { alerts.push_back({kind, count}); });
  }
  void TearDown() override {
    harness.CloseWindow();
    SetServiceAlertHook({});
  }
  bool SignIn(const std::string& account, const std::string& password, int oks = 1) {
    CMainDlg* dlg = harness.Window() ? harness.Window() : harness.OpenWindow();
    AnswerSignIn(account, password, oks);
    Click(dlg, IDC_BIND_BLUESKY);
    return CAppHarness::WaitFor([dlg] { return !dlg->IsBinding(); }, 30000);
  }
  // Mastodon bound as a user does it: the server typed, the code read off its page.
  void BindMastodon() {
    CMainDlg* dlg = harness.Window();
    harness.Urls().onUrl = [](const std::string& url) {
      std::string page;
      SharedEmulator()->HttpGet(url, &page);
      const std::string code = GetTextBetween(page, "<span id=\"verifier\">", "", "</span>");
      QTimer::singleShot(50, [code] {
        QWidget* d = QApplication::activeModalWidget();
        if (!d) return;
        d->findChild<QLineEdit*>("ctrl_1001")->setText(QString::fromStdString(code));
        d->findChild<QPushButton*>("ctrl_1")->click();
      });
    };
    AnswerServerDialog(Server("mastodon"));
    Click(dlg, IDC_BIND_MASTODON);
    ASSERT_TRUE(CAppHarness::WaitFor([dlg] { return !dlg->IsBinding(); }, 30000));
    harness.Urls().onUrl = nullptr;
  }

  std::string folder;
  CAppHarness harness;
  std::vector<std::pair<int, long long>> alerts;
};

TEST_F(BlueskyFlows, SignInPostToAllSixThroughARenewalAndAlerts) {
  ASSERT_TRUE(StoreAllAccountsBound(*SharedEmulator()));
  ASSERT_TRUE(ProfileWriteStrings({{"SinaLimit", "0"}, {"AlertAtMe", "1"}, {"NewFans", "1"}}));
  ASSERT_TRUE(SignIn("alice.test", "abcd-2345-efgh-6789"));
  CMainDlg* dlg = harness.Window();
  EXPECT_TRUE(harness.Messages().empty());
  EXPECT_EQ(dlg->GetDlgItemText(IDC_BLUESKY_NAME), "@alice.test");
  EXPECT_EQ(LogLines(dlg).back(), "绑定成功(@alice.test)!");
  const std::string refresh = Setting("BlueskyRefreshJwt");
  BindMastodon();
  ASSERT_TRUE(CAppHarness::WaitFor([dlg] { return dlg->ReadClientIp() == "203.0.113.7"; }));

  // The access token expires before the post: renewed once, stored, and the post goes on.
  SharedEmulator()->Post("/control/bluesky/expire", {});
  QImage image(40, 30, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  const std::string picture = folder + "/photo.png";
  ASSERT_TRUE(image.save(QString::fromStdString(picture)));
  for (int box : {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SINA, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER,
                  IDC_SEND_TO_MASTODON, IDC_SEND_TO_BLUESKY})
    Click(dlg, box);
  const std::string text = "六个服务 @dave.test 看 https://example.org/一 #鸟";
  dlg->SetDlgItemText(IDC_MESSAGE_TEXT, text);
  dlg->SetDlgItemText(IDC_PICTURE_PATH, picture);
  ASSERT_TRUE(SendAndWait(dlg, 60000));
  const Lines lines = LogLines(dlg);
  ASSERT_GE(lines.size(), 4u);
  const QJsonArray records = Pds()["records"].toArray();
  ASSERT_EQ(records.size(), 1);
  const std::string uri = Str(records[0].toObject()["uri"]);
  EXPECT_EQ(Lines(lines.end() - 4, lines.end()),
            (Lines{"正在发到Bluesky...", "成功发表到Bluesky!", "查看地址:",
                   "https://bsky.app/profile/alice.test/post/" + uri.substr(uri.rfind('/') + 1)}));
  for (const char* service : {"tencent", "sina", "sohu", "twitter", "mastodon"})
    EXPECT_EQ(SharedEmulator()->Posts(service).size(), 1) << service;
  const QJsonObject value = records[0].toObject()["value"].toObject();
  EXPECT_EQ(Str(value["text"]), text);
  EXPECT_EQ(value["facets"].toArray().size(), 3);  // the server took the facets and picture
  EXPECT_TRUE(value["embed"].isObject());
  EXPECT_EQ(Calls("refreshSession"), 1u);
  EXPECT_TRUE(harness.Messages().empty());

  // A mention and a follow after the baseline: a popup each, leading to the web app.
  const size_t polled = Calls("listNotifications");
  ASSERT_TRUE(CAppHarness::WaitFor([&] { return Calls("listNotifications") >= polled + 2; }));
  SharedEmulator()->Post("/control/bluesky/notify", {{"reason", "mention"}});
  SharedEmulator()->Post("/control/bluesky/notify", {{"reason", "follow"}});
  ASSERT_TRUE(CAppHarness::WaitFor([this] { return alerts.size() >= 2; }));
  EXPECT_EQ(alerts, (std::vector<std::pair<int, long long>>{{41, 1}, {42, 1}}));
  QList<CAlertPopup*> popups;
  ASSERT_TRUE(CAppHarness::WaitFor([&] {
    popups = dlg->findChildren<CAlertPopup*>();
    return popups.size() >= 2;
  }));
  EXPECT_EQ(popups[0]->GetDlgItemText(IDC_ALERT_TEXT), "\r\n您在Bluesky上收到了1条新提及");
  EXPECT_EQ(popups[0]->m_strUrl, "https://bsky.app/notifications");
  EXPECT_EQ(Pds()["update_seen_calls"].toInt(), 0);
  // Neither the password nor a token reached the log.
  const std::string log = dlg->GetDlgItemText(IDC_STATUS_LOG);
  for (const std::string& secret : {std::string("abcd-2345"), Setting("BlueskyAccessJwt"), refresh})
    EXPECT_EQ(log.find(secret), std::string::npos);
}

TEST_F(BlueskyFlows, TheMainPasswordOfATwoFactorAccountIsRefused) {
  // Not shaped like an app password: warned once, then OK again goes on with it.
  ASSERT_TRUE(SignIn("bob.test", "bob-main-password", 2));
  ASSERT_EQ(harness.Messages().size(), 2u);
  EXPECT_EQ(harness.Messages()[0].rfind("这个密码不像Bluesky的应用专用密码", 0), 0u);
  EXPECT_EQ(harness.Messages()[1].rfind("该Bluesky账号开启了两步验证", 0), 0u);
  EXPECT_EQ(LogLines(harness.Window()).back(), "绑定失败!");
  EXPECT_EQ(harness.Window()->GetDlgItemText(IDC_BLUESKY_NAME), "未绑定");
  EXPECT_EQ(Setting("BlueskyAccessJwt"), "");
}

}  // namespace
