// Binding end to end: the real main window against the service emulator, with a test
// "user" who reads the code from the authorisation page and types it into the
// verification-code dialog.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>

#include "app/MainDlg.h"
#include "bind/VerifyCodeDlg.h"
#include "net/TextOps.h"
#include "res/Resource.h"
#include "settings/Profile.h"
#include "tests/support/AppHarness.h"
#include "tests/support/Emulator.h"
#include "tests/support/Proxies.h"
#include "tests/support/TestEnv.h"

namespace {

using Strings = std::vector<std::string>;

struct SService {
  EService id;
  const char* emu;  // the emulator's name of the service
  int button, label;
  const char* startLine;
  const char* name;  // preset account of the emulator
  const char* userId;
  Strings keys;
  Strings calls;  // the first requests the emulator sees: "METHOD path"
  const char* callback;
  const char* requestFailed;
  const char* requestRefused;
  const char* accessFailed;
};

void PrintTo(const SService& s, std::ostream* os) { *os << s.emu; }

const char* const kAccessRefused = "获取Access_Token失败!\r\n\r\n失败原因:";
const char* const kRefused = "获取Request_Token失败!\r\n\r\n失败原因:";
const std::string kHtml500 = "<html><body><h1>500 Internal Server Error</h1></body></html>";

// clang-format off
const SService kTencent = {EService::Tencent, "tencent", IDC_BIND_TENCENT, IDC_TENCENT_NAME,
    "绑定到腾讯微博...", "tencent_user", "", {"QQAccessToken", "QQAccessSecret", "QQName"},
    {"GET /cgi-bin/request_token", "GET /cgi-bin/authorize", "GET /cgi-bin/access_token"},
    "null", "获取Request_Token失败!", "获取Request_Token!\r\n\r\n失败原因:", "获取AccessToken失败!"};
const SService kSina = {EService::Sina, "sina", IDC_BIND_SINA, IDC_SINA_NAME, "绑定到新浪微博...",
    "新浪用户", "1904178193", {"SinaAccessToken", "SinaAccessSecret", "SinaUserID", "SinaName"},
    {"GET /oauth/request_token", "GET /oauth/authorize", "POST /oauth/access_token",
     "POST /account/verify_credentials.json"},
    nullptr, "获取Request_Token失败!", kRefused, "获取AccessToken失败!"};
const SService kSohu = {EService::Sohu, "sohu", IDC_BIND_SOHU, IDC_SOHU_NAME, "绑定到搜狐微博...",
    "搜狐用户", "20110815", {"SohuAccessToken", "SohuAccessSecret", "SohuUserID", "SohuName"},
    {"GET /oauth/request_token", "GET /oauth/authorize", "POST /oauth/access_token",
     "GET /users/show.json"},
    nullptr, "获取Request_Token失败!", kRefused, "获取AccessToken失败!"};
const SService kTwitter = {EService::Twitter, "twitter", IDC_BIND_TWITTER, IDC_TWITTER_NAME,
    "绑定到Twitter...", "twitter_user", "783214",
    {"TwitterAccessToken", "TwitterAccessSecret", "TwitterUserID", "TwitterName"},
    {"GET /oauth/request_token", "GET /oauth/authorize", "GET /oauth/access_token"}, "oob",
    "获取Request Token失败!", kRefused, "获取Access Token失败!"};
// clang-format on

// The status log without its time stamps.
Strings LogLines(CMainDlg* dlg) {
  Strings lines;
  const std::string text = dlg->GetDlgItemText(IDC_STATUS_LOG);
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos + 6, end - pos - 6));  // "HH:MM-"
    pos = end + 2;
  }
  return lines;
}

// The key=value lines of Setting.ini in file order.
std::vector<std::pair<std::string, std::string>> SettingsLines() {
  std::vector<std::pair<std::string, std::string>> lines;
  const std::string text = ReadFile(SettingsPath());
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (size_t eq = line.find('='); eq != std::string::npos)
      lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    pos = end + 1;
  }
  return lines;
}

std::string Str(const QJsonValue& v) { return v.toString().toStdString(); }
std::string OAuthParam(const QJsonValue& request, const char* name) {
  return Str(request.toObject()["oauth"].toObject()["params"].toObject()[name]);
}

// What the test user does in the verification-code dialog.
enum class EAnswer { Ok, Enter, Escape, CloseBox, BlanksFirst };

class BindingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_emu = new CEmulator;
    ASSERT_TRUE(s_emu->Start(MakeTestFolder("emulator", false)));
  }
  static void TearDownTestSuite() {
    delete s_emu;
    s_emu = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(s_emu && s_emu->Running());
    s_emu->Reset();
    folder =
        CAppHarness::FreshSettings(::testing::UnitTest::GetInstance()->current_test_info()->name());
    CAppHarness::UseEmulator(*s_emu, folder);
    harness.OnMessageBox([this](const std::string&) {
      logAtBox = harness.Window() ? LogLines(harness.Window()) : Strings();
    });
    User(EAnswer::Ok);
  }
  void TearDown() override { s_emu->Reset(); }

  // Arms the browser: the test user fetches the authorisation page, reads the code
  // and answers the dialog with before + code + after.
  void User(EAnswer how, std::string before = "", std::string after = "") {
    harness.Urls().onUrl = [=, this](const std::string& url) {
      std::string page;
      s_emu->HttpGet(url, &page);
      code = GetTextBetween(page, "<span id=\"verifier\">", "", "</span>");
      QTimer::singleShot(0, [=, this] { Answer(how, before + code + after); });
    };
  }
  // The binding runs on a worker: the dialog may open a moment after the page.
  void Answer(EAnswer how, const std::string& typed, int triesLeft = 1000) {
    QWidget* dlg = QApplication::activeModalWidget();
    if (!dlg && triesLeft > 0) {
      QTimer::singleShot(10, [=, this] { Answer(how, typed, triesLeft - 1); });
      return;
    }
    ASSERT_TRUE(dlg);
    dialogOwner = dlg->parentWidget();
    auto* edit = dlg->findChild<QLineEdit*>("ctrl_1001");
    auto* ok = dlg->findChild<QPushButton*>("ctrl_1");
    ASSERT_TRUE(edit && ok);
    if (how == EAnswer::BlanksFirst) {
      edit->setText(" \t ");
      ok->click();
      stayedOpen = dlg->isVisible() && QApplication::activeModalWidget() == dlg;
    }
    edit->setText(QString::fromStdString(typed));
    if (how == EAnswer::Ok || how == EAnswer::BlanksFirst) {
      ok->click();
    } else if (how == EAnswer::Enter || how == EAnswer::Escape) {
      QKeyEvent key(QEvent::KeyPress, how == EAnswer::Enter ? Qt::Key_Return : Qt::Key_Escape,
                    Qt::NoModifier);
      QApplication::sendEvent(dlg, &key);
    } else {
      dlg->close();
    }
  }

  CMainDlg* Bind(const SService& s) {
    CMainDlg* dlg = harness.Window() ? harness.Window() : harness.OpenWindow();
    harness.ClearMessages();
    qobject_cast<QPushButton*>(dlg->GetDlgItem(s.button))->click();
    // The binding runs on a worker; the window answers its questions meanwhile.
    EXPECT_TRUE(CAppHarness::WaitFor([dlg] { return !dlg->IsBinding(); }, 120000));
    return dlg;
  }

  // A failed run: one box with the text, shown before the failure line; nothing stored.
  void ExpectFailed(const SService& s, const std::string& box, const std::string& oldName = "") {
    CMainDlg* dlg = harness.Window();
    if (box.empty()) {
      EXPECT_TRUE(harness.Messages().empty());
    } else {
      EXPECT_EQ(harness.Messages(), Strings{box});
      ASSERT_FALSE(logAtBox.empty());
      EXPECT_EQ(logAtBox.back(), s.startLine);
    }
    const Strings log = LogLines(dlg);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], s.startLine);
    EXPECT_EQ(log.back(), "绑定失败!");
    EXPECT_EQ(dlg->GetDlgItemText(s.label), oldName.empty() ? "未绑定" : oldName);
    if (oldName.empty()) {
      for (const auto& line : SettingsLines())
        EXPECT_EQ(std::find(s.keys.begin(), s.keys.end(), line.first), s.keys.end()) << line.first;
      EXPECT_FALSE(dlg->ReadAccount(ServiceRow(s.id)).bound);
      EXPECT_EQ(dlg->ReadAccount(ServiceRow(s.id)).accessToken, "");
    }
  }

  static CEmulator* s_emu;
  std::string folder, code;
  CAppHarness harness;
  Strings logAtBox;
  QWidget* dialogOwner = nullptr;
  bool stayedOpen = false;
};
CEmulator* BindingTest::s_emu = nullptr;

class PerService : public BindingTest, public ::testing::WithParamInterface<SService> {};

