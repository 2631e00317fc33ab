// The tray icon: what each mouse notification does and answers, and its life cycle; and
// the watch that reports a notification area coming or going.
#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <cstdlib>

#include "app/MainDlg.h"
#include "app/TrayWatch.h"
#include "res/Resource.h"
#include "tests/support/AppHarness.h"

namespace {

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CTrayIcon::SetAvailabilityOverride(1);
    CAppHarness::FreshSettings(::testing::UnitTest::GetInstance()->current_test_info()->name());
    dlg = harness.OpenWindow();
  }
  void TearDown() override { CTrayIcon::SetAvailabilityOverride(-1); }
  CAppHarness harness;
  CMainDlg* dlg = nullptr;
};

TEST_F(TrayTest, IconCarriesTheApplicationNameAndMenuId) {
  CTrayIcon& tray = dlg->TrayIcon();
  EXPECT_TRUE(tray.IsEnabled());
  EXPECT_EQ(tray.Id(), 133u);
  EXPECT_EQ(tray.Tooltip(), "Plumfinch");
  ASSERT_NE(tray.Icon(), nullptr);
  EXPECT_EQ(tray.Icon()->toolTip().toStdString(), "Plumfinch");
  EXPECT_FALSE(tray.Icon()->icon().isNull());
}

TEST_F(TrayTest, NotificationsForAnotherIconAreNotOurs) {
  EXPECT_EQ(dlg->SendMessage(WM_TRAY_NOTIFY, 134, WM_RBUTTONUP), 0);
  EXPECT_EQ(dlg->SendMessage(WM_TRAY_NOTIFY, 0, WM_LBUTTONDBLCLK), 0);
  EXPECT_EQ(dlg->TrayIcon().ShownMenu(), nullptr);
  EXPECT_TRUE(dlg->isVisible());
}

TEST_F(TrayTest, MovesAndSingleClicksAreAnsweredAndIgnored) {
  for (LPARAM event : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN}) {
    EXPECT_EQ(dlg->SendMessage(WM_TRAY_NOTIFY, 133, event), 1);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->TrayIcon().ShownMenu(), nullptr);
  }
}

TEST_F(TrayTest, RightClickShowsTheMenuWithTheFirstEntryAsDefault) {
  EXPECT_EQ(dlg->SendMessage(WM_TRAY_NOTIFY, 133, WM_RBUTTONUP), 1);
  QMenu* menu = dlg->TrayIcon().ShownMenu();
  ASSERT_NE(menu, nullptr);
  const QList<QAction*> actions = menu->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_EQ(actions[0]->text().toStdString(), "隐藏/显示窗口(&S)");
  EXPECT_TRUE(actions[1]->isSeparator());
  EXPECT_EQ(actions[2]->text().toStdString(), "退出(&X)");
  EXPECT_EQ(menu->defaultAction(), actions[0]);
  // Choosing the first entry hides the window; closing the menu otherwise sends nothing.
  actions[0]->trigger();
  EXPECT_TRUE(dlg->isHidden());
  menu->hide();
  CAppHarness::Pump(20);
  EXPECT_EQ(dlg->SendMessage(WM_TRAY_NOTIFY, 133, WM_RBUTTONUP), 1);
  dlg->TrayIcon().ShownMenu()->hide();
  CAppHarness::Pump(20);
  EXPECT_TRUE(dlg->isHidden());
}

TEST_F(TrayTest, DoubleClickTogglesTheWindow) {
  EXPECT_EQ(dlg->SendMessage(WM_TRAY_NOTIFY, 133, WM_LBUTTONDBLCLK), 1);
  EXPECT_TRUE(dlg->isHidden());
  EXPECT_EQ(dlg->SendMessage(WM_TRAY_NOTIFY, 133, WM_LBUTTONDBLCLK), 1);
  EXPECT_TRUE(dlg->isVisible());
}

