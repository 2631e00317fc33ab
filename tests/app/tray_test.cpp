// The tray icon: what each mouse notification does and answers, and its life cycle.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include "app/MainDlg.h"
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

}  // namespace
