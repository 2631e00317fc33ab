// CTrayWatch: tells when a notification area may have come or gone, from the notices the
// desktop sends rather than by asking it again and again. On X11 the XEmbed tray is the
// owner of the selection _NET_SYSTEM_TRAY_S<screen>, and XFixes reports every change of
// that owner; a StatusNotifierItem panel owns org.kde.StatusNotifierWatcher on the session
// bus, whose daemon reports every change of a name's owner. Between notices nothing runs.
#pragma once
#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>

class QDBusConnection;
class QDBusServiceWatcher;
struct xcb_connection_t;

class CTrayWatch : public QObject, public QAbstractNativeEventFilter {
  Q_OBJECT
 public:
  explicit CTrayWatch(QObject* parent = nullptr);
  ~CTrayWatch() override;

  // Listens wherever the application's platform can have a notification area: on X11 to
  // the display the application is connected to and to the session bus, on other windowing
  // platforms to the session bus; the offscreen and minimal platforms have none.
  void Start();
  // Stops listening; no Changed follows.
  void Stop();

  // The X11 half on a connection that has already asked for XFixes' version (the
  // application's has): the owner of the tray selection of the given screen is watched.
  // False when the server has no XFixes. Events reach HandleXcbEvent.
  bool WatchDisplay(xcb_connection_t* connection, int screen);
  // The bus half: the owner of the StatusNotifierItem watcher's name on the given bus.
  // False when that bus is not connected.
  bool WatchBus(const QDBusConnection& bus);
  bool WatchesDisplay() const { return m_connection != nullptr; }
  bool WatchesBus() const { return m_busWatcher != nullptr; }

  // One event of the watched connection: true when it reports a change of the tray
  // selection's owner (Changed then follows from the event loop).
  bool HandleXcbEvent(const void* event);
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 signals:
  // A notification area may have come or gone. Notices that arrive together give one
  // Changed, from the event loop, after the events that came with them were handled.
  void Changed();

 private:
  void Notice();

  xcb_connection_t* m_connection = nullptr;
  int m_screen = 0;
  uint32_t m_selection = 0;  // the atom _NET_SYSTEM_TRAY_S<screen>
  uint8_t m_firstEvent = 0;  // XFixes' first event code on m_connection
  bool m_filtering = false;
  QDBusServiceWatcher* m_busWatcher = nullptr;
  bool m_noticePending = false;
};

// Whether the XEmbed tray selection of the application's X11 screen has an owner now, as
// the X server says (one round trip); -1 where the application is not on X11.
int XEmbedTrayOwned();
