// CMainDlg: the main window. It lays out the services' controls from their rows, routes
// every command of its message map to a handler, and hands the service work to the
// flows (bind/, post/, notify/), which run over its CSession. It lends the session one
// small interface (IWindowPort: the code, server and sign-in dialogs, message boxes, the browser,
// a wake-up) and shows what the flows report through the session's outbox: log lines,
// names, alerts, the end of a send. It keeps the window's own things: its controls, the
// status log, the tray icon and the hidden state.
#pragma once
#include <QIcon>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/StatusLog.h"
#include "app/TrayIcon.h"
#include "platform/Dialog.h"
#include "services/Session.h"

constexpr UINT WM_SERVICE_ALERT = WM_USER + 101;
constexpr UINT WM_TRAY_NOTIFY = WM_USER + 386;
constexpr uintptr_t HIDE_TIMER_ID = 1;

class CTrayWatch;

class CGuardedPort;

class CMainDlg : public CDialog, private IWindowPort {
  Q_OBJECT
 public:
  explicit CMainDlg(QWidget* parent = nullptr);
  ~CMainDlg() override;

  // The main window's template: the fixed controls of its resource with each service's
  // controls added from its row, in the rows' order.
  static const SDialogDef& MainTemplate();

  // ---- the service side; each call takes the session's lock (any thread) ----
  CSession& Session() { return m_session; }
  SAccountSnapshot ReadAccount(const SServiceRow& row) const { return m_session.Account(row); }
  CProxySettings ReadProxy() const { return m_session.Proxy(); }
  void WriteProxy(const CProxySettings& proxy) { m_session.SetProxy(proxy); }
  std::string ReadClientIp() const { return m_session.ClientIp(); }
  void WriteClientIp(const std::string& ip) { m_session.SetClientIp(ip); }
  // One service request with the proxy in effect; given up when the window closes.
  std::string SendServiceRequest(std::string url, EHttpMethod method, CWeiboParam params,
                                 bool isTwitter) {
    return m_session.Request(url, method, std::move(params), isTwitter);
  }
  // A time-stamped line at the end of the status log (any thread).
  void AppendStatusLog(std::string text);
  // Sina may be posted to only alone (the "SinaLimit" setting).
  bool SinaExclusive() const { return m_bSinaExclusive; }
  int LiveWorkers() const { return m_session.LiveWorkers(); }
  bool IsClosing() const { return m_session.IsClosing(); }

  // DoModal's result when networking could not be prepared (the program then ends).
  static constexpr int kNoNetworking = 3;

  // ---- reached from outside the window: the tray, the program, tests ----
  void OnShowHideWindow();
  void OnExit();
  void SetAutoRun(bool enable);
  CTrayIcon& TrayIcon() { return m_trayIcon; }
  // One look at the notification area, made whenever the desktop reports one that came or
  // went: the icon goes in when one has appeared, and the window comes back on screen when
  // the one holding the icon has gone.
  void OnTrayWatch();
  // True when the command line (program and arguments joined by blanks) asks for a
  // hidden start: its last 11 characters are exactly "-background".
  static bool IsBackgroundCommandLine(const std::string& commandLine);
  static void SetCommandLine(const std::string& commandLine);
  static std::string CommandLine();

  // ---- the services' members, each a delegate of the flow that serves them all ----
  void OnBindTencent() { OnBind(Row("QQ")); }
  void OnBindSina() { OnBind(Row("Sina")); }
  void OnBindSohu() { OnBind(Row("Sohu")); }
  void OnBindTwitter() { OnBind(Row("Twitter")); }
  bool PostToTencent(const std::string& text, const std::string& picture) {
    return PostTo(Row("QQ"), text, picture);
  }
  bool PostToSina(const std::string& text, const std::string& picture) {
    return PostTo(Row("Sina"), text, picture);
  }
  bool PostToSohu(const std::string& text, const std::string& picture) {
    return PostTo(Row("Sohu"), text, picture);
  }
  bool PostToTwitter(const std::string& text, const std::string& picture) {
    return PostTo(Row("Twitter"), text, picture);
  }
  void OnOpenTencentWeb() { OnOpenWeb(Row("QQ")); }
  void OnOpenSinaWeb() { OnOpenWeb(Row("Sina")); }
  void OnOpenSohuWeb() { OnOpenWeb(Row("Sohu")); }
  void OnOpenTwitterWeb() { OnOpenWeb(Row("Twitter")); }

