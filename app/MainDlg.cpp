// CMainDlg: construction, the message map, start-up, showing and hiding, closing, the
// hand-over of shared members and the worker threads.
#include "app/MainDlg.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <chrono>
#include <thread>

#include "res/Resource.h"
#include "res/Templates.h"
#include "settings/Notices.h"
#include "settings/Profile.h"
#include "settings/ProfileControl.h"

namespace {
std::mutex g_commandLineMutex;
std::string g_commandLine;

// The notification area is looked for every half second during the first 15 s (at logon
// the panel often starts after the program), every 2 s after that (a panel that restarts).
constexpr int kTrayLookMs = 500;
constexpr int kTrayEarlyLooks = 30;
constexpr int kTrayWatchMs = 2000;
constexpr int kMinimizeTries = 200;
}  // namespace

CMainDlg::CMainDlg(QWidget* parent) : CDialog(IDD_MAIN, parent) {
  m_hIcon = QIcon(QStringLiteral(":/icons/plumfinch.svg"));
  BuildMessageMap();
}

CMainDlg::~CMainDlg() {
  StopWorkers();
  SetSettingsNoticeSink({});
  // Every line appended before the workers ended is in the log before its control goes.
  m_statusLog->Flush();
  m_trayIcon.RemoveIcon();
}

void CMainDlg::BuildMessageMap() {
  OnMessage(WM_CLOSE, [this](WPARAM, LPARAM) {
    OnClose();
    return LRESULT(0);
  });
  OnCommand(IDC_BIND_TENCENT, [this] { OnBindTencent(); });
  OnCommand(IDC_SEND, [this] { OnSend(); });
  OnCommand(IDC_BROWSE_PICTURE, [this] { OnBrowsePicture(); });
  OnMessage(WM_SIZE, [this](WPARAM type, LPARAM) {
    OnSize(type);
    return LRESULT(0);
  });
  OnCommand(ID_SHOW_HIDE_WINDOW, [this] { OnShowHideWindow(); });
  OnCommand(ID_APP_EXIT, [this] { OnExit(); });
  OnCommand(IDC_AUTO_RUN, [this] { OnAutoRunClicked(); });
  OnMessage(WM_TIMER, [this](WPARAM id, LPARAM) {
    OnTimer(id);
    return LRESULT(0);
  });
  OnCommand(IDC_BIND_SINA, [this] { OnBindSina(); });
  OnCommand(ID_PROXY_SETTINGS, [this] { OnProxySettings(); });
  OnCommand(IDC_BIND_TWITTER, [this] { OnBindTwitter(); });
  OnCommand(ID_HELP_USAGE, [this] { OnHelpUsage(); });
  OnCommand(ID_HELP_CONTACT, [this] { OnHelpContact(); });
  OnCommand(ID_HELP_ABOUT, [this] { OnHelpAbout(); });
  OnCommand(ID_HELP_BLOG, [this] { OnHelpBlog(); });
  OnCommand(IDC_SEND_TO_SINA, [this] { OnSinaTargetClicked(); });
  OnCommand(IDC_SEND_TO_TENCENT, [this] { OnOtherTargetClicked(); });
  OnCommand(IDC_SEND_TO_TWITTER, [this] { OnOtherTargetClicked(); });
  OnCommand(IDC_BIND_SOHU, [this] { OnBindSohu(); });
  OnCommand(IDC_SEND_TO_SOHU, [this] { OnOtherTargetClicked(); });
  OnMessage(WM_SERVICE_ALERT,
            [this](WPARAM kind, LPARAM count) { return OnServiceAlert(kind, count); });
  OnMessage(WM_TRAY_NOTIFY, [this](WPARAM id, LPARAM event) { return OnTrayNotify(id, event); });
  OnCommand(ID_OPEN_SINA_WEB, [this] { OnOpenSinaWeb(); });
  OnCommand(ID_OPEN_TENCENT_WEB, [this] { OnOpenTencentWeb(); });
  OnCommand(ID_OPEN_SOHU_WEB, [this] { OnOpenSohuWeb(); });
  OnCommand(ID_OPEN_TWITTER_WEB, [this] { OnOpenTwitterWeb(); });
}

