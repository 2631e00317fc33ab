// CAlertPopup: placing the popup above the taskbar, the 15-second countdown, the view
// button, closing, and deleting the object once its window is gone.
#include "notify/AlertPopup.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <atomic>

#include "platform/Shell.h"
#include "res/Resource.h"

namespace {

constexpr uintptr_t kCountdownTimer = 1;
constexpr int kPlaceTries = 200;  // 10 ms apart, until the popup is on screen
constexpr int kSettleTries = 50;  // and for half a second after that
std::atomic<int> g_tickPeriodMs{1000};

std::string CountdownLine(int seconds) {
  return "本提示将在" + std::to_string(seconds) + "秒后自动关闭。";
}

}  // namespace

CAlertPopup::CAlertPopup() : CDialog(IDD_ALERT_POPUP, nullptr) {
  OnMessage(WM_TIMER, [this](WPARAM id, LPARAM) {
    OnTimer(id);
    return LRESULT(0);
  });
  // The close box (and Alt+F4) destroys the popup.
  OnMessage(WM_CLOSE, [this](WPARAM, LPARAM) {
    DestroyWindow();
    return LRESULT(0);
  });
  OnCommand(IDC_ALERT_VIEW, [this] { OnViewClicked(); });
}

void CAlertPopup::SetTickPeriodMs(int ms) { g_tickPeriodMs = ms > 0 ? ms : 1000; }
int CAlertPopup::TickPeriodMs() { return g_tickPeriodMs; }

bool CAlertPopup::OnInitDialog() {
  CDialog::OnInitDialog();  // focus on the first control, the view button
  setWindowTitle(QString::fromStdString(m_strTitle));
  SetDlgItemText(IDC_ALERT_TEXT, "\r\n" + m_strText);
  // Above every other window, and no taskbar entry (the template makes it a tool window).
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  PlaceAtCorner();
  QTimer::singleShot(0, this, [this] {
    if (!IsWindowDestroyed()) PlaceAgainOnScreen(kPlaceTries);
  });
  m_nSecondsLeft = 15;
  SetTimer(kCountdownTimer, TickPeriodMs());
  return true;
}

void CAlertPopup::PlaceAtCorner() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  adjustSize();
  // The frame is known only once the window has its platform window; creating it here
  // (show() would anyway) makes the first placement final wherever the platform reports
  // frame margins at creation.
  if (!testAttribute(Qt::WA_WState_Created)) winId();
  // The work area leaves out panels and taskbars; the popup's frame sits 15 pixels from
  // its right edge and 5 above its bottom edge, keeping its size. The margins come from
  // the platform window each time: the widget's own copy of them is refreshed only by
  // some later move, which may never come.
  const QWindow* window = windowHandle();
  const QMargins frame = window ? window->frameMargins() : QMargins();
  const QRect area = screen->availableGeometry();
  const QPoint client(area.x() + area.width() - 15 - frame.right() - width(),
                      area.y() + area.height() - 5 - frame.bottom() - height());
  // Placing the client itself (not the frame) leaves the window manager nothing to
  // interpret.
  if (geometry().topLeft() != client || !testAttribute(Qt::WA_Moved))
    setGeometry(QRect(client, size()));
}

void CAlertPopup::PlaceAgainOnScreen(int triesLeft) {
  // A window manager adds its frame some time after show, and reports its size later
  // still: the popup is placed again until it has been on screen for a while, so the
  // frame too stays clear of a panel at the bottom.
  PlaceAtCorner();
  const QWindow* window = windowHandle();
  if (window && window->isExposed() && triesLeft > kSettleTries) triesLeft = kSettleTries;
  if (triesLeft > 0)
    QTimer::singleShot(10, this, [this, triesLeft] {
      if (!IsWindowDestroyed()) PlaceAgainOnScreen(triesLeft - 1);
    });
}

void CAlertPopup::OnTimer(uintptr_t id) {
  if (id != kCountdownTimer) return;
  if (m_nSecondsLeft > 0) {
    SetDlgItemText(IDC_ALERT_COUNTDOWN, CountdownLine(m_nSecondsLeft));
    --m_nSecondsLeft;
  } else {
    KillTimer(kCountdownTimer);
    DestroyWindow();
  }
}

void CAlertPopup::OnViewClicked() {
  ShellOpenUrl(m_strUrl);  // a failure to open is ignored: the popup closes anyway
  WindowProc(WM_CLOSE, 0, 0);
}

void CAlertPopup::PostNcDestroy() { deleteLater(); }

CAlertPopup* CAlertPopup::Open(QWidget* parent, const std::string& title, const std::string& text,
                               const std::string& url) {
  auto* popup = new CAlertPopup;
  popup->m_strTitle = title;
  popup->m_strText = text;
  popup->m_strUrl = url;
  popup->Create(parent);
  popup->show();
  popup->raise();
  return popup;
}
