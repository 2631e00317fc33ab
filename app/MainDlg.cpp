// CMainDlg: its template built from the rows, construction, the message map, start-up,
// showing and hiding, closing, the window port and the draining of the outbox.
#include "app/MainDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <climits>
#include <shared_mutex>
#include <thread>

#include "app/AppIcon.h"
#include "app/ProfileControl.h"
#include "app/TrayWatch.h"
#include "bind/BindFlow.h"
#include "bind/MastodonServerDlg.h"
#include "bind/SignInDlg.h"
#include "bind/VerifyCodeDlg.h"
#include "notify/AlertPopup.h"
#include "notify/PollFlow.h"
#include "platform/Shell.h"
#include "platform/Translation.h"
#include "post/PostFlow.h"
#include "qwblog/QWBlogAPI.h"
#include "res/Resource.h"
#include "res/Templates.h"
#include "services/Registry.h"
#include "settings/Notices.h"
#include "settings/Profile.h"

namespace {
std::mutex g_commandLineMutex;
std::string g_commandLine;

constexpr int kMinimizeTries = 200;
constexpr int kWorkerWaitMs = 2000;

std::function<void(int, long long)>& AlertHook() {
  static std::function<void(int, long long)> hook;
  return hook;
}

bool Inside(const SControlDef& group, const SControlDef& c) {
  return c.x >= group.x && c.y >= group.y && c.x + c.cx <= group.x + group.cx &&
         c.y + c.cy <= group.y + group.cy;
}

// Adds a control after the last one of the group box that holds it, so each group's
// controls stay together in creation (and reading) order.
void AddToGroup(std::vector<SControlDef>& controls, const SControlDef& control) {
  size_t at = controls.size();
  for (size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].kind != ECtrlKind::GroupBox || !Inside(controls[i], control)) continue;
    at = i + 1;
    while (at < controls.size() && controls[at].kind != ECtrlKind::GroupBox &&
           Inside(controls[i], controls[at]))
      ++at;
    break;
  }
  controls.insert(controls.begin() + static_cast<std::ptrdiff_t>(at), control);
}

SControlDef Define(const SControlPlace& place, ECtrlKind kind, uint32_t style) {
  return {place.id, kind, place.text, place.x, place.y, place.cx, place.cy, style, 0};
}

}  // namespace

void SetServiceAlertHook(std::function<void(int kind, long long count)> hook) {
  AlertHook() = std::move(hook);
}

