// Alert popups as the user meets them: caption, message and address of every kind, the
// place on screen, the countdown and self-destruction, Enter, Esc, the close box, the
// view button, and several popups at once.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QThread>

#include "app/MainDlg.h"
#include "notify/AlertPopup.h"
#include "res/Resource.h"
#include "tests/support/AppHarness.h"

namespace {

class PopupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CAppHarness::FreshSettings(::testing::UnitTest::GetInstance()->current_test_info()->name());
    CAlertPopup::SetTickPeriodMs(1000);
    dlg = harness.OpenWindow();
    Names("tencent_user", "1904178193", "20110815");
  }

  // The account parts that complete the addresses of kinds 4, 14 and 24 (unbound).
  void Names(const char* qqName, const char* sinaUserId, const char* sohuUserId) {
    dlg->Session().SetAccount(ServiceRow(EService::Tencent), {false, "", "", qqName, ""});
    dlg->Session().SetAccount(ServiceRow(EService::Sina), {false, "", "", "", sinaUserId});
    dlg->Session().SetAccount(ServiceRow(EService::Sohu), {false, "", "", "", sohuUserId});
  }
  // Popups whose windows still exist, oldest first.
  std::vector<CAlertPopup*> Popups() const {
    std::vector<CAlertPopup*> out;
    for (CAlertPopup* p : dlg->findChildren<CAlertPopup*>())
      if (!p->IsWindowDestroyed()) out.push_back(p);
    return out;
  }
  // Raises an alert as a polling worker does; its new popup.
  QPointer<CAlertPopup> Alert(int kind, int count) {
    const size_t before = Popups().size();
    dlg->Session().Alert(kind, count);
    CAppHarness::WaitFor([&] { return Popups().size() > before; }, 2000);
    return Popups().size() > before ? Popups().back() : nullptr;
  }
  // Lets destroyed popups delete themselves.
  static void Settle() {
    CAppHarness::Pump(20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  static bool Gone(const QPointer<CAlertPopup>& p) { return !p || p->IsWindowDestroyed(); }

  CAppHarness harness;
  CMainDlg* dlg = nullptr;
};

TEST_F(PopupTest, EveryKindHasItsCaptionMessageAndAddress) {
  const char* const rows[][4] = {
      {"1", "腾讯微博有您的新私信", "腾讯微博上有您3条新私信", "/messages/inbox"},
      {"2", "腾讯微博有提到我的消息", "您有3条提到我的消息", "/at"},
      {"3", "你关注的好友有更新", "您在腾讯微博上关注的好友已更新了3条新微博", "/"},
      {"4", "您在腾讯微博上有新粉丝", "您在腾讯微博上增加了3个新粉丝", "/tencent_user/follower"},
      {"11", "新浪微博有您的新私信", "新浪微博上有您3条新私信", "/messages"},
      {"12", "新浪微博有提到我的消息", "您有3条提到我的消息", "/atme"},
      {"13", "你关注的好友有更新", "您在新浪微博上关注的好友已更新了3条新微博", "/"},
      {"14", "您在新浪微博上有新粉丝", "您在新浪微博上增加了3个新粉丝", "/1904178193/fans"},
      {"23", "你关注的好友有更新", "您在搜狐微博上关注的好友已更新了3条新微博", "/home"},
      {"24", "您在搜狐微博上有新粉丝", "您在搜狐微博上增加了3个新粉丝",
       "/follow/followed.jsp?uid=20110815"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    QPointer<CAlertPopup> p = Alert(std::atoi(row[0]), 3);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->windowTitle().toStdString(), row[1]);
    EXPECT_EQ(p->GetDlgItemText(IDC_ALERT_TEXT), std::string("\r\n") + row[2]);  // 2nd line
    EXPECT_EQ(p->m_strUrl, std::string("http://127.0.0.1:9") + row[3]);          // the web hosts
    p->close();
  }
  // Unknown kinds show nothing (how names and ids complete the addresses is checked
  // in the service model's tests).
  for (int kind : {0, 5, 10, 15, 22, 25, -1}) dlg->Session().Alert(kind, 1);
  dlg->PostMessage(WM_SERVICE_ALERT, WPARAM(0x100000001ull), 1);
  Settle();
  EXPECT_TRUE(Popups().empty());
}

// Placed in its final spot before any event is processed: no deferred correction that a
// busy machine could run late.
TEST_F(PopupTest, IsInItsCornerAsSoonAsItOpens) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  QPointer<CAlertPopup> p = CAlertPopup::Open(dlg, "t", "x", "http://127.0.0.1:9/");
  ASSERT_TRUE(p);
  const QRect frame = p->frameGeometry();
  EXPECT_GT(frame.width(), p->width()) << "the frame is known";
  EXPECT_EQ(frame.x() + frame.width(), area.x() + area.width() - 15);
  EXPECT_EQ(frame.y() + frame.height(), area.y() + area.height() - 5);
  p->close();
  Settle();
}

