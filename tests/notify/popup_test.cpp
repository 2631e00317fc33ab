// Alert popups as the user meets them: text, caption and address of every kind, the
// place on screen, the countdown and self-destruction, Enter, Esc, the close box, the
// view button, and several popups at once.
#include <gtest/gtest.h>

#include <QApplication>
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
    auto lock = dlg->LockShared();
    dlg->m_strQQName = "tencent_user";
    dlg->m_strSinaUserID = "1904178193";
    dlg->m_strSohuUserID = "20110815";
  }
  void TearDown() override { CAlertPopup::SetTickPeriodMs(1000); }

  // Popups whose windows still exist, oldest first.
  std::vector<CAlertPopup*> Popups() const {
    std::vector<CAlertPopup*> out;
    for (CAlertPopup* p : dlg->findChildren<CAlertPopup*>())
      if (!p->IsWindowDestroyed()) out.push_back(p);
    return out;
  }
  // Raises an alert the way a polling worker does and returns its new popup.
  CAlertPopup* Alert(int kind, int count) {
    const size_t before = Popups().size();
    dlg->PostServiceAlert(kind, count);
    CAppHarness::WaitFor([&] { return Popups().size() > before; }, 2000);
    const auto now = Popups();
    return now.size() > before ? now.back() : nullptr;
  }
  // Lets destroyed popups finish deleting themselves.
  static void Settle() {
    CAppHarness::Pump(20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  static std::string Countdown(CAlertPopup* p) { return p->GetDlgItemText(IDC_ALERT_COUNTDOWN); }

  CAppHarness harness;
  CMainDlg* dlg = nullptr;
};

TEST_F(PopupTest, EveryKindHasItsCaptionMessageAndAddress) {
  const struct {
    int kind;
    const char *title, *text, *url;
  } rows[] = {
      {1, "腾讯微博有您的新私信", "腾讯微博上有您3条新私信", "http://127.0.0.1:9/messages/inbox"},
      {2, "腾讯微博有提到我的消息", "您有3条提到我的消息", "http://127.0.0.1:9/at"},
      {3, "你关注的好友有更新", "您在腾讯微博上关注的好友已更新了3条新微博", "http://127.0.0.1:9/"},
      {4, "您在腾讯微博上有新粉丝", "您在腾讯微博上增加了3个新粉丝",
       "http://127.0.0.1:9/tencent_user/follower"},
      {11, "新浪微博有您的新私信", "新浪微博上有您3条新私信", "http://127.0.0.1:9/messages"},
      {12, "新浪微博有提到我的消息", "您有3条提到我的消息", "http://127.0.0.1:9/atme"},
      {13, "你关注的好友有更新", "您在新浪微博上关注的好友已更新了3条新微博", "http://127.0.0.1:9/"},
      {14, "您在新浪微博上有新粉丝", "您在新浪微博上增加了3个新粉丝",
       "http://127.0.0.1:9/1904178193/fans"},
      {23, "你关注的好友有更新", "您在搜狐微博上关注的好友已更新了3条新微博",
       "http://127.0.0.1:9/home"},
      {24, "您在搜狐微博上有新粉丝", "您在搜狐微博上增加了3个新粉丝",
       "http://127.0.0.1:9/follow/followed.jsp?uid=20110815"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.kind);
    CAlertPopup* p = Alert(row.kind, 3);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->windowTitle().toStdString(), row.title);
    EXPECT_EQ(p->m_strText, row.text);
    EXPECT_EQ(p->GetDlgItemText(IDC_ALERT_TEXT), std::string("\r\n") + row.text);  // 2nd line
    EXPECT_EQ(p->m_strUrl, row.url);
    p->close();
    Settle();
  }
  EXPECT_TRUE(harness.Urls().urls.empty());
}

TEST_F(PopupTest, UnknownKindsShowNothing) {
  for (int kind : {0, 5, 10, 15, 21, 22, 25, -1}) dlg->PostServiceAlert(kind, 1);
  dlg->PostMessage(WM_SERVICE_ALERT, WPARAM(0x100000001ull), 1);  // no kind 1 in disguise
  CAppHarness::Pump(50);
  EXPECT_TRUE(Popups().empty());
}

TEST_F(PopupTest, AccountPartsOfAnAddressStayInTheirPlace) {
  {
    auto lock = dlg->LockShared();
    dlg->m_strQQName = "";
    dlg->m_strSinaUserID = "a/b#c";
    dlg->m_strSohuUserID = "1&x=2";
  }
  EXPECT_EQ(Alert(4, 1)->m_strUrl, "http://127.0.0.1:9//follower");  // empty stays empty
  EXPECT_EQ(Alert(14, 1)->m_strUrl, "http://127.0.0.1:9/a%2Fb%23c/fans");
  EXPECT_EQ(Alert(24, 1)->m_strUrl, "http://127.0.0.1:9/follow/followed.jsp?uid=1%26x%3D2");
}

