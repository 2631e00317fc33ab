// Driving the real main window in a test: an offscreen application, message boxes and
// browser calls captured instead of shown, a fresh settings folder, and accounts bound
// with real tokens issued by the emulator.
#pragma once
#include <gtest/gtest.h>

#include <QObject>
#include <QUrl>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "services/Registry.h"

// The services by name, in the registry's order, for tests that name them.
enum class EService { Tencent, Sina, Sohu, Twitter, Mastodon, Bluesky };
inline const SServiceRow& ServiceRow(EService service) {
  return *ServiceRows().at(static_cast<size_t>(service));
}

// The main window's service controls (service_rows_test checks that the rows give these).
constexpr int IDC_BIND_TENCENT = 1002;
constexpr int IDC_BIND_SINA = 1008;
constexpr int IDC_BIND_SOHU = 1013;
constexpr int IDC_BIND_TWITTER = 1028;
constexpr int IDC_BIND_MASTODON = 1030;
constexpr int IDC_BIND_BLUESKY = 1033;
constexpr int IDC_TENCENT_NAME = 1012;
constexpr int IDC_SINA_NAME = 1018;
constexpr int IDC_SOHU_NAME = 1020;
constexpr int IDC_TWITTER_NAME = 1019;
constexpr int IDC_MASTODON_NAME = 1031;
constexpr int IDC_BLUESKY_NAME = 1034;
constexpr int IDC_SEND_TO_TENCENT = 1016;
constexpr int IDC_SEND_TO_SINA = 1017;
constexpr int IDC_SEND_TO_SOHU = 1021;
constexpr int IDC_SEND_TO_TWITTER = 1029;
constexpr int IDC_SEND_TO_MASTODON = 1032;
constexpr int IDC_SEND_TO_BLUESKY = 1035;

class CEmulator;
class CMainDlg;
class QApplication;

// Records every address the program opens instead of starting a browser. An optional
// callback runs for each (on the user-interface thread) — e.g. to answer a dialog.
class CUrlCatcher : public QObject {
  Q_OBJECT
 public:
  std::vector<std::string> urls;
  std::function<void(const std::string&)> onUrl;
 public slots:
  void handleUrl(const QUrl& url);
};

class CAppHarness {
 public:
  // Creates the offscreen application once per process and prepares networking.
  static QApplication& App();

  // A fresh settings folder for this test (PLUMFINCH_CONFIG_DIR) whose Services.ini sends
  // every host to a closed loopback port, so nothing leaves the machine by accident.
  // Returns the folder. Reloads the service configuration.
  static std::string FreshSettings(const std::string& testName);
  // Points the service configuration at a running emulator (writes Services.ini, reloads);
  // twitterApi 2 points Twitter at the emulator's X interface.
  static void UseEmulator(const CEmulator& emulator, const std::string& folder, bool withCa = true,
                          int twitterApi = 1);

  CAppHarness();
  ~CAppHarness();  // closes the window, removes the hooks

  // Message boxes shown so far (texts), and addresses opened.
  std::vector<std::string> Messages() const;
  void ClearMessages();
  // Runs for every message box (on the user-interface thread), after it is recorded.
  void OnMessageBox(std::function<void(const std::string&)> fn) { m_onMessage = std::move(fn); }
  CUrlCatcher& Urls() { return m_urls; }

  // Creates, initialises and shows the main window (as the program does, without its
  // own modal loop). The harness owns it until CloseWindow or its own end.
  CMainDlg* OpenWindow(const std::string& commandLine = "plumfinch");
  void CloseWindow();
  CMainDlg* Window() const { return m_dlg; }

  // Processes events until pred holds or ms pass; the last value of pred.
  static bool WaitFor(const std::function<bool()>& pred, int ms = 10000);
  static void Pump(int ms);

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_messages;
  std::function<void(const std::string&)> m_onMessage;
  CUrlCatcher m_urls;
  CMainDlg* m_dlg = nullptr;
};

// Answers the Mastodon server dialog as a user would, once it is open: it is modal, so
// this is armed before the click that opens it. The user types server into the field
// and presses OK, or presses Cancel when cancel is set; *offered gets the text the field
// held when the dialog opened.
void AnswerServerDialog(const std::string& server, bool cancel = false,
                        std::string* offered = nullptr);

// Types code into the verification-code dialog and presses OK, once it is open (the
// binding asks for it from a worker, a moment after the page was opened).
void AnswerCodeDialog(const std::string& code);

// A real access token pair for the service from the emulator, obtained through its
// request-token, authorisation and access-token endpoints. Empty on failure.
struct STokenPair {
  std::string token, secret;
};
STokenPair MintAccessTokens(const CEmulator& emulator, EService service);
// Writes the account keys of a bound service into Setting.ini, as a binding would.
void StoreBoundAccount(EService service, const STokenPair& tokens, const std::string& name,
                       const std::string& userId = "");
// Binds all four services with fresh emulator tokens (names/ids of the emulator's
// preset accounts). False when any could not be obtained.
bool StoreAllAccountsBound(const CEmulator& emulator);

// The emulator a window test program shares across its tests: started once before the
// first test with polls every pollMs (set before any worker thread exists), after
// beforeStart has run; stopped after the last. Register it with
// ::testing::AddGlobalTestEnvironment; SharedEmulator() is null until it has started.
CEmulator* SharedEmulator();
class CEmulatorEnvironment : public ::testing::Environment {
 public:
  explicit CEmulatorEnvironment(int pollMs, std::function<void()> beforeStart = {})
      : m_pollMs(pollMs), m_beforeStart(std::move(beforeStart)) {}
  void SetUp() override;
  void TearDown() override;

 private:
  int m_pollMs;
  std::function<void()> m_beforeStart;
};
