// Test harness for the real main window.
#include "tests/support/AppHarness.h"

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "app/MainDlg.h"
#include "bind/MastodonServerDlg.h"
#include "net/ServiceHosts.h"
#include "net/TextOps.h"
#include "platform/Shell.h"
#include "settings/Profile.h"
#include "tests/support/Emulator.h"
#include "tests/support/TestEnv.h"

void CUrlCatcher::handleUrl(const QUrl& url) {
  const std::string text = url.toString(QUrl::FullyEncoded).toStdString();
  urls.push_back(text);
  if (onUrl) onUrl(text);
}

QApplication& CAppHarness::App() {
  static int argc = 1;
  static char name[] = "plumfinch-test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    Q_INIT_RESOURCE(res);
    auto* a = new QApplication(argc, argv);
    QApplication::setApplicationName("Plumfinch");
    QApplication::setQuitOnLastWindowClosed(false);
    QWBlogGlobalInit();
    return a;
  }();
  return *app;
}

std::string CAppHarness::FreshSettings(const std::string& testName) {
  const std::string folder = MakeTestFolder(testName, true);
  // Port 9 (discard) on loopback is closed: any request not meant for a test partner
  // fails at once instead of leaving the machine.
  std::string ini = "[Hosts]\r\n";
  for (const char* key : {"TencentOpen", "TencentOpenSecure", "TencentWeb", "SinaApi", "SinaWeb",
                          "SohuApi", "SohuWeb", "TwitterApi", "TwitterWeb", "Mastodon", "Bluesky"})
    ini += std::string(key) + "=127.0.0.1:9\r\n";
  ini += "IpEchoUrl=http://127.0.0.1:9/getip.asp\r\n";
  ini += "[Twitter]\r\nApi=1\r\n";  // the original interface, which the tests speak
  WriteFile(folder + "/Services.ini", ini);
  ReloadServiceConfig();
  return folder;
}

void CAppHarness::UseEmulator(const CEmulator& emulator, const std::string& folder, bool withCa,
                              int twitterApi) {
  emulator.WriteServicesIni(folder, withCa, twitterApi);
  ReloadServiceConfig();
}

CAppHarness::CAppHarness() {
  App();
  SetMessageBoxHook([this](const std::string& text) {
    std::function<void(const std::string&)> fn;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_messages.push_back(text);
      fn = m_onMessage;
    }
    if (fn) fn(text);
  });
  QDesktopServices::setUrlHandler("http", &m_urls, "handleUrl");
  QDesktopServices::setUrlHandler("https", &m_urls, "handleUrl");
  QDesktopServices::setUrlHandler("file", &m_urls, "handleUrl");
}

CAppHarness::~CAppHarness() {
  CloseWindow();
  QDesktopServices::unsetUrlHandler("http");
  QDesktopServices::unsetUrlHandler("https");
  QDesktopServices::unsetUrlHandler("file");
  SetMessageBoxHook({});
}

std::vector<std::string> CAppHarness::Messages() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_messages;
}

void CAppHarness::ClearMessages() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_messages.clear();
}

CMainDlg* CAppHarness::OpenWindow(const std::string& commandLine) {
  CloseWindow();
  CMainDlg::SetCommandLine(commandLine);
  m_dlg = new CMainDlg;
  m_dlg->Create(nullptr);
  m_dlg->show();
  Pump(0);
  return m_dlg;
}

void CAppHarness::CloseWindow() {
  if (!m_dlg) return;
  delete m_dlg;  // waits for the window's workers
  m_dlg = nullptr;
  Pump(0);
}

bool CAppHarness::WaitFor(const std::function<bool()>& pred, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() > ms) return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

void CAppHarness::Pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (ms > 0) QThread::msleep(2);
  } while (timer.elapsed() < ms);
}

namespace {

std::string Call(const std::string& url, EHttpMethod method, const CWeiboParam& params) {
  char* data = nullptr;
  int length = 0;
  if (SyncRequest(url.c_str(), method, params, data, length) != 0 || !data) return {};
  std::string body(data, size_t(length));
  ReleaseData(data);
  return body;
}

}  // namespace

namespace {

void TryServerAnswer(const std::string& server, bool cancel, std::string* offered, int triesLeft) {
  auto* dlg = qobject_cast<CMastodonServerDlg*>(QApplication::activeModalWidget());
  if (!dlg || !dlg->isVisible()) {
    if (triesLeft > 0)
      QTimer::singleShot(10, [=] { TryServerAnswer(server, cancel, offered, triesLeft - 1); });
    return;
  }
  auto* edit = dlg->findChild<QLineEdit*>("ctrl_1001");
  if (offered && edit) *offered = edit->text().toStdString();
  if (edit) edit->setText(QString::fromStdString(server));
  if (auto* button = dlg->findChild<QPushButton*>(cancel ? "ctrl_2" : "ctrl_1")) button->click();
}

}  // namespace