TEST_P(PerService, BindsStoresInOrderAndIsBoundAfterRestart) {
  const SService& s = GetParam();
  CMainDlg* dlg = Bind(s);
  EXPECT_TRUE(harness.Messages().empty());
  EXPECT_EQ(dialogOwner, dlg);  // modal over the main window
  EXPECT_EQ(dlg->GetDlgItemText(s.label), s.name);
  EXPECT_EQ(LogLines(dlg), (Strings{s.startLine, std::string("绑定成功(") + s.name + ")!"}));

  const SAccountSnapshot account = dlg->ReadAccount(ServiceRow(s.id));
  EXPECT_TRUE(account.bound);
  EXPECT_EQ(account.name, s.name);
  EXPECT_EQ(account.userId, s.userId);
  std::vector<std::pair<std::string, std::string>> expected = {{s.keys[0], account.accessToken},
                                                               {s.keys[1], account.accessSecret}};
  if (s.keys.size() == 4) expected.emplace_back(s.keys[2], s.userId);
  expected.emplace_back(s.keys.back(), s.name);
  EXPECT_EQ(SettingsLines(), expected);
  EXPECT_FALSE(account.accessToken.empty());

  // The requests: paths, methods, callback, all correctly signed; the account call is
  // signed with the access pair just obtained.
  const QJsonArray requests = s_emu->Requests(s.emu);
  ASSERT_GE(requests.size(), qsizetype(s.calls.size()));
  for (size_t i = 0; i < s.calls.size(); ++i) {
    const QJsonObject r = requests[qsizetype(i)].toObject();
    EXPECT_EQ(Str(r["method"]) + " " + Str(r["path"]), s.calls[i]);
    EXPECT_EQ(Str(r["scheme"]), s.id == EService::Tencent ? "https" : "http");
    if (i != 1) {
      EXPECT_TRUE(r["oauth"].toObject()["valid"].toBool()) << s.calls[i];
    }
  }
  EXPECT_EQ(OAuthParam(requests[0], "oauth_callback"), s.callback ? s.callback : "");
  EXPECT_EQ(OAuthParam(requests[2], "oauth_verifier"), code);
  if (s.calls.size() == 4) {
    EXPECT_EQ(OAuthParam(requests[3], "oauth_token"), account.accessToken);
  }

  harness.CloseWindow();
  dlg = harness.OpenWindow();
  EXPECT_EQ(dlg->GetDlgItemText(s.label), s.name);
  EXPECT_TRUE(dlg->ReadAccount(ServiceRow(s.id)).bound);
  EXPECT_EQ(dlg->ReadAccount(ServiceRow(s.id)).accessToken, account.accessToken);
}

TEST_P(PerService, EachFailedStepShowsItsMessageAndStoresNothing) {
  const SService& s = GetParam();
  const QJsonObject html500{{"status", 500}, {"body", QString::fromStdString(kHtml500)}};
  const struct {
    const char* endpoint;
    const char* mode;
    QJsonObject extra;
    std::string box;
  } rows[] = {
      {"request_token", "status", html500, s.requestRefused + kHtml500},
      {"request_token", "empty", {}, s.requestFailed},
      {"access_token", "status", html500, kAccessRefused + kHtml500},
      {"access_token", "empty", {}, s.accessFailed},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.endpoint) + " " + row.mode);
    s_emu->ClearFaults();
    s_emu->SetFault(s.emu, row.endpoint, row.mode, row.extra);
    harness.Urls().urls.clear();
    Bind(s);
    ExpectFailed(s, row.box);
    // A refused request token never opens the browser.
    EXPECT_EQ(harness.Urls().urls.size(), std::string(row.endpoint) == "request_token" ? 0u : 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Services, PerService, ::testing::Values(kTencent, kSina, kSohu, kTwitter),
                         [](const auto& info) { return std::string(info.param.emu); });