bool CMainDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  setWindowIcon(m_hIcon);
  if (auto* log = qobject_cast<QPlainTextEdit*>(GetDlgItem(IDC_STATUS_LOG))) {
    log->setUndoRedoEnabled(false);
    m_statusLog->SetControl(log);
  }

  {
    auto lock = LockShared();
    m_bQQBound = m_bSinaBound = m_bSohuBound = m_bTwitterBound = false;
  }
  m_nQQPrivate = m_nQQMentions = m_nQQCreate = m_nQQFans = -1;
  m_nSinaDm = m_nSinaMentions = m_nSinaNewStatus = m_nSinaFollowers = -1;
  m_nSohuStatuses = m_nSohuFollowers = -1;

  // Problems with the settings files, found at start-up or later, go to the status log.
  SetSettingsNoticeSink([this](const std::string& line) { AppendStatusLog(line); });
  RestoreAccounts();

  {
    auto lock = LockShared();
    m_nProxyType = ProfileInt(false, "ProxyType", 0, 0);
    m_nProxyRange = ProfileInt(false, "ProxyRange", 0, 0);
    m_nProxyIP = static_cast<uint32_t>(ProfileInt(false, "ProxyIP", 0, 0));
    m_nProxyPort = ProfileInt(false, "ProxyPort", 0, 0);
  }
  m_bSinaExclusive = ProfileString(false, "SinaLimit", "", "", 256) != "0";

  ProfileCheckBoxes(this, false);
  OnSinaTargetClicked();
  OnOtherTargetClicked();

  WriteClientIp("127.0.0.1");

  StartWorker(PublicIpThreadProc);
  StartWorker(PollTencentThreadProc);
  StartWorker(PollSinaThreadProc);
  StartWorker(PollSohuThreadProc);

  setAcceptDrops(true);

  m_trayIcon.Create(this, WM_TRAY_NOTIFY, LoadResourceString(IDS_APP_NAME), m_hIcon, IDR_TRAY_MENU);
  m_pTrayWatch = new QTimer(this);
  connect(m_pTrayWatch, &QTimer::timeout, this, [this] { OnTrayWatch(); });
  m_pTrayWatch->start(kTrayLookMs);

  if (IsBackgroundCommandLine(CommandLine())) SetTimer(HIDE_TIMER_ID, 10);
  return true;
}

void CMainDlg::OnTrayWatch() {
  if (++m_nTrayLooks == kTrayEarlyLooks) m_pTrayWatch->setInterval(kTrayWatchMs);
  if (m_trayIcon.IsEnabled()) {
    if (m_trayIcon.IsHostPresent()) return;
    // The panel went away and took the icon along: a hidden window would be out of
    // reach, so it comes back on screen; the icon returns with the next panel.
    m_trayIcon.RemoveIcon();
    if (!isVisible()) OnShowHideWindow();
    return;
  }
  if (!CTrayIcon::IsAvailable()) return;
  if (!m_trayIcon.Create(this, WM_TRAY_NOTIFY, LoadResourceString(IDS_APP_NAME), m_hIcon,
                         IDR_TRAY_MENU))
    return;
  // With an icon a minimised window lives in the notification area, as after a minimise:
  // so a background start that had no tray to go to goes there now.
  if (isMinimized()) hide();
}

void CMainDlg::RestoreAccounts() {
  // An account counts as bound exactly when its display name is stored.
  auto text = [](const char* key) { return ProfileString(false, key, "", "", 256); };
  auto lock = LockShared();
  m_strQQAccessToken = text("QQAccessToken");
  m_strQQAccessSecret = text("QQAccessSecret");
  m_strQQName = text("QQName");
  m_strSinaAccessToken = text("SinaAccessToken");
  m_strSinaAccessSecret = text("SinaAccessSecret");
  m_strSinaUserID = text("SinaUserID");
  m_strSinaName = text("SinaName");
  m_strSohuAccessToken = text("SohuAccessToken");
  m_strSohuAccessSecret = text("SohuAccessSecret");
  m_strSohuUserID = text("SohuUserID");
  m_strSohuName = text("SohuName");
  m_strTwitterAccessToken = text("TwitterAccessToken");
  m_strTwitterAccessSecret = text("TwitterAccessSecret");
  m_strTwitterUserID = text("TwitterUserID");
  m_strTwitterName = text("TwitterName");
  const struct {
    bool& bound;
    const std::string& name;
    int label;
  } rows[] = {{m_bQQBound, m_strQQName, IDC_TENCENT_NAME},
              {m_bSinaBound, m_strSinaName, IDC_SINA_NAME},
              {m_bSohuBound, m_strSohuName, IDC_SOHU_NAME},
              {m_bTwitterBound, m_strTwitterName, IDC_TWITTER_NAME}};
  for (const auto& row : rows) {
    if (row.name.empty()) continue;
    row.bound = true;
    SetDlgItemText(row.label, row.name);
  }
}

void CMainDlg::OnTimer(uintptr_t id) {
  if (id != HIDE_TIMER_ID) return;
  KillTimer(HIDE_TIMER_ID);
  // Without a notification area a hidden window could never come back: minimise instead.
  if (m_trayIcon.IsEnabled())
    hide();
  else
    MinimizeOnScreen(kMinimizeTries);
}

void CMainDlg::MinimizeOnScreen(int triesLeft) {
  // A window manager minimises only a window it already manages, and 10 ms after the
  // window was shown it may not have taken it yet: the minimise waits until the window is
  // on screen (for up to two seconds).
  const QWindow* window = windowHandle();
  if (triesLeft > 0 && (!window || !window->isExposed())) {
    QTimer::singleShot(10, this, [this, triesLeft] { MinimizeOnScreen(triesLeft - 1); });
    return;
  }
  showMinimized();
}

void CMainDlg::OnSize(WPARAM type) {
  // Hidden once the minimise has finished: hiding in the middle of it would be undone.
  if (type == SIZE_MINIMIZED && m_trayIcon.IsEnabled())
    QTimer::singleShot(0, this, [this] {
      if (isMinimized()) hide();
    });
}