TEST_F(PopupTest, SitsBottomRightOnTopWithoutTaskbarEntry) {
  CAlertPopup* p = Alert(1, 2);
  ASSERT_NE(p, nullptr);
  CAppHarness::Pump(20);
  EXPECT_TRUE(p->isVisible());
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect frame = p->frameGeometry();
  EXPECT_EQ(frame.x() + frame.width(), area.x() + area.width() - 15);
  EXPECT_EQ(frame.y() + frame.height(), area.y() + area.height() - 5);
  EXPECT_TRUE(p->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(p->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_EQ(p->parentWidget(), dlg);
  EXPECT_EQ(p->focusWidget(), p->GetDlgItem(IDC_ALERT_VIEW));
  EXPECT_EQ(Countdown(p), "");  // empty for the first second
}

TEST_F(PopupTest, CountsDownFrom15AndDestroysItselfOnTheNextTick) {
  constexpr int kTick = 50;
  CAlertPopup::SetTickPeriodMs(kTick);
  QPointer<CAlertPopup> p = Alert(11, 1);
  ASSERT_TRUE(p);
  QElapsedTimer clock;
  clock.start();
  std::vector<std::string> lines = {Countdown(p)};
  while (p && !p->IsWindowDestroyed() && clock.elapsed() < 20 * kTick + 3000) {
    QCoreApplication::processEvents();
    if (p && !p->IsWindowDestroyed() && Countdown(p) != lines.back()) lines.push_back(Countdown(p));
    QThread::msleep(1);
  }
  const qint64 lifetime = clock.elapsed();
  std::vector<std::string> expected = {""};
  for (int s = 15; s >= 1; --s) expected.push_back("本提示将在" + std::to_string(s) + "秒后自动关闭。");
  EXPECT_EQ(lines, expected);
  EXPECT_GE(lifetime, 15 * kTick);  // 16 ticks after showing, give or take one
  Settle();
  EXPECT_FALSE(p);  // deleted itself
}

TEST_F(PopupTest, EnterDoesNothingEscHidesUntilTheCountdownEnds) {
  CAlertPopup::SetTickPeriodMs(30);
  QPointer<CAlertPopup> p = Alert(2, 1);
  ASSERT_TRUE(p);
  QTest::keyClick(p, Qt::Key_Return);
  QTest::keyClick(p->GetDlgItem(IDC_ALERT_VIEW), Qt::Key_Enter);
  Settle();
  ASSERT_TRUE(p);
  EXPECT_TRUE(p->isVisible());
  EXPECT_TRUE(harness.Urls().urls.empty());

  QTest::keyClick(p, Qt::Key_Escape);
  EXPECT_FALSE(p->isVisible());
  EXPECT_FALSE(p->IsWindowDestroyed());  // hidden, still counting
  EXPECT_TRUE(CAppHarness::WaitFor([&] { return !p || p->IsWindowDestroyed(); }, 5000));
  Settle();
  EXPECT_FALSE(p);
  EXPECT_TRUE(harness.Urls().urls.empty());
}

TEST_F(PopupTest, CloseBoxDestroysViewOpensTheAddressAndDestroys) {
  QPointer<CAlertPopup> closed = Alert(3, 1);
  QPointer<CAlertPopup> viewed = Alert(4, 2);
  ASSERT_TRUE(closed && viewed);
  closed->close();  // the close box
  Settle();
  EXPECT_FALSE(closed);
  EXPECT_TRUE(harness.Urls().urls.empty());

  auto* view = qobject_cast<QPushButton*>(viewed->GetDlgItem(IDC_ALERT_VIEW));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->text().toStdString(), "查看(&V)");
  QTest::mouseClick(view, Qt::LeftButton);  // long before the countdown ends
  Settle();
  EXPECT_FALSE(viewed);
  EXPECT_EQ(harness.Urls().urls, std::vector<std::string>{"http://127.0.0.1:9/tencent_user/follower"});
}

TEST_F(PopupTest, SeveralPopupsShareTheCornerAndEndOnTheirOwn) {
  CAlertPopup::SetTickPeriodMs(40);
  QPointer<CAlertPopup> first = Alert(1, 1);
  QPointer<CAlertPopup> second = Alert(2, 4);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->frameGeometry(), second->frameGeometry());
  EXPECT_TRUE(second->isVisible() && first->isVisible());
  first->close();
  Settle();
  EXPECT_FALSE(first);
  ASSERT_TRUE(second);
  EXPECT_TRUE(second->isVisible());
  EXPECT_TRUE(CAppHarness::WaitFor([&] { return !second || second->IsWindowDestroyed(); }, 5000));
  Settle();
  EXPECT_FALSE(second);
}

}  // namespace