const SDialogDef& CMainDlg::MainTemplate() {
  static const SDialogDef def = [] {
    SDialogDef main = *FindDialogTemplate(IDD_MAIN);
    constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;
    std::vector<SControlDef> added;
    std::vector<std::pair<int, int>> tabs;  // slot, id
    for (const SServiceRow* row : ServiceRows()) {
      const SServiceWindow& w = row->window;
      added.push_back(
          Define(w.bindButton, ECtrlKind::PushButton, kChild | WS_TABSTOP | BS_PUSHBUTTON));
      added.push_back(Define(w.accountCaption, ECtrlKind::Static, kChild | WS_GROUP));
      added.push_back(Define(w.nameLabel, ECtrlKind::Static, kChild | WS_GROUP));
      added.push_back(
          Define(w.sendBox, ECtrlKind::CheckBox, kChild | WS_TABSTOP | BS_AUTOCHECKBOX));
      tabs.emplace_back(w.bindTabSlot, w.bindButton.id);
      tabs.emplace_back(w.sendTabSlot, w.sendBox.id);
    }
    // In reading order: top to bottom, then left to right.
    std::stable_sort(added.begin(), added.end(), [](const SControlDef& a, const SControlDef& b) {
      return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    for (const SControlDef& control : added) AddToGroup(main.controls, control);
    std::stable_sort(tabs.begin(), tabs.end());
    for (const auto& [slot, id] : tabs) {
      const size_t at = std::min(static_cast<size_t>(slot), main.tabOrder.size());
      main.tabOrder.insert(main.tabOrder.begin() + static_cast<std::ptrdiff_t>(at), id);
    }
    // The quick-access menu: the fixed sites, then each service's own entry in the
    // services' order.
    static std::vector<SMenuItemDef> menu = *FindMenuResource(main.menuId);
    for (SMenuItemDef& popup : menu) {
      const bool quickAccess =
          std::any_of(popup.items.begin(), popup.items.end(),
                      [](const SMenuItemDef& item) { return item.id == ID_OPEN_SINA_WEB; });
      if (!quickAccess) continue;
      for (const SServiceRow* row : ServiceRows())
        if (const SMenuPlace& place = row->window.quickAccess; place.id)
          popup.items.push_back({place.id, place.text, {}});
    }
    main.menu = &menu;
    return main;
  }();
  return def;
}

// The window port the session holds. Calls from workers may overlap; Detach waits for
// those under way and cuts the way to the window, so no worker reaches a window that is
// gone, whether it ended in time or was left behind.
class CGuardedPort final : public IWindowPort {
 public:
  explicit CGuardedPort(IWindowPort* window) : m_window(window) {}
  void Detach() {
    std::unique_lock<std::shared_mutex> lock(m_mutex);
    m_window = nullptr;
  }
  std::string AskCode() override {
    std::shared_lock<std::shared_mutex> lock(m_mutex);
    return m_window ? m_window->AskCode() : std::string();
  }
  std::string AskServer(const std::string& suggested) override {
    std::shared_lock<std::shared_mutex> lock(m_mutex);
    return m_window ? m_window->AskServer(suggested) : std::string();
  }
  SSignInAnswer AskSignIn(const SSignInForm& form) override {
    std::shared_lock<std::shared_mutex> lock(m_mutex);
    return m_window ? m_window->AskSignIn(form) : SSignInAnswer();
  }
  void ShowMessage(const SUserText& text) override {
    std::shared_lock<std::shared_mutex> lock(m_mutex);
    if (m_window) m_window->ShowMessage(text);
  }
  bool OpenBrowser(const std::string& url) override {
    std::shared_lock<std::shared_mutex> lock(m_mutex);
    return m_window && m_window->OpenBrowser(url);
  }
  void Wake() override {
    std::shared_lock<std::shared_mutex> lock(m_mutex);
    if (m_window) m_window->Wake();
  }

 private:
  std::shared_mutex m_mutex;
  IWindowPort* m_window;
};

const SServiceRow& CMainDlg::Row(const char* keyPrefix) {
  const SServiceRow* row = FindServiceRow(keyPrefix);
  return row ? *row : *ServiceRows().front();
}

CMainDlg::CMainDlg(QWidget* parent)
    : CDialog(MainTemplate(), parent), m_port(*new CGuardedPort(this)) {
  m_hIcon = LoadAppIcon();
  m_session.SetWindowPort(&m_port);
  BuildMessageMap();
}

CMainDlg::~CMainDlg() {
  // No wait at exit is unbounded: a worker that has not ended 2 s after the closing flag
  // (stuck where no abort reaches) is left behind with the session, which then no
  // longer reaches this window; the process ends without it.
  const bool ended = m_session.StopWorkers(kWorkerWaitMs);
  m_port.Detach();
  *m_drainGate = nullptr;
  if (ended) {
    DrainOutbox();
    delete &m_session;
    delete &m_port;
  }
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
  OnCommand(ID_PROXY_SETTINGS, [this] { OnProxySettings(); });
  OnCommand(ID_HELP_USAGE, [this] { OnHelpUsage(); });
  OnCommand(ID_HELP_CONTACT, [this] { OnHelpContact(); });
  OnCommand(ID_HELP_ABOUT, [this] { OnHelpContact(); });  // the contact text is all there is
  OnCommand(ID_HELP_BLOG, [this] { OnHelpBlog(); });
  // Each service's bind button runs its binding; its send box applies the rule that
  // lets the service that posts only alone be ticked alone.
  for (const SServiceRow* row : ServiceRows()) {
    OnCommand(row->window.bindButton.id, [this, row] { OnBind(*row); });
    if (row->postsOnlyAlone)
      OnCommand(row->window.sendBox.id, [this] { OnSinaTargetClicked(); });
    else
      OnCommand(row->window.sendBox.id, [this] { OnOtherTargetClicked(); });
  }
  OnMessage(WM_SERVICE_ALERT,
            [this](WPARAM kind, LPARAM count) { return OnServiceAlert(kind, count); });
  OnMessage(WM_TRAY_NOTIFY, [this](WPARAM id, LPARAM event) { return OnTrayNotify(id, event); });
  OnCommand(ID_OPEN_SINA_WEB, [this] { OnOpenSinaWeb(); });
  OnCommand(ID_OPEN_TENCENT_WEB, [this] { OnOpenTencentWeb(); });
  OnCommand(ID_OPEN_SOHU_WEB, [this] { OnOpenSohuWeb(); });
  OnCommand(ID_OPEN_TWITTER_WEB, [this] { OnOpenTwitterWeb(); });
  for (const SServiceRow* row : ServiceRows())
    if (const int id = row->window.quickAccess.id) OnCommand(id, [this, row] { OnOpenWeb(*row); });
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
  MirrorBoxesIntoSession();

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
  m_session.StartWorker([session = &m_session] { FetchPublicIpInto(*session); });
  StartPolling(m_session);  // one worker per polled service

  // A notification area that comes later (at logon the panel often starts after the
  // program) or goes away (a panel that restarts) is reported by the desktop: the watch
  // listens before the first look, so one that comes in between is not missed.
  m_pTrayWatch = new CTrayWatch(this);
  connect(m_pTrayWatch, &CTrayWatch::Changed, this, [this] { OnTrayWatch(); });
  m_pTrayWatch->Start();
  m_trayIcon.Create(this, WM_TRAY_NOTIFY, LoadResourceString(IDS_APP_NAME), m_hIcon, IDR_TRAY_MENU);

  // A background start hides the window only once a notification area could take it.
  if (IsBackgroundCommandLine(CommandLine())) SetTimer(HIDE_TIMER_ID, 10);
}

void CMainDlg::OnTrayWatch() {
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
  m_session.RestoreAccounts(ServiceRows());
  for (const SServiceRow* row : ServiceRows()) {
    const SAccountSnapshot account = m_session.Account(*row);
    if (account.bound) SetDlgItemText(row->window.nameLabel.id, account.name);
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
  // A save that fails is said, in the log and in a box: the boxes' last state is lost,
  // the file keeps the one it had.
  SUserText why;
  if (!ProfileCheckBoxes(this, true, &why)) {
    AppendStatusLog(TrText({"选项无法保存: %1", {why}}));
    AfxMessageBox(TrText({"选项无法保存到设置文件!\r\n\r\n失败原因:%1", {why}}));
  }
  BeginClosing();
  m_session.BeginClosing();
  if (m_pTrayWatch) m_pTrayWatch->Stop();
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

// ---- the flows ----

void CMainDlg::OnBind(const SServiceRow& row) {
  if (m_bBinding || IsClosing()) return;
  m_bBinding = true;
  EnableBindButtons(false);
  m_session.StartWorker([session = &m_session, row = &row] {
    BindAccount(*session, *row);
    session->BindDone();
  });
}

void CMainDlg::EnableBindButtons(bool enable) {
  for (const SServiceRow* row : ServiceRows()) EnableDlgItem(row->window.bindButton.id, enable);
}

bool CMainDlg::PostTo(const SServiceRow& row, const std::string& text, const std::string& picture) {
  return PostStatus(m_session, row, text, picture);
}

void CMainDlg::MirrorBoxesIntoSession() {
  static const std::pair<int, EAlertGate> kGates[] = {{IDC_ALERT_AT_ME, EAlertGate::AtMe},
                                                      {IDC_FOLLOWING_UPDATE, EAlertGate::Following},
                                                      {IDC_NEW_FANS, EAlertGate::Fans}};
  // Every change of a box, by the user or by the program, reaches the session at once.
  for (const auto& [id, gate] : kGates) {
    auto* box = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    if (!box) continue;
    m_session.SetAlertTicked(gate, box->isChecked());
    connect(box, &QAbstractButton::toggled, this,
            [this, gate = gate](bool on) { m_session.SetAlertTicked(gate, on); });
  }
  for (const SServiceRow* row : ServiceRows()) {
    auto* box = qobject_cast<QAbstractButton*>(GetDlgItem(row->window.sendBox.id));
    if (!box) continue;
    m_session.SetSendTicked(*row, box->isChecked());
    connect(box, &QAbstractButton::toggled, this,
            [this, row](bool on) { m_session.SetSendTicked(*row, on); });
  }
}

// ---- the window port ----

std::string CMainDlg::AskCode() {
  // Given up (nothing read) when the window closes meanwhile: the run is cancelled.
  auto code = std::make_shared<std::string>();
  if (!SendToUiThread(
          [code] {
            CVerifyCodeDlg dlg;
            dlg.DoModal();
            *code = dlg.m_strVerifyCode;
          },
          m_session.ClosingFlag()))
    return {};
  return *code;
}

std::string CMainDlg::AskServer(const std::string& suggested) {
  auto server = std::make_shared<std::string>();
  if (!SendToUiThread(
          [server, suggested] {
            CMastodonServerDlg dlg;
            dlg.m_strServer = suggested;
            dlg.DoModal();
            *server = dlg.m_strServer;
          },
          m_session.ClosingFlag()))
    return {};
  return *server;
}

SSignInAnswer CMainDlg::AskSignIn(const SSignInForm& form) {
  auto answer = std::make_shared<SSignInAnswer>();
  if (!SendToUiThread(
          [answer, form] {
            CSignInDlg dlg(form);
            dlg.DoModal();
            *answer = dlg.m_answer;
          },
          m_session.ClosingFlag()))
    return {};
  return *answer;
}

void CMainDlg::ShowMessage(const SUserText& text) {
  // Lines logged before the box are in the log while it is open.
  if (IsUiThread()) DrainOutbox();
  AfxMessageBox(TrText(text), m_session.ClosingFlag());
}

bool CMainDlg::OpenBrowser(const std::string& url) {
  // The desktop's answer is awaited, so a desktop without a browser is told to the session,
  // which then shows the address to copy. A closing window gives up the wait.
  auto opened = std::make_shared<std::atomic<bool>>(false);
  if (!SendToUiThread([opened, url] { opened->store(ShellOpenUrl(url)); }, m_session.ClosingFlag()))
    return false;
  return opened->load();
}

void CMainDlg::Wake() {
  if (IsUiThread()) return DrainOutbox();
  // One drain on its way is enough: it takes everything queued until it runs.
  if (m_drainPending.exchange(true)) return;
  PostToUiThread([gate = m_drainGate] {
    if (CMainDlg* dlg = *gate) dlg->DrainOutbox();
  });
}

void CMainDlg::DrainOutbox() {
  m_drainPending = false;
  for (const SOutboxItem& item : m_session.TakeOutbox()) {
    switch (item.kind) {
      case SOutboxItem::EKind::Log:
        AppendStatusLog(TrText(item.text));
        break;
      case SOutboxItem::EKind::Name:
        if (*m_drainGate) SetDlgItemText(item.row->window.nameLabel.id, item.text.Chinese());
        break;
      case SOutboxItem::EKind::Alert:
        if (*m_drainGate)
          SendMessage(WM_SERVICE_ALERT, WPARAM(item.alertKind),
                      LPARAM(std::clamp<long long>(item.count, 0, INT_MAX)));
        break;
      case SOutboxItem::EKind::SendDone:
        if (*m_drainGate) EnableDlgItem(IDC_SEND, true);
        break;
      case SOutboxItem::EKind::BindDone:
        m_bBinding = false;
        if (*m_drainGate) EnableBindButtons(true);
        break;
    }
  }
}

// ---- alerts ----

LRESULT CMainDlg::OnServiceAlert(WPARAM kind, LPARAM count) {
  const int alertKind = kind > WPARAM(INT_MAX) ? 0 : int(kind);  // 0: no such kind
  if (const auto& hook = AlertHook()) hook(alertKind, count);
  // The popup describes its kind again whenever further alerts add to its count.
  CAlertPopup::Open(this, alertKind, count, [this](int k, long long n, SAlertContent& content) {
    return DescribeServiceAlert(k, n, m_session, content);
  });
  return 0;
}
