// CAlertPopup: the column of popups above the taskbar, adding a further alert to the
// popup of its kind, the alerts waiting for a place, the 15-second countdown, the view
// button, closing, and deleting the object once its window is gone.
#include "notify/AlertPopup.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <deque>
#include <limits>

#include "platform/Shell.h"
#include "platform/Translation.h"
#include "res/Resource.h"

namespace {

constexpr uintptr_t kCountdownTimer = 1;
constexpr int kPlaceTries = 200;  // 10 ms apart, until the popup is on screen
constexpr int kSettleTries = 50;  // and for half a second after that
constexpr int kRightMargin = 15;  // between the frame and the work area's right edge
constexpr int kBottomMargin = 5;  // between the lowest frame and the work area's bottom
constexpr int kGap = 4;           // between two frames of the column
std::atomic<int> g_tickPeriodMs{1000};

std::string CountdownLine(int seconds) {
  return TrText({"本提示将在%1秒后自动关闭。", {TextValue(std::to_string(seconds))}});
}

long long SaturatingSum(long long a, long long b) {
  constexpr long long kMax = std::numeric_limits<long long>::max();
  if (b > 0 && a > kMax - b) return kMax;
  return a + b;
}

// Alerts of one kind that found the column full.
struct SWaitingAlert {
  QPointer<QWidget> parent;
  bool withoutParent = false;  // a null parent is no parent that went away
  int kind = 0;
  long long count = 0;
  CAlertPopup::Describe describe;
};

// The popups on screen and the alerts waiting for them; user-interface thread only.
// Waiting alerts are merged by kind and only kinds that describe() knows get here, so
// the queue holds at most one entry per alert kind of the registry.
struct SColumn {
  std::vector<CAlertPopup*> open;     // in the column, oldest first
  std::deque<SWaitingAlert> waiting;  // oldest first, one per kind
  bool openingPosted = false;         // OpenWaiting is queued
};

SColumn& Column() {
  static SColumn* column = new SColumn;  // never destroyed: popups may outlive statics
  return *column;
}

// The popup's height with its frame. The margins come from the platform window each
// time: the widget's own copy of them is refreshed only by some later move, which may
// never come.
QMargins FrameMargins(const QWidget* w) {
  const QWindow* window = w->windowHandle();
  return window ? window->frameMargins() : QMargins();
}

int FrameHeight(const QWidget* w) {
  const QMargins frame = FrameMargins(w);
  return w->height() + frame.top() + frame.bottom();
}

// Whether one more popup fits above the open ones in the work area. All popups have
// the same size, so the oldest one's frame measures every place.
bool ColumnHasRoom() {
  const std::vector<CAlertPopup*>& open = Column().open;
  if (open.empty()) return true;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return false;
  const int height = screen->availableGeometry().height() - kBottomMargin + kGap;
  const int places = std::max(1, height / (FrameHeight(open.front()) + kGap));
  return int(open.size()) < places;
}

int LowestFreePlace() {
  const std::vector<CAlertPopup*>& open = Column().open;
  for (int place = 0;; ++place)
    if (std::none_of(open.begin(), open.end(),
                     [place](const CAlertPopup* p) { return p->m_nPlace == place; }))
      return place;
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

// Deleted with its parent, a popup may never have had its window destroyed.
CAlertPopup::~CAlertPopup() { LeaveColumn(); }

void CAlertPopup::SetTickPeriodMs(int ms) { g_tickPeriodMs = ms > 0 ? ms : 1000; }
int CAlertPopup::TickPeriodMs() { return g_tickPeriodMs; }

bool CAlertPopup::OnInitDialog() {
  CDialog::OnInitDialog();  // focus on the first control, the view button
  ShowContent();
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

void CAlertPopup::TakeContent(const SAlertContent& content) {
  m_strTitle = Tr(content.title);
  m_strText = TrText(content.text);
  m_strUrl = content.url;
  ShowContent();
}

void CAlertPopup::ShowContent() {
  setWindowTitle(QString::fromStdString(m_strTitle));
  SetDlgItemText(IDC_ALERT_TEXT, "\r\n" + m_strText);
}

void CAlertPopup::PlaceAtCorner() {
  if (m_nPlace < 0) return;  // out of the column (hidden): it stays where it was
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  adjustSize();
  // The frame is known only once the window has its platform window; creating it here
  // (show() would anyway) makes the first placement final wherever the platform reports
  // frame margins at creation.
  if (!testAttribute(Qt::WA_WState_Created)) winId();
  // The work area leaves out panels and taskbars; the lowest popup's frame sits 15
  // pixels from its right edge and 5 above its bottom edge, keeping its size, and each
  // place of the column is one frame and a small gap above the one below it.
  const QMargins frame = FrameMargins(this);
  const QRect area = screen->availableGeometry();
  const int above = m_nPlace * (FrameHeight(this) + kGap);
  const QPoint client(area.x() + area.width() - kRightMargin - frame.right() - width(),
                      area.y() + area.height() - kBottomMargin - frame.bottom() - height() - above);
  // Placing the client itself (not the frame) leaves the window manager nothing to
  // interpret.
  if (geometry().topLeft() != client || !testAttribute(Qt::WA_Moved))
    setGeometry(QRect(client, size()));
}

void CAlertPopup::PlaceAgainOnScreen(int triesLeft) {
  // A window manager adds its frame some time after show, and reports its size later
  // still: the popup is placed again until it has been on screen for a while, so the
  // frame too stays clear of a panel at the bottom and of the popup below.
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

// Esc hides the popup; it still ends with its countdown, but its place is free at once,
// and a further alert of its kind opens a popup the user can see.
void CAlertPopup::OnCancel() {
  CDialog::OnCancel();
  LeaveColumn();
}

void CAlertPopup::PostNcDestroy() {
  LeaveColumn();
  deleteLater();
}

void CAlertPopup::LeaveColumn() {
  SColumn& column = Column();
  const auto it = std::find(column.open.begin(), column.open.end(), this);
  if (it == column.open.end()) return;
  column.open.erase(it);
  m_nPlace = -1;
  PostOpenWaiting();
}

void CAlertPopup::PostOpenWaiting() {
  // The waiting alerts open from the event loop: a popup leaves the column also while its
  // parent deletes its children, and no popup may be created over a parent going away.
  SColumn& column = Column();
  if (column.waiting.empty() || column.openingPosted || !QCoreApplication::instance()) return;
  column.openingPosted = true;
  QTimer::singleShot(0, QCoreApplication::instance(), [] { OpenWaiting(); });
}

CAlertPopup* CAlertPopup::OpenNew(QWidget* parent, int kind, long long count,
                                  const SAlertContent& content) {
  auto* popup = new CAlertPopup;
  popup->m_nKind = kind;
  popup->m_nCount = count;
  popup->m_strTitle = Tr(content.title);
  popup->m_strText = TrText(content.text);
  popup->m_strUrl = content.url;
  popup->m_nPlace = LowestFreePlace();
  Column().open.push_back(popup);
  popup->Create(parent);
  popup->show();
  popup->raise();
  return popup;
}

void CAlertPopup::OpenWaiting() {
  SColumn& column = Column();
  column.openingPosted = false;
  while (!column.waiting.empty() && ColumnHasRoom()) {
    SWaitingAlert next = std::move(column.waiting.front());
    column.waiting.pop_front();
    SAlertContent content;
    if ((next.parent || next.withoutParent) && next.describe(next.kind, next.count, content))
      OpenNew(next.parent, next.kind, next.count, content);
  }
}

CAlertPopup* CAlertPopup::Open(QWidget* parent, int kind, long long count, Describe describe) {
  if (!describe) return nullptr;
  SColumn& column = Column();
  // Alerts for a window that has gone are shown no more.
  std::erase_if(column.waiting,
                [](const SWaitingAlert& w) { return !w.parent && !w.withoutParent; });
  SAlertContent content;
  // A kind on screen: the popup says the sum and counts down from 15 again.
  for (CAlertPopup* popup : column.open) {
    if (popup->m_nKind != kind) continue;
    const long long sum = SaturatingSum(popup->m_nCount, count);
    if (!describe(kind, sum, content)) return nullptr;
    popup->m_nCount = sum;
    popup->TakeContent(content);
    popup->SetDlgItemText(IDC_ALERT_COUNTDOWN, CountdownLine(15));
    popup->m_nSecondsLeft = 14;  // the next tick is a full period away
    popup->SetTimer(kCountdownTimer, TickPeriodMs());
    return popup;
  }
  if (!describe(kind, count, content)) return nullptr;
  // A kind already waiting: one entry with the sum.
  for (SWaitingAlert& waiting : column.waiting) {
    if (waiting.kind != kind) continue;
    waiting.count = SaturatingSum(waiting.count, count);
    waiting.parent = parent;
    waiting.withoutParent = !parent;
    waiting.describe = std::move(describe);
    return nullptr;
  }
  // Waiting alerts go first: a new kind queues behind them even when a place is free
  // (one just freed, their opening queued).
  if (column.waiting.empty() && ColumnHasRoom()) return OpenNew(parent, kind, count, content);
  column.waiting.push_back({parent, !parent, kind, count, std::move(describe)});
  PostOpenWaiting();  // opens nothing while the column is full
  return nullptr;
}

std::vector<std::pair<int, long long>> CAlertPopup::Waiting() {
  std::vector<std::pair<int, long long>> out;
  for (const SWaitingAlert& waiting : Column().waiting)
    out.emplace_back(waiting.kind, waiting.count);
  return out;
}
