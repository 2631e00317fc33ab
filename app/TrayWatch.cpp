// CTrayWatch over XFixes selection notices and the bus daemon's NameOwnerChanged.
#include "app/TrayWatch.h"

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <cstdlib>
#include <string>

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

constexpr uint32_t kOwnerEvents = XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                  XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                  XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE;

// The application's connection to the X server; null on any other platform.
xcb_connection_t* ApplicationConnection() {
  if (!qGuiApp) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->connection() : nullptr;
}

// The screen the toolkit puts the icon on: the one DISPLAY names, as it connects to it.
int ApplicationScreen() {
  int screen = 0;
  char* host = nullptr;
  int display = 0;
  if (!xcb_parse_display(nullptr, &host, &display, &screen)) screen = 0;
  std::free(host);
  return screen;
}

xcb_window_t RootOf(xcb_connection_t* connection, int screen) {
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; it.rem > 0; xcb_screen_next(&it), ++i)
    if (i == screen) return it.data->root;
  return XCB_WINDOW_NONE;
}

xcb_atom_t TraySelection(xcb_connection_t* connection, int screen) {
  const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.data()), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(reply);
  return atom;
}

}  // namespace

CTrayWatch::CTrayWatch(QObject* parent) : QObject(parent) {}

CTrayWatch::~CTrayWatch() {
  // The connection may already be closed here; the subscription ends with it.
  if (m_filtering && QCoreApplication::instance())
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

void CTrayWatch::Start() {
  // Platforms that draw nowhere have no notification area to wait for.
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return;
  if (xcb_connection_t* connection = ApplicationConnection()) {
    if (WatchDisplay(connection, ApplicationScreen())) {
      QCoreApplication::instance()->installNativeEventFilter(this);
      m_filtering = true;
    }
  }
  WatchBus(QDBusConnection::sessionBus());
}

void CTrayWatch::Stop() {
  if (m_connection) {
    xcb_xfixes_select_selection_input(m_connection, RootOf(m_connection, m_screen), m_selection, 0);
    xcb_flush(m_connection);
    m_connection = nullptr;
  }
  if (m_filtering) {
    QCoreApplication::instance()->removeNativeEventFilter(this);
    m_filtering = false;
  }
  delete m_busWatcher;
  m_busWatcher = nullptr;
}

bool CTrayWatch::WatchDisplay(xcb_connection_t* connection, int screen) {
  const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
  if (!xfixes || !xfixes->present) return false;
  const xcb_window_t root = RootOf(connection, screen);
  if (root == XCB_WINDOW_NONE) return false;
  const xcb_atom_t selection = TraySelection(connection, screen);
  if (selection == XCB_ATOM_NONE) return false;
  // The notices go to this client whatever window is named; the screen's root lives as long
  // as the display.
  xcb_xfixes_select_selection_input(connection, root, selection, kOwnerEvents);
  xcb_flush(connection);
  m_connection = connection;
  m_screen = screen;
  m_selection = selection;
  m_firstEvent = xfixes->first_event;
  return true;
}

bool CTrayWatch::WatchBus(const QDBusConnection& bus) {
  if (!bus.isConnected()) return false;
  delete m_busWatcher;
  // The bus daemon sends NameOwnerChanged for the name alone (a match rule on it): a panel
  // that starts, ends or hands the name on.
  m_busWatcher =
      new QDBusServiceWatcher(kWatcherService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(m_busWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] { Notice(); });
  return true;
}

bool CTrayWatch::HandleXcbEvent(const void* message) {
  if (!m_connection) return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7f) != m_firstEvent + XCB_XFIXES_SELECTION_NOTIFY) return false;
  const auto* notify = static_cast<const xcb_xfixes_selection_notify_event_t*>(message);
  if (notify->selection != m_selection) return false;
  Notice();
  return true;
}

bool CTrayWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  // The toolkit sees the event as well (it ignores selections it did not ask about).
  if (eventType == "xcb_generic_event_t") HandleXcbEvent(message);
  return false;
}

void CTrayWatch::Notice() {
  if (m_noticePending) return;
  m_noticePending = true;
  // From the event loop: the look then runs after the toolkit has handled the events that
  // came in the same read (such as the end of the tray's window), and outside its own
  // handling of the display's events.
  QMetaObject::invokeMethod(
      this,
      [this] {
        m_noticePending = false;
        if (WatchesDisplay() || WatchesBus()) emit Changed();
      },
      Qt::QueuedConnection);
}

int XEmbedTrayOwned() {
  xcb_connection_t* connection = ApplicationConnection();
  if (!connection) return -1;
  static const xcb_atom_t selection = TraySelection(connection, ApplicationScreen());
  if (selection == XCB_ATOM_NONE) return 0;
  xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
      connection, xcb_get_selection_owner(connection, selection), nullptr);
  const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
  std::free(reply);
  return owned ? 1 : 0;
}
