// CMainDlg: the main window. It routes every command of its message map to a handler,
// and the handlers hand the service work to the service model (services/): the shared
// state (accounts, proxy, public address) lives in a CServiceState, and binding, posting
// and polling run over the services' table rows. The window supplies what only it has:
// its controls, message boxes, the browser and the verification-code dialog, the
// status log, the tray icon and the worker threads.
#pragma once
#include <QIcon>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/StatusLog.h"
#include "app/TrayIcon.h"
#include "platform/Dialog.h"
#include "services/ServiceFlows.h"

constexpr UINT WM_SERVICE_ALERT = WM_USER + 101;
constexpr UINT WM_TRAY_NOTIFY = WM_USER + 386;
constexpr uintptr_t HIDE_TIMER_ID = 1;

class QTimer;

class CMainDlg : public CDialog {
  Q_OBJECT
 public:
  explicit CMainDlg(QWidget* parent = nullptr);
  ~CMainDlg() override;

  // ---- the service model's state; each call takes its lock (any thread) ----
  CServiceState& State() { return m_state; }
  SAccountSnapshot ReadAccount(EService service) const { return m_state.Account(service); }
  CProxySettings ReadProxy() const { return m_state.Proxy(); }
  void WriteProxy(const CProxySettings& proxy) { m_state.SetProxy(proxy); }
  std::string ReadClientIp() const { return m_state.ClientIp(); }
  void WriteClientIp(const std::string& ip) { m_state.SetClientIp(ip); }
  // Adds the consumer pair and the account's current access pair of a service.
  bool AddTokenParams(EService service, CWeiboParam& params) const;
  // One service request with the proxy in effect; given up when the window closes.
  std::string SendServiceRequest(std::string url, EHttpMethod method, CWeiboParam params,
                                 bool isTwitter);
  // A time-stamped line at the end of the status log (any thread).
  void AppendStatusLog(std::string text);
  // Sina may be posted to only alone (the "SinaLimit" setting).
  bool SinaExclusive() const { return m_bSinaExclusive; }

  // ---- worker threads ----
  using WorkerProc = std::function<unsigned(CMainDlg*)>;
  // Starts a detached thread running proc(this). The window waits for its workers
  // when it is destroyed; they end early because sleeps and requests give up then.
  void StartWorker(WorkerProc proc);
  // Sleeps ms milliseconds; false (at once) when the window is closing.
  bool WorkerSleep(int ms);
  // The window's one closing flag (ClosingFlag): raised when it closes or is destroyed.
  bool IsClosing() const { return ClosingFlag()->load(); }
  int LiveWorkers() const;

  // DoModal's result when networking could not be prepared (the program then ends).
  static constexpr int kNoNetworking = 3;

  // ---- reached from outside the window: the tray, the program, tests ----
  void OnShowHideWindow();
  void OnExit();
  void SetAutoRun(bool enable);
  CTrayIcon& TrayIcon() { return m_trayIcon; }
  // Queues an alert of a kind and count for the user-interface thread (any thread).
  void PostServiceAlert(int kind, int count);
  // One look at the notification area: the icon goes in when one has appeared, and the
  // window comes back on screen when the one holding the icon has gone.
  void OnTrayWatch();
  // True when the command line (program and arguments joined by blanks) asks for a
  // hidden start: its last 11 characters are exactly "-background".
  static bool IsBackgroundCommandLine(const std::string& commandLine);
  static void SetCommandLine(const std::string& commandLine);
  static std::string CommandLine();

 protected:
  bool OnInitDialog() override;
  void OnOK() override {}      // Enter does not close the main window
  void OnCancel() override {}  // nor does Esc
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void SyncControl(int id) override;

 private:
  void BuildMessageMap();
  // What the service model needs of the window: requests, the log, message boxes, the
  // browser with the code dialog, labels, alert options and alerts.
  SServiceIo ServiceIo(EService service);
  // shell (app/)
  void OnClose();
  void OnSize(WPARAM type);
  void OnTimer(uintptr_t id);
  void MinimizeOnScreen(int triesLeft);
  void RestoreAccounts();
  // Just after the window is first shown: networking, the workers, the tray icon.
  void StartAfterShown();
  void StopWorkers();
  LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
  void OnAutoRunClicked();
  void OnOpenWeb(EHost host);
  void OnOpenSinaWeb() { OnOpenWeb(EHost::SinaWeb); }
  void OnOpenTencentWeb() { OnOpenWeb(EHost::TencentWeb); }
  void OnOpenSohuWeb() { OnOpenWeb(EHost::SohuWeb); }
  void OnOpenTwitterWeb() { OnOpenWeb(EHost::TwitterWeb); }
  void OnHelpUsage();
  void OnHelpBlog();
  void OnHelpContact();
  void OnProxySettings();
  // binding (bind/)
  // One binding run over the service's row; each bind button has its own handler.
  void OnBind(EService service);
  void OnBindTencent() { OnBind(EService::Tencent); }
  void OnBindSina() { OnBind(EService::Sina); }
  void OnBindSohu() { OnBind(EService::Sohu); }
  void OnBindTwitter() { OnBind(EService::Twitter); }
  void OnBindMastodon() { OnBind(EService::Mastodon); }
  // posting (post/)
  void OnSend();
  void PostToTickedServices();
  void OnSinaTargetClicked();
  void OnOtherTargetClicked();
  void OnBrowsePicture();
  std::string ChoosePictureFile();
  void OnDropFiles(const std::vector<std::string>& paths);
  // polling and alerts (notify/)
  void StartPolling();
  LRESULT OnServiceAlert(WPARAM kind, LPARAM count);

  QIcon m_hIcon;
  CTrayIcon m_trayIcon;
  CServiceState m_state;
  bool m_bSinaExclusive = true;  // user-interface thread only
  QTimer* m_pTrayWatch = nullptr;
  int m_nTrayLooks = 0;
  mutable std::mutex m_csWorkers;
  std::condition_variable m_cvWorkers;
  int m_nLiveWorkers = 0;
  // Lines of the status log on their way to its control (shared with posted flushes,
  // which may run after the window is gone).
  std::shared_ptr<CStatusLogQueue> m_statusLog = std::make_shared<CStatusLogQueue>();
};

// The address fetch at start-up; takes the main window and returns 0.
unsigned PublicIpThreadProc(CMainDlg* dlg);
