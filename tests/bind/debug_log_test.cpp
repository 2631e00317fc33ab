// The debug log on: binding through the window (with a code typed from the authorisation
// page), minting tokens for all four services, posting to all four and polling write one
// line per request to stderr, and not one of those lines holds a token, a secret, a
// signature, a nonce, a verifier or an Authorization header.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <set>

#include "app/MainDlg.h"
#include "net/Credentials.h"
#include "net/DebugLog.h"
#include "net/TextOps.h"
#include "qwblog/OAuth.h"
#include "res/Resource.h"
#include "settings/Ini.h"
#include "settings/Profile.h"
#include "tests/post/PostTestUtil.h"
#include "tests/support/AppHarness.h"
#include "tests/support/Emulator.h"
#include "tests/support/TestEnv.h"

using namespace posttest;

namespace {

// Sends stderr to a file for the life of the object.
class CStderrCapture {
 public:
  explicit CStderrCapture(const std::string& path) : m_path(path) {
    fflush(stderr);
    m_saved = dup(STDERR_FILENO);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    dup2(fd, STDERR_FILENO);
    close(fd);
  }
  // Restores stderr and gives what was written.
  std::string Finish() {
    fflush(stderr);
    dup2(m_saved, STDERR_FILENO);
    close(m_saved);
    std::string text;
    ReadIniFile(m_path, text, 64u << 20);
    return text;
  }