TEST_F(TrayTest, ExitFromTheMenuEndsTheWindowAndRemovesTheIcon) {
  dlg->SendMessage(WM_TRAY_NOTIFY, 133, WM_RBUTTONUP);
  dlg->TrayIcon().ShownMenu()->actions()[2]->trigger();
  EXPECT_TRUE(dlg->isHidden());
  dlg->TrayIcon().RemoveIcon();
  EXPECT_FALSE(dlg->TrayIcon().IsEnabled());
  EXPECT_EQ(dlg->TrayIcon().Icon(), nullptr);
}

TEST(TrayWithoutArea, CreateFailsAndRemoveIsHarmless) {
  CTrayIcon::SetAvailabilityOverride(0);
  CAppHarness::FreshSettings("TrayWithoutArea");
  CAppHarness harness;
  CMainDlg* dlg = harness.OpenWindow();
  EXPECT_FALSE(dlg->TrayIcon().IsEnabled());
  dlg->showMinimized();
  CAppHarness::Pump(50);
  EXPECT_TRUE(dlg->isVisible()) << "minimising without a tray must not lose the window";
  CTrayIcon::SetAvailabilityOverride(-1);
}

// The notification area comes after a background start, goes away with the window
// hidden, and comes back: the icon follows it, and the window is never hidden without one.
TEST(TrayWithoutArea, ATrayThatComesLateOrGoesIsFollowed) {
  CTrayIcon::SetAvailabilityOverride(0);
  CAppHarness::FreshSettings("TrayComesAndGoes");
  CAppHarness harness;
  CMainDlg* dlg = harness.OpenWindow("plumfinch -background");
  ASSERT_TRUE(CAppHarness::WaitFor([&] { return dlg->isMinimized(); }, 3000));
  dlg->OnTrayWatch();
  EXPECT_FALSE(dlg->TrayIcon().IsEnabled());
  EXPECT_TRUE(dlg->isVisible());

  CTrayIcon::SetAvailabilityOverride(1);
  dlg->OnTrayWatch();
  EXPECT_TRUE(dlg->TrayIcon().IsEnabled());
  EXPECT_TRUE(dlg->isHidden()) << "the minimised window goes into the new tray";

  CTrayIcon::SetAvailabilityOverride(0);
  dlg->OnTrayWatch();
  EXPECT_FALSE(dlg->TrayIcon().IsEnabled());
  EXPECT_TRUE(dlg->isVisible()) << "no tray: the window comes back";
  EXPECT_FALSE(dlg->isMinimized());

  CTrayIcon::SetAvailabilityOverride(1);
  dlg->OnTrayWatch();
  EXPECT_TRUE(dlg->TrayIcon().IsEnabled());
  EXPECT_TRUE(dlg->isVisible()) << "a window on screen stays there when the tray returns";
  CTrayIcon::SetAvailabilityOverride(-1);
}

// ---- the watch: the X server's and the bus daemon's notices ----

// A server of its own for one test; line is the first line it prints (its display number
// or address), empty when it could not start. QProcess ends it with the test.
struct SPrivateServer {
  SPrivateServer(const QString& program, const QStringList& args) {
    if (QStandardPaths::findExecutable(program).isEmpty()) return;
    process.start(program, args);
    while (process.waitForReadyRead(10000) && !process.canReadLine()) {
    }
    line = process.readLine().trimmed();
  }
  QProcess process;
  QByteArray line;
};

// A round trip: the server has carried out every request sent before it.
void Sync(xcb_connection_t* c) {
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  auto* reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : 0;
  free(reply);
  return atom;
}