void CMainDlg::OnShowHideWindow() {
  if (isVisible()) {
    hide();
  } else {
    showNormal();
    raise();
    activateWindow();
  }
}

void CMainDlg::OnClose() {
  ProfileCheckBoxes(this, true);
  BeginClosing();
  if (m_pTrayWatch) m_pTrayWatch->stop();
  EndDialog(IDCANCEL);
  // Dialogs and message boxes open over the window (the exit command can come from the
  // tray menu or a signal at logout) end with it, as if cancelled; otherwise the program
  // would wait for someone to answer them.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(w);
    if (dialog && dialog != this && dialog->isVisible() && dialog->isModal()) dialog->reject();
  }
}

void CMainDlg::OnExit() { OnClose(); }

LRESULT CMainDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
  return m_trayIcon.OnTrayNotification(wParam, lParam);
}

bool CMainDlg::IsBackgroundCommandLine(const std::string& commandLine) {
  static const std::string kSwitch = "-background";
  if (commandLine.size() < kSwitch.size()) return commandLine == kSwitch;
  return commandLine.compare(commandLine.size() - kSwitch.size(), kSwitch.size(), kSwitch) == 0;
}

void CMainDlg::SetCommandLine(const std::string& commandLine) {
  std::lock_guard<std::mutex> lock(g_commandLineMutex);
  g_commandLine = commandLine;
}

std::string CMainDlg::CommandLine() {
  std::lock_guard<std::mutex> lock(g_commandLineMutex);
  return g_commandLine;
}

// ---- files dropped on the window ----

void CMainDlg::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void CMainDlg::dropEvent(QDropEvent* e) {
  std::vector<std::string> paths;
  for (const QUrl& url : e->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  e->acceptProposedAction();
  OnDropFiles(paths);
}

// ---- shared members ----

SAccountSnapshot CMainDlg::ReadAccount(EService service) const {
  auto lock = LockShared();
  switch (service) {
    case EService::Tencent:
      return {m_bQQBound, m_strQQAccessToken, m_strQQAccessSecret, m_strQQName, {}};
    case EService::Sina:
      return {m_bSinaBound, m_strSinaAccessToken, m_strSinaAccessSecret, m_strSinaName,
              m_strSinaUserID};
    case EService::Sohu:
      return {m_bSohuBound, m_strSohuAccessToken, m_strSohuAccessSecret, m_strSohuName,
              m_strSohuUserID};
    case EService::Twitter:
      return {m_bTwitterBound, m_strTwitterAccessToken, m_strTwitterAccessSecret, m_strTwitterName,
              m_strTwitterUserID};
  }
  return {};
}

CProxySettings CMainDlg::ReadProxy() const {
  auto lock = LockShared();
  return {m_nProxyRange, m_nProxyType, m_nProxyIP, m_nProxyPort};
}

void CMainDlg::WriteProxy(const CProxySettings& proxy) {
  auto lock = LockShared();
  m_nProxyRange = proxy.range;
  m_nProxyType = proxy.type;
  m_nProxyIP = static_cast<uint32_t>(proxy.address);
  m_nProxyPort = proxy.port;
}

std::string CMainDlg::ReadClientIp() const {
  auto lock = LockShared();
  return m_strClientIp;
}

void CMainDlg::WriteClientIp(const std::string& ip) {
  auto lock = LockShared();
  m_strClientIp = ip;
}

bool CMainDlg::AddTokenParams(EService service, CWeiboParam& params) const {
  const SAccountSnapshot account = ReadAccount(service);
  return ::AddTokenParams(service, params, account.accessToken, account.accessSecret);
}

std::string CMainDlg::SendServiceRequest(std::string url, EHttpMethod method, CWeiboParam params,
                                         bool isTwitter) {
  // The proxy is taken once, here: a request keeps the proxy it started with.
  params.SetAbortFlag(&m_bClosing);
  return ExecuteServiceRequest(url, method, std::move(params), isTwitter, ReadProxy());
}

// ---- workers ----

void CMainDlg::StartWorker(WorkerProc proc) {
  {
    std::lock_guard<std::mutex> lock(m_csWorkers);
    ++m_nLiveWorkers;
  }
  std::thread([this, proc] {
    proc(this);
    // Last touch of the window: the destructor cannot finish before this unlock.
    std::lock_guard<std::mutex> lock(m_csWorkers);
    --m_nLiveWorkers;
    m_cvWorkers.notify_all();
  }).detach();
}

bool CMainDlg::WorkerSleep(int ms) {
  std::unique_lock<std::mutex> lock(m_csWorkers);
  return !m_cvWorkers.wait_for(lock, std::chrono::milliseconds(ms),
                               [this] { return m_bClosing.load(); });
}

int CMainDlg::LiveWorkers() const {
  std::lock_guard<std::mutex> lock(m_csWorkers);
  return m_nLiveWorkers;
}

void CMainDlg::StopWorkers() {
  BeginClosing();
  std::unique_lock<std::mutex> lock(m_csWorkers);
  m_bClosing = true;
  m_cvWorkers.notify_all();
  m_cvWorkers.wait(lock, [this] { return m_nLiveWorkers == 0; });
}