TEST_F(BindingTest, VerificationCodeDialog) {
  // Blanks around the code: the leading ones are sent, so the service refuses the code.
  User(EAnswer::Ok, "  ", "  ");
  Bind(kTencent);
  const QJsonArray requests = s_emu->Requests("tencent");
  ASSERT_EQ(requests.size(), 3);
  EXPECT_EQ(OAuthParam(requests[2], "oauth_verifier"), "  " + code);
  ASSERT_EQ(harness.Messages().size(), 1u);
  EXPECT_EQ(harness.Messages()[0].rfind(kAccessRefused, 0), 0u);
  ExpectFailed(kTencent, harness.Messages()[0]);

  // Blanks only: the box, and the dialog stays open for the real code.
  User(EAnswer::BlanksFirst);
  Bind(kTencent);
  EXPECT_EQ(harness.Messages(), Strings{"请输入您在网页上看到的验证码！"});
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(LogLines(harness.Window()).back(), "绑定成功(tencent_user)!");

  // Esc or the close box after typing: no box, the run fails; Enter accepts.
  for (EAnswer how : {EAnswer::Escape, EAnswer::CloseBox}) {
    User(how);
    Bind(kSina);
    ExpectFailed(kSina, "");
  }
  User(EAnswer::Enter);
  Bind(kSina);
  EXPECT_EQ(LogLines(harness.Window()).back(), "绑定成功(新浪用户)!");
}

// The code field has the focus when the dialog opens, so a pasted code lands in it and
// Enter sends it; and it shows a whole Mastodon code: 43 characters of A-Z, a-z, 0-9,
// "-" and "_", here all of the widest of them.
TEST(VerifyCodeDialog, APastedCodeLandsInTheFieldWhichShowsItWhole) {
  CAppHarness harness;
  CVerifyCodeDlg dlg;
  QString code;
  QTimer::singleShot(0, &dlg, [&] {
    auto* edit = dlg.findChild<QLineEdit*>("ctrl_1001");
    ASSERT_TRUE(edit);
    EXPECT_EQ(dlg.focusWidget(), edit);

    const QFontMetrics metrics(edit->font());
    QChar widest = 'A';
    for (QChar c :
         QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"))
      if (metrics.horizontalAdvance(c) > metrics.horizontalAdvance(widest)) widest = c;
    code = QString(43, widest);
    QStyleOptionFrame frame;
    frame.initFrom(edit);
    frame.rect = edit->rect();
    frame.lineWidth = edit->hasFrame()
                          ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, edit)
                          : 0;
    // Inside its frame a line edit keeps a margin of 2 pixels on either side of the text.
    const int visible =
        edit->style()->subElementRect(QStyle::SE_LineEditContents, &frame, edit).width() - 4;
    EXPECT_LE(metrics.horizontalAdvance(code), visible)
        << "the field is " << edit->width() << " px";

    QApplication::clipboard()->setText(code);
    QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
    QApplication::sendEvent(dlg.focusWidget(), &paste);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dlg.focusWidget(), &enter);
  });
  QTimer::singleShot(10000, &dlg, [&] { dlg.EndDialog(IDCANCEL); });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.m_strVerifyCode, code.toStdString());
  EXPECT_TRUE(harness.Messages().empty());
}

TEST_F(BindingTest, MissingFieldsInTheAnswers) {
  // Tencent: callback not confirmed in lower case.
  s_emu->SetQuirks("tencent", {{"callback_confirmed", "TRUE"}});
  CMainDlg* dlg = Bind(kTencent);
  ASSERT_EQ(harness.Messages().size(), 1u);
  const std::string box = harness.Messages()[0];
  EXPECT_EQ(box.rfind(kTencent.requestRefused, 0), 0u);
  EXPECT_NE(box.find("oauth_token_secret="), std::string::npos);
  EXPECT_EQ(box.substr(box.size() - 30), "&oauth_callback_confirmed=TRUE");
  ExpectFailed(kTencent, box);

  // Tencent and Twitter without a name: bound with an empty name, not bound after restart.
  s_emu->SetQuirks("tencent", {{"omit", QJsonArray{"name"}}});
  s_emu->SetQuirks("twitter", {{"omit", QJsonArray{"screen_name"}}});
  for (const SService* s : {&kTencent, &kTwitter}) {
    Bind(*s);
    EXPECT_TRUE(harness.Messages().empty());
    EXPECT_EQ(LogLines(dlg).back(), "绑定成功()!");
    EXPECT_EQ(dlg->GetDlgItemText(s->label), "");
    EXPECT_TRUE(dlg->ReadAccount(ServiceRow(s->id)).bound);
    EXPECT_EQ(SettingsLines().back(), std::make_pair(s->keys.back(), std::string()));
  }
  EXPECT_EQ(dlg->ReadAccount(ServiceRow(EService::Twitter)).userId, "783214");

  // Sina without a screen name keeps the user id as name; without both, an empty name.
  s_emu->SetQuirks("sina", {{"omit", QJsonArray{"screen_name"}}});
  Bind(kSina);
  EXPECT_TRUE(harness.Messages().empty());
  EXPECT_EQ(LogLines(dlg).back(), "绑定成功(1904178193)!");
  EXPECT_EQ(ProfileString(false, "SinaName", "", ""), "1904178193");

  // Sohu without "id", or with an unreachable account call: the run fails, nothing stored.
  s_emu->SetQuirks("sohu", {{"omit", QJsonArray{"id"}}});
  Bind(kSohu);
  ExpectFailed(kSohu, "获取用户信息失败");
  s_emu->SetQuirks("sohu", {{"omit", QJsonArray{}}});
  s_emu->SetFault("sohu", "users_show", "drop");
  Bind(kSohu);
  ExpectFailed(kSohu, "获取用户信息失败");
  EXPECT_EQ(ProfileString(false, "SohuAccessToken", "", ""), "");

  harness.CloseWindow();
  dlg = harness.OpenWindow();
  EXPECT_FALSE(dlg->ReadAccount(ServiceRow(EService::Tencent)).bound);
  EXPECT_FALSE(dlg->ReadAccount(ServiceRow(EService::Twitter)).bound);
  EXPECT_EQ(dlg->GetDlgItemText(IDC_TWITTER_NAME), "未绑定");
  EXPECT_TRUE(dlg->ReadAccount(ServiceRow(EService::Sina)).bound);
}