  // One binding run over the row (a bind button), on a worker: the window stays
  // responsive, and the bind buttons are disabled until it ends.
  void OnBind(const SServiceRow& row);
  bool IsBinding() const { return m_bBinding; }
  // One post to the row's account, on the calling thread.
  bool PostTo(const SServiceRow& row, const std::string& text, const std::string& picture);

 protected:
  bool OnInitDialog() override;
  void OnOK() override {}      // Enter does not close the main window
  void OnCancel() override {}  // nor does Esc
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void SyncControl(int id) override;

 private:
  static const SServiceRow& Row(const char* keyPrefix);
  void BuildMessageMap();
  // The window port (any thread).
  std::string AskCode() override;
  std::string AskServer(const std::string& suggested) override;
  SSignInAnswer AskSignIn(const SSignInForm& form) override;
  void ShowMessage(const SUserText& text) override;
  bool OpenBrowser(const std::string& url) override;
  void Wake() override;
  // Shows everything the session's outbox holds (user-interface thread).
  void DrainOutbox();
  void EnableBindButtons(bool enable);
  // The alert options and send boxes, kept in the session as they change.
  void MirrorBoxesIntoSession();
  // shell
  void OnClose();
  void OnSize(WPARAM type);
  void OnTimer(uintptr_t id);
  void MinimizeOnScreen(int triesLeft);
  void RestoreAccounts();
  // Just after the window is first shown: networking, the workers, the tray icon.
  void StartAfterShown();
  LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
  void OnAutoRunClicked();
  void OnOpenWeb(const SServiceRow& row);
  void OnHelpUsage();
  void OnHelpBlog();
  void OnHelpContact();
  void OnProxySettings();
  // posting (SendTargets.cpp)
  void OnSend();
  // Sina may be posted to only alone while "SinaLimit" says so: ticking it clears and
  // disables the other boxes, ticking another one clears and disables it.
  void OnSinaTargetClicked() {
    if (m_bSinaExclusive) OnAloneTargetClicked();
  }
  void OnOtherTargetClicked() {
    if (m_bSinaExclusive) OnSharedTargetClicked();
  }
  void OnAloneTargetClicked();
  void OnSharedTargetClicked();
  void OnBrowsePicture();
  std::string ChoosePictureFile();
  void OnDropFiles(const std::vector<std::string>& paths);
  // alerts
  LRESULT OnServiceAlert(WPARAM kind, LPARAM count);

  QIcon m_hIcon;
  CTrayIcon m_trayIcon;
  // On the heap: a worker that does not end when the window goes keeps it (see the
  // destructor), so the worker never touches freed memory.
  CSession& m_session = *new CSession;
  // The port the session holds: it reaches this window until the window goes, and after
  // that nothing (it stays with a session that is left behind).
  CGuardedPort& m_port;
  bool m_bBinding = false;       // a binding worker runs (user-interface thread only)
  bool m_bSinaExclusive = true;  // user-interface thread only
  // Reports a notification area that comes or goes.
  CTrayWatch* m_pTrayWatch = nullptr;
  // Set while a drain of the outbox is on its way to the user-interface thread. The gate
  // lets a drain posted just before the window went find it gone.
  std::atomic<bool> m_drainPending{false};
  std::shared_ptr<CMainDlg*> m_drainGate = std::make_shared<CMainDlg*>(this);
  // Lines of the status log on their way to its control (shared with posted flushes,
  // which may run after the window is gone).
  std::shared_ptr<CStatusLogQueue> m_statusLog = std::make_shared<CStatusLogQueue>();
};

// The address fetch at start-up: writes the public address into the session.
void FetchPublicIpInto(CSession& session);

// Called on the user-interface thread with every alert message before it is shown
// (tests only). Pass {} to remove.
void SetServiceAlertHook(std::function<void(int kind, long long count)> hook);
// While set, the browse button calls this instead of showing the file dialog (tests).
// It returns the chosen path, or "" for a cancelled choice. Pass {} to remove it.
void SetPictureChooserHook(std::function<std::string()> hook);
