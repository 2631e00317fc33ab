// CMainDlg: the main window. It owns every piece of state the program shares: the four
// account records, the proxy choice, the public address, the polling counters and the
// tray icon; it starts the worker threads and routes every command to its handler.
// Handlers live beside their subject: binding in bind/, posting in post/, polling and
// alerts in notify/, the proxy dialog and requests in net/, the shell commands in app/.
#pragma once
#include <QIcon>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "app/StatusLog.h"
#include "app/TrayIcon.h"
#include "net/Credentials.h"
#include "net/ServiceRequest.h"
#include "platform/Dialog.h"
#include "qwblog/QWBlogAPI.h"

constexpr UINT WM_SERVICE_ALERT = WM_USER + 101;
constexpr UINT WM_TRAY_NOTIFY = WM_USER + 386;
constexpr uintptr_t HIDE_TIMER_ID = 1;

// What a worker needs of one account, taken as one consistent snapshot.
struct SAccountSnapshot {
  bool bound = false;
  std::string accessToken, accessSecret, name, userId;
};

// The access pair, name and user id a binding run has obtained but not yet committed.
struct SPendingAccount {
  std::string accessToken, accessSecret, name, userId;
};

class CMainDlg : public CDialog {
  Q_OBJECT
 public:
  explicit CMainDlg(QWidget* parent = nullptr);
  ~CMainDlg() override;

  // ---- status log (any thread) ----
  void AppendStatusLog(std::string text);

  // ---- service requests (any thread) ----
  std::string SendServiceRequest(std::string url, EHttpMethod method, CWeiboParam params,
                                 bool isTwitter);

  // ---- hand-over of shared members between the user-interface thread and workers ----
  // Every write of an account field, a bound flag, a proxy field or the public address
  // happens under m_csShared; workers read them only through these snapshots.
  SAccountSnapshot ReadAccount(EService service) const;
  CProxySettings ReadProxy() const;
  void WriteProxy(const CProxySettings& proxy);
  std::string ReadClientIp() const;
  void WriteClientIp(const std::string& ip);
  std::unique_lock<std::mutex> LockShared() const { return std::unique_lock<std::mutex>(m_csShared); }
  // Adds the consumer pair and the account's current access pair of a service.
  bool AddTokenParams(EService service, CWeiboParam& params) const;

  // ---- worker threads ----
  using WorkerProc = unsigned (*)(CMainDlg*);
  // Starts a detached thread running proc(this). The window waits for its workers
  // when it is destroyed; they end early because sleeps and requests give up then.
  void StartWorker(WorkerProc proc);
  // Sleeps ms milliseconds; false (at once) when the window is closing.
  bool WorkerSleep(int ms);
  bool IsClosing() const { return m_bClosing.load(); }
  int LiveWorkers() const;

  // ---- shell (app/) ----
  void OnShowHideWindow();
  void OnExit();
  LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
  void OnAutoRunClicked();
  void SetAutoRun(bool enable);
  void OnOpenSinaWeb();
  void OnOpenTencentWeb();
  void OnOpenSohuWeb();
  void OnOpenTwitterWeb();
  void OnHelpUsage();
  void OnHelpBlog();
  void OnHelpContact();
  void OnHelpAbout();
  void OnProxySettings();
  CTrayIcon& TrayIcon() { return m_trayIcon; }
  // True when the command line (program and arguments joined by blanks) asks for a
  // hidden start: its last 11 characters are exactly "-background".
  static bool IsBackgroundCommandLine(const std::string& commandLine);
  static void SetCommandLine(const std::string& commandLine);
  static std::string CommandLine();

  // ---- binding (bind/) ----
  void OnBindTencent();
  bool BindTencent();
  bool GetTencentRequestToken();
  bool AuthorizeTencent();
  bool GetTencentAccessToken();
  void OnBindSina();
  bool BindSina();
  bool GetSinaRequestToken();
  bool AuthorizeSina();
  bool GetSinaAccessToken();
  bool GetSinaUserInfo();
  void OnBindSohu();
  bool BindSohu();
  bool GetSohuRequestToken();
  bool AuthorizeSohu();
  bool GetSohuAccessToken();
  bool GetSohuUserInfo();
  void OnBindTwitter();
  bool BindTwitter();
  bool GetTwitterRequestToken();
  bool AuthorizeTwitter();
  bool GetTwitterAccessToken();