TEST_F(PopupTest, SitsBottomRightOnTopWithoutTaskbarEntryEvenWhenTheWindowIsHidden) {
  dlg->hide();  // the program living in the tray
  QPointer<CAlertPopup> p = Alert(1, 2);
  ASSERT_TRUE(p);
  CAppHarness::Pump(20);
  EXPECT_TRUE(p->isVisible());
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect frame = p->frameGeometry();
  EXPECT_EQ(frame.x() + frame.width(), area.x() + area.width() - 15);
  EXPECT_EQ(frame.y() + frame.height(), area.y() + area.height() - 5);
  EXPECT_TRUE(p->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(p->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_EQ(p->focusWidget(), p->GetDlgItem(IDC_ALERT_VIEW));
}

TEST_F(PopupTest, CountsDownFrom15AndDestroysItselfOnTheNextTick) {
  constexpr int kTick = 50;
  CAlertPopup::SetTickPeriodMs(kTick);
  QPointer<CAlertPopup> p = Alert(11, 1);
  ASSERT_TRUE(p);
  QElapsedTimer clock;
  clock.start();
  std::vector<std::string> lines = {p->GetDlgItemText(IDC_ALERT_COUNTDOWN)};
  while (!Gone(p) && clock.elapsed() < 20 * kTick + 3000) {
    QCoreApplication::processEvents();
    if (!Gone(p) && p->GetDlgItemText(IDC_ALERT_COUNTDOWN) != lines.back())
      lines.push_back(p->GetDlgItemText(IDC_ALERT_COUNTDOWN));
    QThread::msleep(1);
  }
  std::vector<std::string> expected = {""};  // empty for the first tick
  for (int s = 15; s >= 1; --s)
    expected.push_back("本提示将在" + std::to_string(s) + "秒后自动关闭。");
  // Sixteen ticks, one line each, in order: counted, not timed (a clock started after the
  // popup's timer cannot say how many ticks a busy machine let pass before it).
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(Gone(p)) << "destroyed on the tick after the last line";
  Settle();
  EXPECT_FALSE(p);  // deleted itself
}

TEST_F(PopupTest, EnterNothingEscHidesCloseBoxDestroysViewOpensAndDestroys) {
  CAlertPopup::SetTickPeriodMs(30);
  QPointer<CAlertPopup> escaped = Alert(2, 1), closed = Alert(3, 1), viewed = Alert(4, 2);
  ASSERT_TRUE(escaped && closed && viewed);
  EXPECT_EQ(escaped->frameGeometry(), viewed->frameGeometry());  // one corner for all
  QTest::keyClick(viewed, Qt::Key_Return);
  QTest::keyClick(viewed->GetDlgItem(IDC_ALERT_VIEW), Qt::Key_Enter);
  QTest::keyClick(escaped, Qt::Key_Escape);
  closed->close();  // the close box
  Settle();
  EXPECT_TRUE(viewed && viewed->isVisible());
  EXPECT_TRUE(escaped && !escaped->isVisible() && !escaped->IsWindowDestroyed());
  EXPECT_FALSE(closed);
  EXPECT_TRUE(harness.Urls().urls.empty());

  auto* view = qobject_cast<QPushButton*>(viewed->GetDlgItem(IDC_ALERT_VIEW));
  ASSERT_TRUE(view);
  EXPECT_EQ(view->text().toStdString(), "查看(&V)");
  QTest::mouseClick(view, Qt::LeftButton);
  Settle();
  EXPECT_FALSE(viewed);  // at once, not at the end of the countdown
  EXPECT_EQ(harness.Urls().urls,
            std::vector<std::string>{"http://127.0.0.1:9/tencent_user/follower"});
  // The hidden popup still ends with its countdown.
  EXPECT_TRUE(CAppHarness::WaitFor([&] { return Gone(escaped); }, 5000));
  Settle();
  EXPECT_FALSE(escaped);
}

}  // namespace