TEST_F(BindingTest, RebindingReplacesAndAFailedRebindingKeepsTheAccount) {
  CMainDlg* dlg = Bind(kSohu);
  const SAccountSnapshot first = dlg->ReadAccount(ServiceRow(EService::Sohu));
  s_emu->Post("/control/account",
              {{"service", "sohu"}, {"screen_name", "新名字"}, {"user_id", "99"}});
  Bind(kSohu);
  const SAccountSnapshot second = dlg->ReadAccount(ServiceRow(EService::Sohu));
  EXPECT_NE(second.accessToken, first.accessToken);
  EXPECT_EQ(SettingsLines(), (std::vector<std::pair<std::string, std::string>>{
                                 {"SohuAccessToken", second.accessToken},
                                 {"SohuAccessSecret", second.accessSecret},
                                 {"SohuUserID", "99"},
                                 {"SohuName", "新名字"}}));

  // A run that got a new access pair but no account information changes nothing.
  const std::string file = ReadFile(SettingsPath());
  s_emu->SetQuirks("sohu", {{"omit", QJsonArray{"id"}}});
  Bind(kSohu);
  ExpectFailed(kSohu, "获取用户信息失败", "新名字");
  EXPECT_EQ(ReadFile(SettingsPath()), file);
  const SAccountSnapshot kept = dlg->ReadAccount(ServiceRow(EService::Sohu));
  EXPECT_TRUE(kept.bound);
  EXPECT_EQ(kept.accessToken, second.accessToken);
  EXPECT_EQ(kept.name, "新名字");
  EXPECT_EQ(kept.userId, "99");

  // Tencent: an access answer with half a pair and a name leaves the old account.
  Bind(kTencent);
  const SAccountSnapshot tencent = dlg->ReadAccount(ServiceRow(EService::Tencent));
  s_emu->SetFault("tencent", "access_token", "body", {{"body", "oauth_token=half&name=evil"}});
  Bind(kTencent);
  ExpectFailed(kTencent, std::string(kAccessRefused) + "oauth_token=half&name=evil",
               "tencent_user");
  EXPECT_EQ(dlg->ReadAccount(ServiceRow(EService::Tencent)).accessToken, tencent.accessToken);
  EXPECT_EQ(dlg->ReadAccount(ServiceRow(EService::Tencent)).name, "tencent_user");
}