namespace {

void TryCodeAnswer(const std::string& code, int triesLeft) {
  QWidget* dlg = QApplication::activeModalWidget();
  auto* edit = dlg ? dlg->findChild<QLineEdit*>("ctrl_1001") : nullptr;
  auto* ok = dlg ? dlg->findChild<QPushButton*>("ctrl_1") : nullptr;
  if (!edit || !ok) {
    if (triesLeft > 0) QTimer::singleShot(10, [=] { TryCodeAnswer(code, triesLeft - 1); });
    return;
  }
  edit->setText(QString::fromStdString(code));
  ok->click();
}

}  // namespace

void AnswerCodeDialog(const std::string& code) {
  QTimer::singleShot(0, [=] { TryCodeAnswer(code, 1000); });
}

void AnswerServerDialog(const std::string& server, bool cancel, std::string* offered) {
  // Looked for every 10 ms for up to ten seconds: the dialog opens after the click.
  QTimer::singleShot(0, [=] { TryServerAnswer(server, cancel, offered, 1000); });
}

STokenPair MintAccessTokens(const CEmulator& emulator, EService service) {
  // The service's own binding requests, from its row, with the emulator as the user.
  const SServiceRow& row = ServiceRow(service);
  CWeiboParam request;
  AddConsumerParams(row, request);
  if (row.bind.callback) request.AddParam(PARAM_OAUTH_CALLBACK, row.bind.callback);
  const std::string answer = Call(EndpointAddress(row.bind.requestToken), EHttpMethod_Get, request);
  const std::string token = GetQueryValue(answer, "oauth_token");
  const std::string secret = GetQueryValue(answer, "oauth_token_secret");
  if (token.empty() || secret.empty()) return {};
  const std::string verifier = emulator.VerifierFor(token);
  CWeiboParam access;
  AddConsumerParams(row, access);
  access.AddParam(QWB_TOKEN_KEY, token.c_str());
  access.AddParam(QWB_TOKEN_SECRET, secret.c_str());
  access.AddParam(PARAM_OAUTH_VERIFIER, verifier.c_str());
  const std::string granted =
      Call(EndpointAddress(row.bind.accessToken), row.bind.accessMethod, access);
  return {GetQueryValue(granted, "oauth_token"), GetQueryValue(granted, "oauth_token_secret")};
}

void StoreBoundAccount(EService service, const STokenPair& tokens, const std::string& name,
                       const std::string& userId) {
  const SServiceRow& row = ServiceRow(service);
  const std::string prefix = row.keyPrefix;
  ProfileString(true, (prefix + "AccessToken").c_str(), tokens.token, "");
  ProfileString(true, (prefix + "AccessSecret").c_str(), tokens.secret, "");
  if (row.storesUserId) ProfileString(true, (prefix + "UserID").c_str(), userId, "");
  ProfileString(true, (prefix + "Name").c_str(), name, "");
}

bool StoreAllAccountsBound(const CEmulator& emulator) {
  const struct {
    EService service;
    const char* name;
    const char* userId;
  } rows[] = {{EService::Tencent, "tencent_user", ""},
              {EService::Sina, "新浪用户", "1904178193"},
              {EService::Sohu, "搜狐用户", "20110815"},
              {EService::Twitter, "twitter_user", "783214"}};
  for (const auto& row : rows) {
    const STokenPair tokens = MintAccessTokens(emulator, row.service);
    if (tokens.token.empty() || tokens.secret.empty()) return false;
    StoreBoundAccount(row.service, tokens, row.name, row.userId);
  }
  return true;
}

namespace {
std::unique_ptr<CEmulator> g_sharedEmulator;
}

CEmulator* SharedEmulator() { return g_sharedEmulator.get(); }

void CEmulatorEnvironment::SetUp() {
  setenv("PLUMFINCH_POLL_INTERVAL_MS", std::to_string(m_pollMs).c_str(), 1);
  CAppHarness::App();
  if (m_beforeStart) m_beforeStart();
  auto emulator = std::make_unique<CEmulator>();
  ASSERT_TRUE(emulator->Start(MakeTestFolder("emulator", false)));
  g_sharedEmulator = std::move(emulator);
}

void CEmulatorEnvironment::TearDown() { g_sharedEmulator.reset(); }