// A tray takes the selection, its window ends, another takes it and its client ends: each
// is a notice, and notices read together give one look. The clipboard's owner, watched on
// the same connection, is no tray.
TEST(TrayWatch, FollowsTheOwnerOfTheXEmbedTraySelection) {
  CAppHarness::App();
  SPrivateServer xvfb("Xvfb",
                      {"-displayfd", "1", "-screen", "0", "320x240x24", "-nolisten", "tcp"});
  if (xvfb.line.isEmpty()) GTEST_SKIP() << "no X server could be started";
  const std::string display = ":" + xvfb.line.toStdString();
  xcb_connection_t* ours = xcb_connect(display.c_str(), nullptr);
  xcb_connection_t* tray = xcb_connect(display.c_str(), nullptr);
  ASSERT_FALSE(xcb_connection_has_error(ours) || xcb_connection_has_error(tray));
  free(xcb_xfixes_query_version_reply(ours, xcb_xfixes_query_version(ours, 5, 0), nullptr));
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(tray)).data->root;
  const xcb_atom_t clipboard = Atom(tray, "CLIPBOARD");

  CTrayWatch watch;
  int changes = 0, notices = 0, others = 0;
  QObject::connect(&watch, &CTrayWatch::Changed, [&] { ++changes; });
  ASSERT_TRUE(watch.WatchDisplay(ours, 0));
  xcb_xfixes_select_selection_input(ours, root, clipboard,
                                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
  Sync(ours);
  // After the tray's requests, one round trip of ours brings every event they caused; they
  // reach the watch as the toolkit's event filter hands them on.
  auto act = [&](const std::function<void()>& requests) {
    requests();
    Sync(tray);
    Sync(ours);
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(ours)) {
      ++(watch.HandleXcbEvent(event) ? notices : others);
      free(event);
    }
  };
  auto take = [&](xcb_atom_t selection) {
    const xcb_window_t window = xcb_generate_id(tray);
    xcb_create_window(tray, 0, window, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, 0,
                      nullptr);
    xcb_set_selection_owner(tray, window, selection, XCB_CURRENT_TIME);
    return window;
  };

  xcb_window_t first = 0;
  act([&] {
    take(clipboard);
    first = take(Atom(tray, "_NET_SYSTEM_TRAY_S0"));
  });
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(others, 1);
  EXPECT_TRUE(CAppHarness::WaitFor([&] { return changes == 1; }));
  act([&] { xcb_destroy_window(tray, first); });
  EXPECT_EQ(notices, 2);
  act([&] { take(Atom(tray, "_NET_SYSTEM_TRAY_S0")); });
  xcb_disconnect(tray);
  Sync(ours);
  while (xcb_generic_event_t* event = xcb_poll_for_queued_event(ours)) {
    notices += watch.HandleXcbEvent(event);
    free(event);
  }
  EXPECT_EQ(notices, 4);
  CAppHarness::Pump(50);
  EXPECT_EQ(changes, 2);
  watch.Stop();
  xcb_disconnect(ours);
}

TEST(TrayWatch, FollowsTheOwnerOfTheStatusNotifierWatcherName) {
  CAppHarness::App();
  SPrivateServer daemon("dbus-daemon",
                        {"--session", "--nofork", "--nopidfile", "--print-address=1"});
  if (daemon.line.isEmpty()) GTEST_SKIP() << "no bus daemon could be started";
  const QString address = QString::fromUtf8(daemon.line);
  const QString service = QStringLiteral("org.kde.StatusNotifierWatcher");
  {
    QDBusConnection ours = QDBusConnection::connectToBus(address, QStringLiteral("watch"));
    QDBusConnection panel = QDBusConnection::connectToBus(address, QStringLiteral("panel"));
    CTrayWatch watch;
    int changes = 0;
    QObject::connect(&watch, &CTrayWatch::Changed, [&] { ++changes; });
    ASSERT_TRUE(watch.WatchBus(ours));
    ours.interface()->isServiceRegistered(service);  // the daemon has taken the watch's rule

    ASSERT_TRUE(panel.registerService(service));
    EXPECT_TRUE(CAppHarness::WaitFor([&] { return changes == 1; })) << "a panel that starts";
    ASSERT_TRUE(panel.unregisterService(service));
    EXPECT_TRUE(CAppHarness::WaitFor([&] { return changes == 2; })) << "a panel that ends";
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("panel"));
  QDBusConnection::disconnectFromBus(QStringLiteral("watch"));
}

}  // namespace
