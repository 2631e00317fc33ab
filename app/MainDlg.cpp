// CMainDlg: construction, the message map, start-up, showing and hiding, closing, the
// service model's way to the window, and the worker threads.
#include "app/MainDlg.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <chrono>
#include <thread>

#include "app/AppIcon.h"
#include "app/ProfileControl.h"
#include "app/ServiceControls.h"
#include "bind/MastodonServerDlg.h"
#include "bind/VerifyCodeDlg.h"
#include "platform/Shell.h"
#include "qwblog/QWBlogAPI.h"
#include "res/Resource.h"
#include "res/Templates.h"
#include "settings/Notices.h"
#include "settings/Profile.h"

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
  m_hIcon = LoadAppIcon();
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
  OnCommand(IDC_BIND_MASTODON, [this] { OnBindMastodon(); });
  OnCommand(ID_HELP_USAGE, [this] { OnHelpUsage(); });
  OnCommand(ID_HELP_CONTACT, [this] { OnHelpContact(); });
  OnCommand(ID_HELP_ABOUT, [this] { OnHelpContact(); });  // the contact text is all there is
  OnCommand(ID_HELP_BLOG, [this] { OnHelpBlog(); });
  OnCommand(IDC_SEND_TO_SINA, [this] { OnSinaTargetClicked(); });
  OnCommand(IDC_SEND_TO_TENCENT, [this] { OnOtherTargetClicked(); });
  OnCommand(IDC_SEND_TO_TWITTER, [this] { OnOtherTargetClicked(); });
  OnCommand(IDC_SEND_TO_MASTODON, [this] { OnOtherTargetClicked(); });
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

  // Accounts start unbound and the poll workers without baselines; then the stored
  // accounts and proxy are read.

  // Problems with the settings files, found at start-up or later, go to the status log.
  SetSettingsNoticeSink([this](const std::string& line) { AppendStatusLog(line); });
  RestoreAccounts();

  CProxySettings proxy;
  proxy.type = ProfileInt(false, "ProxyType", 0, 0);
  proxy.range = ProfileInt(false, "ProxyRange", 0, 0);
  proxy.address = static_cast<uint32_t>(ProfileInt(false, "ProxyIP", 0, 0));
  proxy.port = ProfileInt(false, "ProxyPort", 0, 0);
  WriteProxy(proxy);
  m_bSinaExclusive = ProfileString(false, "SinaLimit", "", "", 256) != "0";

  ProfileCheckBoxes(this, false);
  OnSinaTargetClicked();
  OnOtherTargetClicked();

  WriteClientIp("127.0.0.1");

  setAcceptDrops(true);

  // The rest is not needed for the window to appear, so it waits until the window has
  // been shown: the event loop runs this first, once show() has asked for the window.
  QTimer::singleShot(0, this, [this] { StartAfterShown(); });
  return true;
}

void CMainDlg::StartAfterShown() {
  if (IsClosing()) return;
  // The window's map request goes to the display server, and the window is drawn, before
  // the work below (loading libcurl takes longer than drawing the window).
  QGuiApplication::sync();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  if (IsClosing()) return;  // a termination signal may have been taken meanwhile
  // Networking (libcurl and its TLS library, loaded on this first call) is prepared once,
  // before any worker uses it.
  if (!QWBlogGlobalInit()) {
    AfxMessageBox(LoadResourceString(IDS_SOCKETS_INIT_FAILED));
    BeginClosing();
    EndDialog(kNoNetworking);
    return;
  }
  StartWorker(PublicIpThreadProc);
  StartPolling();  // one worker per polled service: Tencent, Sina, Sohu

  m_trayIcon.Create(this, WM_TRAY_NOTIFY, LoadResourceString(IDS_APP_NAME), m_hIcon, IDR_TRAY_MENU);
  m_pTrayWatch = new QTimer(this);
  connect(m_pTrayWatch, &QTimer::timeout, this, [this] { OnTrayWatch(); });
  m_pTrayWatch->start(kTrayLookMs);

  // A background start hides the window only once a notification area could take it.
  if (IsBackgroundCommandLine(CommandLine())) SetTimer(HIDE_TIMER_ID, 10);
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
  m_state.RestoreAccounts(ServiceRows());
  for (const SServiceControls& controls : kServiceControls) {
    const SAccountSnapshot account = m_state.Account(controls.service);
    if (account.bound) SetDlgItemText(controls.nameLabel, account.name);
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

// ---- the service model's way to the window ----

bool CMainDlg::AddTokenParams(EService service, CWeiboParam& params) const {
  const SAccountSnapshot account = ReadAccount(service);
  AddAccountParams(ServiceRow(service), params, account.accessToken, account.accessSecret);
  return true;
}

SServiceIo CMainDlg::ServiceIo(EService service) {
  SServiceIo io;
  io.request = [this](const std::string& url, EHttpMethod method, const CWeiboParam& params,
                      bool twitterProxy) {
    return SendServiceRequest(url, method, params, twitterProxy);
  };
  io.log = [this](const std::string& line) { AppendStatusLog(line); };
  io.messageBox = [](const std::string& text) { AfxMessageBox(text); };
  io.askCode = [](const std::string& url) {
    ShellOpenUrl(url);
    CVerifyCodeDlg dlg;
    dlg.DoModal();
    return dlg.m_strVerifyCode;
  };
  io.showName = [this, service](const std::string& name) {
    SetDlgItemText(ControlsOf(service).nameLabel, name);
  };
  io.alertTicked = [this](EAlertGate gate) {
    const int box = gate == EAlertGate::AtMe        ? IDC_ALERT_AT_ME
                    : gate == EAlertGate::Following ? IDC_FOLLOWING_UPDATE
                                                    : IDC_NEW_FANS;
    return IsDlgButtonChecked(box) == BST_CHECKED;
  };
  io.alert = [this](int kind, int count) { PostServiceAlert(kind, count); };
  io.closing = [this] { return IsClosing(); };
  io.http = [this](const SHttpRequest& request) {
    SHttpRequest copy = request;
    copy.params.SetAbortFlag(ClosingFlag());
    return ExecuteBearerRequest(std::move(copy), ReadProxy());
  };
  io.sleep = [this](int ms) { return WorkerSleep(ms); };
  io.askServer = [](const std::string& suggested) {
    CMastodonServerDlg dlg;
    dlg.m_strServer = suggested;
    dlg.DoModal();
    return dlg.m_strServer;
  };
  return io;
}

std::string CMainDlg::SendServiceRequest(std::string url, EHttpMethod method, CWeiboParam params,
                                         bool isTwitter) {
  // The proxy is taken once, here: a request keeps the proxy it started with.
  params.SetAbortFlag(ClosingFlag());
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
  return !m_cvWorkers.wait_for(lock, std::chrono::milliseconds(ms), [this] { return IsClosing(); });
}

int CMainDlg::LiveWorkers() const {
  std::lock_guard<std::mutex> lock(m_csWorkers);
  return m_nLiveWorkers;
}

void CMainDlg::StopWorkers() {
  std::unique_lock<std::mutex> lock(m_csWorkers);
  BeginClosing();
  m_cvWorkers.notify_all();
  m_cvWorkers.wait(lock, [this] { return m_nLiveWorkers == 0; });
}
