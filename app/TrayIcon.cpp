// CTrayIcon on QSystemTrayIcon.
#include "app/TrayIcon.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QMenu>
#include <QSystemTrayIcon>
#include <cstring>

#include "app/TrayWatch.h"
#include "platform/Dialog.h"
#include "res/Templates.h"

namespace {
int g_availability = -1;

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

// A StatusNotifierItem panel is on the session bus: Qt then puts the icon there (it
// decides once, at its first look for a notification area) instead of an XEmbed tray.
bool StatusNotifierHostPresent() {
  QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
  if (!bus || !bus->isServiceRegistered(kWatcherService)) return false;
  QDBusInterface watcher(kWatcherService, QStringLiteral("/StatusNotifierWatcher"),
                         kWatcherService);
  return watcher.property("IsStatusNotifierHostRegistered").toBool();
}

// Only the name is asked for (one call to the bus daemon).
bool StatusNotifierWatcherPresent() {
  QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
  return bus && bus->isServiceRegistered(kWatcherService);
}
}  // namespace

void CTrayIcon::SetAvailabilityOverride(int available) { g_availability = available; }

bool CTrayIcon::IsAvailable() {
  if (g_availability >= 0) return g_availability == 1;
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
  // The toolkit keeps the XEmbed tray it found until it has handled the end of that tray's
  // window, which may come after the tray gave up its selection: on X11 the X server says
  // whether an XEmbed tray is there, and a StatusNotifierItem panel is the other kind.
  return XEmbedTrayOwned() != 0 || StatusNotifierWatcherPresent();
}

bool CTrayIcon::IsHostPresent() const {
  if (!m_bOnPanel) return IsAvailable();
  return StatusNotifierWatcherPresent();
}

CTrayIcon::~CTrayIcon() {
  RemoveIcon();
  delete m_pMenu.data();
}

QMenu* CTrayIcon::BuildMenu(QWidget* parent) const {
  const auto* menu = FindMenuResource(int(m_nid.uID));
  if (!menu || menu->empty() || !m_nid.hWnd || menu->front().items.empty()) return nullptr;
  QMenu* built = m_nid.hWnd->BuildPopupMenu(menu->front(), parent);
  QList<QAction*> actions = built->actions();
  // The style draws the default entry bold and makes room for the bolder text; a bold
  // font set on the action as well would be measured as plain text and drawn cut short.
  if (!actions.isEmpty()) built->setDefaultAction(actions.first());
  return built;
}

bool CTrayIcon::Create(CDialog* notifyWindow, UINT callbackMessage, const std::string& tooltip,
                       const QIcon& icon, UINT id) {
  m_bEnabled = IsAvailable();
  if (!m_bEnabled) return false;
  m_bEnabled = notifyWindow != nullptr && !notifyWindow->IsWindowDestroyed();
  if (!m_bEnabled) return false;

  m_nid.hWnd = notifyWindow;
  m_nid.uID = id;
  m_nid.uCallbackMessage = callbackMessage;
  m_nid.uFlags = 7;  // message, icon, tip
  // The record holds at most 63 bytes of tooltip; a longer text is cut on a character
  // boundary so the tip never ends in half a UTF-8 sequence.
  size_t n = std::min<size_t>(tooltip.size(), sizeof(m_nid.szTip) - 1);
  while (n > 0 && n < tooltip.size() && (static_cast<unsigned char>(tooltip[n]) & 0xC0) == 0x80)
    --n;
  std::memcpy(m_nid.szTip, tooltip.data(), n);
  m_nid.szTip[n] = 0;

  m_pIcon = new QSystemTrayIcon(icon, notifyWindow);
  m_pIcon->setToolTip(QString::fromUtf8(m_nid.szTip));
  // A StatusNotifierItem panel draws the icon's menu itself, from the menu the icon
  // exports, and knows no double click: its activation of the item (a click) stands for
  // the double click of an XEmbed tray, which runs the menu's first command.
  m_bOnPanel = g_availability < 0 && StatusNotifierHostPresent();
  if (m_bOnPanel) {
    m_pPanelMenu = BuildMenu(nullptr);
    m_pIcon->setContextMenu(m_pPanelMenu);
  }
  const bool onPanel = m_bOnPanel;
  QObject::connect(
      m_pIcon, &QSystemTrayIcon::activated, notifyWindow,
      [notifyWindow, callbackMessage, id, onPanel](QSystemTrayIcon::ActivationReason reason) {
        LPARAM event = WM_LBUTTONUP;
        if (reason == QSystemTrayIcon::Context) event = WM_RBUTTONUP;
        if (reason == QSystemTrayIcon::DoubleClick) event = WM_LBUTTONDBLCLK;
        if (reason == QSystemTrayIcon::Trigger && onPanel) event = WM_LBUTTONDBLCLK;
        if (reason == QSystemTrayIcon::MiddleClick) event = WM_LBUTTONUP;
        notifyWindow->SendMessage(callbackMessage, id, event);
      });
  m_pIcon->show();
  m_bEnabled = m_pIcon->isVisible() || g_availability == 1;
  return m_bEnabled;
}

void CTrayIcon::RemoveIcon() {
  if (!m_bEnabled) return;
  m_nid.uFlags = 0;
  if (m_pIcon) {
    m_pIcon->hide();
    delete m_pIcon;
    m_pIcon = nullptr;
  }
  delete m_pPanelMenu;
  m_pPanelMenu = nullptr;
  m_bOnPanel = false;
  m_bEnabled = false;
}

LRESULT CTrayIcon::OnTrayNotification(WPARAM id, LPARAM event) {
  if (id != m_nid.uID) return 0;
  const UINT mouse = UINT(event) & 0xFFFF;
  if (mouse != WM_RBUTTONUP && mouse != WM_LBUTTONDBLCLK) return 1;

  const auto* menu = FindMenuResource(int(m_nid.uID));
  if (!menu || menu->empty() || !m_nid.hWnd) return 0;
  const SMenuItemDef& popup = menu->front();
  if (popup.items.empty()) return 0;

  CDialog* window = m_nid.hWnd;
  if (mouse == WM_RBUTTONUP) {
    delete m_pMenu.data();
    QMenu* shown = BuildMenu(nullptr);
    window->activateWindow();
    shown->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(shown, &QMenu::aboutToHide, shown, [shown] { shown->deleteLater(); });
    m_pMenu = shown;
    shown->popup(QCursor::pos());
    return 1;
  }
  // Double click: the menu's first entry, at once.
  window->activateWindow();
  window->SendMessage(WM_COMMAND, WPARAM(popup.items.front().id), 0);
  return 1;
}