TEST_F(BindingTest, LongAndEscapedNamesAreStoredAsReceived) {
  // 100 three-byte characters: shown and written whole, read back as the first 255 bytes.
  std::string longName;
  for (int i = 0; i < 100; ++i) longName += "长";
  s_emu->Post("/control/account",
              {{"service", "sina"}, {"screen_name", QString::fromStdString(longName)}});
  CMainDlg* dlg = Bind(kSina);
  EXPECT_EQ(dlg->GetDlgItemText(IDC_SINA_NAME), longName);
  EXPECT_EQ(SettingsLines().back().second, longName);

  // JSON escapes stay as they are; an escaped quote ends the name.
  s_emu->SetFault("sina", "verify_credentials", "body",
                  {{"body", R"({"id":5,"screen_name":"\u65b0\u6d6a","x":1})"}});
  Bind(kSina);
  EXPECT_EQ(dlg->GetDlgItemText(IDC_SINA_NAME), R"(\u65b0\u6d6a)");
  s_emu->SetFault("sohu", "users_show", "body", {{"body", R"({"id":"7","screen_name":"a\"b"})"}});
  Bind(kSohu);
  EXPECT_EQ(ProfileString(false, "SohuName", "", ""), "a\\");

  s_emu->ClearFaults();
  Bind(kSina);
  harness.CloseWindow();
  dlg = harness.OpenWindow();
  EXPECT_EQ(dlg->ReadAccount(ServiceRow(EService::Sina)).name, longName.substr(0, 255));
}

TEST_F(BindingTest, UnreachableAndHangingServices) {
  // Every host on a closed port: the request-token message, and no browser.
  const std::string dead = CAppHarness::FreshSettings("unreachable");
  for (const SService* s : {&kTencent, &kSina, &kSohu, &kTwitter}) {
    Bind(*s);
    ExpectFailed(*s, s->requestFailed);
  }
  EXPECT_TRUE(harness.Urls().urls.empty());

  // A service that never answers: the message once the library gives up.
  CAppHarness::UseEmulator(*s_emu, dead);
  const QWBlogOptions saved = QWBlogGetOptions();
  QWBlogOptions quick = saved;
  quick.stallTimeoutS = 1;
  quick.totalTimeoutS = 3;
  QWBlogSetOptions(quick);
  // The emulator holds the request until it is let go: only the library's time-out ends it.
  s_emu->SetFault("tencent", "request_token", "hang");
  Bind(kTencent);
  QWBlogSetOptions(saved);
  ExpectFailed(kTencent, "获取Request_Token失败!");
}

// A binding runs on a worker: while its request hangs the window answers clicks at once,
// the bind buttons wait for it, and closing the window ends it.
TEST_F(BindingTest, TheWindowStaysResponsiveWhileABindingHangsAndClosingEndsIt) {
  CMainDlg* dlg = harness.OpenWindow();
  s_emu->SetFault("sina", "request_token", "hang");
  qobject_cast<QPushButton*>(dlg->GetDlgItem(kSina.button))->click();
  ASSERT_TRUE(CAppHarness::WaitFor([] {
    for (const QJsonValue& r : s_emu->Requests("sina"))
      if (r.toObject().value("fault").toString() == "hang") return true;
    return false;
  }));
  EXPECT_TRUE(dlg->IsBinding());
  for (const SService* s : {&kTencent, &kSina, &kSohu, &kTwitter})
    EXPECT_FALSE(dlg->IsDlgItemEnabled(s->button)) << s->emu;
  auto* box = qobject_cast<QAbstractButton*>(dlg->GetDlgItem(IDC_FOLLOWING_UPDATE));
  const bool before = box->isChecked();
  box->click();
  EXPECT_TRUE(CAppHarness::WaitFor([&] { return box->isChecked() != before; }, 1000));
  // The emulator holds the request until it is let go: only the closing window ends it.
  harness.CloseWindow();
  EXPECT_EQ(harness.Window(), nullptr);
}

TEST_F(BindingTest, TwitterOnlyProxyCarriesBothTwitterRequestsAndNoOther) {
  CProxies proxies;
  ASSERT_TRUE(proxies.Start(MakeTestFolder("proxies", false)));
  CMainDlg* dlg = harness.OpenWindow();
  const struct {
    int type, port;
    const char* egress;
  } ways[] = {{7, proxies.SocksPort(), CProxies::kSocksEgress},
              {0, proxies.HttpPort(), CProxies::kHttpEgress}};
  for (const auto& way : ways) {
    s_emu->Reset();
    dlg->WriteProxy({1, way.type, ntohl(inet_addr("127.0.0.1")), way.port});
    for (const SService* s : {&kTencent, &kSina, &kSohu, &kTwitter}) {
      Bind(*s);
      EXPECT_EQ(LogLines(dlg).back(), std::string("绑定成功(") + s->name + ")!");
      const QJsonArray requests = s_emu->Requests(s->emu);
      for (size_t i = 0; i < s->calls.size(); ++i) {
        if (i == 1) continue;  // the authorisation page, fetched by the test user
        EXPECT_EQ(Str(requests[qsizetype(i)].toObject()["peer"]),
                  s->id == EService::Twitter ? way.egress : "127.0.0.1")
            << s->calls[i];
      }
    }
  }
}

}  // namespace