  // ---- posting (post/) ----
  void OnSend();
  bool PostToTickedServices();
  bool PostToTencent(std::string text, std::string picture);
  bool PostToSina(std::string text, std::string picture);
  bool PostToSohu(std::string text, std::string picture);
  bool PostToTwitter(std::string text, std::string picture);
  void OnSinaTargetClicked();
  void OnOtherTargetClicked();
  void OnBrowsePicture();
  std::string ChoosePictureFile();
  void OnDropFiles(const std::vector<std::string>& paths);

  // ---- polling and alerts (notify/) ----
  void PollTencent();  // loops until the window closes
  void PollSina();
  void PollSohu();
  void PostServiceAlert(int kind, int count);
  LRESULT OnServiceAlert(WPARAM kind, LPARAM count);

 protected:
  bool OnInitDialog() override;
  void OnOK() override {}      // Enter does not close the main window
  void OnCancel() override {}  // nor does Esc
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void SyncControl(int id) override;

 private:
  void BuildMessageMap();
  void OnClose();
  void OnSize(WPARAM type);
  void OnTimer(uintptr_t id);
  void RestoreAccounts();
  void StopWorkers();

 public:
  // Members, in the order the program has always declared them. Text and flags of the
  // accounts, the proxy fields and the public address are written under m_csShared.
  QIcon m_hIcon;
  bool m_bQQBound = false;
  std::string m_strQQRequestToken, m_strQQRequestSecret, m_strQQVerifier;
  std::string m_strQQAccessToken, m_strQQAccessSecret, m_strQQName;
  int m_nQQPrivate = -1, m_nQQMentions = -1, m_nQQCreate = -1, m_nQQFans = -1;
  bool m_bSinaBound = false;
  std::string m_strSinaRequestToken, m_strSinaRequestSecret, m_strSinaVerifier;
  std::string m_strSinaAccessToken, m_strSinaAccessSecret, m_strSinaName, m_strSinaUserID;
  int m_nSinaDm = -1, m_nSinaMentions = -1, m_nSinaNewStatus = -1, m_nSinaFollowers = -1;
  bool m_bTwitterBound = false;
  std::string m_strTwitterRequestToken, m_strTwitterRequestSecret, m_strTwitterVerifier;
  std::string m_strTwitterAccessToken, m_strTwitterAccessSecret, m_strTwitterName,
      m_strTwitterUserID;
  bool m_bSohuBound = false;
  std::string m_strSohuRequestToken, m_strSohuRequestSecret, m_strSohuVerifier;
  std::string m_strSohuAccessToken, m_strSohuAccessSecret, m_strSohuName, m_strSohuUserID;
  int m_nSohuStatuses = -1, m_nSohuFollowers = -1;
  std::string m_strLastError;
  CTrayIcon m_trayIcon;
  std::string m_strClientIp;
  int m_nProxyRange = 0;
  int m_nProxyType = 0;
  uint32_t m_nProxyIP = 0;
  int m_nProxyPort = 0;
  bool m_bSinaExclusive = true;
  // Results of the binding run in progress, per service; the account members above take
  // them only when the run succeeds (user-interface thread only).
  SPendingAccount m_pendingAccount[kServiceCount];

 private:
  mutable std::mutex m_csShared;
  std::atomic<bool> m_bClosing{false};
  mutable std::mutex m_csWorkers;
  std::condition_variable m_cvWorkers;
  int m_nLiveWorkers = 0;
  // Lines of the status log on their way to its control (shared with posted flushes,
  // which may run after the window is gone).
  std::shared_ptr<CStatusLogQueue> m_statusLog = std::make_shared<CStatusLogQueue>();
};

// Thread entries; each takes the main window and returns 0.
unsigned PublicIpThreadProc(CMainDlg* dlg);
unsigned SendThreadProc(CMainDlg* dlg);
unsigned PollTencentThreadProc(CMainDlg* dlg);
unsigned PollSinaThreadProc(CMainDlg* dlg);
unsigned PollSohuThreadProc(CMainDlg* dlg);