 private:
  std::string m_path;
  int m_saved = -1;
};

TEST(DebugLog, LinesCutAddressesToHostAndPath) {
  EXPECT_EQ(UrlForLog("http://u:pw@127.0.0.1:80/a/b?oauth_token=t&x=1#f"),
            "http://127.0.0.1:80/a/b");
  EXPECT_EQ(UrlForLog("https://h/p#frag"), "https://h/p");
  EXPECT_EQ(UrlForLog("http://h/p@x?y"), "http://h/p@x");
  QWBlogTrace trace;
  trace.method = "GET";
  trace.url = "http://h:81/q?oauth_verifier=123";
  trace.error = "Failed to connect to h port 81?oauth_token=abc\r\nmore";
  trace.bytesIn = 0;
  trace.ms = 3;
  EXPECT_EQ(DebugLogLine(trace),
            "plumfinch: GET http://h:81/q -> error: Failed to connect to h port 81, 0 bytes in, "
            "0 bytes out, 3 ms");
  trace.status = 404;
  trace.error.clear();
  trace.bytesIn = 12;
  trace.bytesOut = 7;
  EXPECT_EQ(DebugLogLine(trace),
            "plumfinch: GET http://h:81/q -> HTTP 404, 12 bytes in, 7 bytes out, 3 ms");
}

TEST(DebugLog, BindPostAndPollLogEveryRequestAndNoSecret) {
  setenv("PLUMFINCH_DEBUG_LOG", "1", 1);
  setenv("PLUMFINCH_POLL_INTERVAL_MS", "100", 1);
  ASSERT_TRUE(DebugLogEnabled());
  InstallDebugLog();
  CAppHarness::App();
  CEmulator emulator;
  ASSERT_TRUE(emulator.Start(MakeTestFolder("emulator", false)));
  const std::string folder = CAppHarness::FreshSettings("debug-log");
  CAppHarness::UseEmulator(emulator, folder);
  CStderrCapture capture(folder + "/stderr.txt");

  // A request that gets no answer: libcurl's own text says why.
  {
    CWeiboParam params;
    params.AddParam(QWB_TOKEN_SECRET, "refusedTokenSecret");
    char* data = nullptr;
    int length = 0;
    EXPECT_EQ(SyncRequest("http://127.0.0.1:1/refused?oauth_token=refusedToken", EHttpMethod_Get,
                          params, data, length),
              HTTP_RESULT_TRANSPORT);
  }

  // Bind Sina (http) and Tencent (https) as a user does: the code from the page is typed
  // into the dialog.
  std::set<std::string> secrets;
  {
    CAppHarness harness;
    CMainDlg* dlg = harness.OpenWindow();
    harness.Urls().onUrl = [&](const std::string& url) {
      std::string page;
      emulator.HttpGet(url, &page);
      const std::string code = GetTextBetween(page, "<span id=\"verifier\">", "", "</span>");
      secrets.insert(code);
      AnswerCodeDialog(code);
    };
    for (auto [button, service] : {std::pair{IDC_BIND_SINA, EService::Sina},
                                   std::pair{IDC_BIND_TENCENT, EService::Tencent}}) {
      Click(dlg, button);
      ASSERT_TRUE(CAppHarness::WaitFor([&] { return !dlg->IsBinding(); }, 30000));
      ASSERT_TRUE(dlg->ReadAccount(ServiceRow(service)).bound);
    }
    harness.CloseWindow();
  }
  for (const char* key :
       {"SinaAccessToken", "SinaAccessSecret", "QQAccessToken", "QQAccessSecret"}) {
    secrets.insert(ProfileString(false, key, "", ""));
  }

  // Fresh tokens for all four, then a post to each and polls of the three that poll.
  ASSERT_TRUE(StoreAllAccountsBound(emulator));
  for (const char* key :
       {"QQAccessToken", "QQAccessSecret", "SinaAccessToken", "SinaAccessSecret", "SohuAccessToken",
        "SohuAccessSecret", "TwitterAccessToken", "TwitterAccessSecret"}) {
    secrets.insert(ProfileString(false, key, "", ""));
  }
  {
    CAppHarness harness;
    CMainDlg* dlg = harness.OpenWindow();
    for (int box : {IDC_SEND_TO_TENCENT, IDC_SEND_TO_SINA, IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER})
      Click(dlg, box);
    dlg->SetDlgItemText(IDC_MESSAGE_TEXT, "hello from the debug log test");
    ASSERT_TRUE(SendAndWait(dlg, 60000));
    ASSERT_TRUE(CAppHarness::WaitFor(
        [&] {
          int polls = 0;
          for (const char* s : {"tencent", "sina", "sohu"}) {
            for (const QJsonValue& r : emulator.Requests(s)) {
              const std::string path = Str(r.toObject()["path"]);
              polls += path == "/api/info/update" || path == "/statuses/unread.json" ||
                       path == "/users/show.json";
            }
          }
          return polls >= 6;
        },
        30000));
    harness.CloseWindow();
  }
  const std::string log = capture.Finish();

  // Every credential the services saw, and those the program holds.
  for (const QJsonValue& r : emulator.Requests()) {
    const QJsonObject params = r.toObject()["oauth"].toObject()["params"].toObject();
    for (const char* name : {"oauth_token", "oauth_signature", "oauth_verifier", "oauth_nonce",
                             "oauth_consumer_key"}) {
      const std::string value = Str(params[name]);
      secrets.insert(value);
      secrets.insert(qwblog::PercentEncode(value));
    }
  }
  for (EService s : {EService::Tencent, EService::Sina, EService::Sohu, EService::Twitter}) {
    secrets.insert(ConsumerSecret(ServiceRow(s).consumer));
    secrets.insert(ConsumerKey(ServiceRow(s).consumer));
  }
  secrets.insert("refusedToken");
  secrets.insert("refusedTokenSecret");
  secrets.erase("");
  ASSERT_GE(secrets.size(), 30u);

  EXPECT_NE(log.find("plumfinch: POST http://127.0.0.1:"), std::string::npos) << log;
  EXPECT_NE(log.find("plumfinch: GET https://127.0.0.1:"), std::string::npos) << log;
  EXPECT_NE(log.find("-> HTTP 200, "), std::string::npos) << log;
  EXPECT_NE(log.find("plumfinch: GET http://127.0.0.1:1/refused -> error: Failed to connect to "
                     "127.0.0.1 port 1"),
            std::string::npos)
      << log;
  for (const char* path : {"/oauth/access_token", "/cgi-bin/access_token", "/statuses/update",
                           "/api/info/update", "/users/show.json", "/getip.asp"})
    EXPECT_NE(log.find(path), std::string::npos) << path;
  for (const std::string& secret : secrets) {
    ASSERT_GE(secret.size(), 4u) << "too short to search for: " << secret;
    EXPECT_EQ(log.find(secret), std::string::npos) << "a credential in the log: " << secret;
  }
  for (const char* word : {"Authorization", "OAuth ", "oauth_", "?"})
    EXPECT_EQ(log.find(word), std::string::npos) << word;
}

}  // namespace
