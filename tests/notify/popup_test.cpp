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
#include <algorithm>
#include <map>
#include <set>

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
  // The popups in the column, from the bottom up (hidden ones have left it).
  std::vector<CAlertPopup*> Column() const {
    std::vector<CAlertPopup*> out = Popups();
    std::erase_if(out, [](const CAlertPopup* p) { return p->m_nPlace < 0; });
    std::ranges::sort(out, {}, &CAlertPopup::m_nPlace);
    return out;
  }
  // The lines of the countdown p shows until it is gone, each once.
  static std::vector<std::string> CountdownUntilGone(const QPointer<CAlertPopup>& p) {
    std::vector<std::string> lines = {p->GetDlgItemText(IDC_ALERT_COUNTDOWN)};
    QElapsedTimer clock;  // a limit for a popup that never ends, not a timing check
    clock.start();
    while (!Gone(p) && clock.elapsed() < 10000) {
      QCoreApplication::processEvents();  // one pass: at most one tick
      if (!Gone(p) && p->GetDlgItemText(IDC_ALERT_COUNTDOWN) != lines.back())
        lines.push_back(p->GetDlgItemText(IDC_ALERT_COUNTDOWN));
      QThread::msleep(1);
    }
    return lines;
  }
  static std::vector<std::string> CountdownLines() {  // from 15 seconds down to 1
    std::vector<std::string> lines;
    for (int s = 15; s >= 1; --s)
      lines.push_back("本提示将在" + std::to_string(s) + "秒后自动关闭。");
    return lines;
  }
  // Texts that say the kind and the count.
  static bool Texts(int kind, long long count, SAlertContent& content) {
    content = {"kind " + std::to_string(kind), TextValue(std::to_string(count) + " new"),
               "http://127.0.0.1:9/" + std::to_string(kind)};
    return true;
  }

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
  QPointer<CAlertPopup> p = CAlertPopup::Open(dlg, 1, 1, Texts);
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
  std::vector<std::string> expected = CountdownLines();
  expected.insert(expected.begin(), "");  // empty for the first tick
  // Sixteen ticks, one line each, in order: counted, not timed (a clock started after the
  // popup's timer cannot say how many ticks a busy machine let pass before it).
  EXPECT_EQ(CountdownUntilGone(p), expected);
  EXPECT_TRUE(Gone(p)) << "destroyed on the tick after the last line";
  Settle();
  EXPECT_FALSE(p);  // deleted itself
}

TEST_F(PopupTest, EnterNothingEscHidesCloseBoxDestroysViewOpensAndDestroys) {
  CAlertPopup::SetTickPeriodMs(30);
  QPointer<CAlertPopup> escaped = Alert(2, 1), closed = Alert(3, 1), viewed = Alert(4, 2);
  ASSERT_TRUE(escaped && closed && viewed);
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

TEST_F(PopupTest, AlertsShareOneColumnOnePopupPerKindAndNoneIsLost) {
  using SKindCount = std::pair<int, long long>;
  constexpr long long kEsc = -1;  // as a step's count: Esc on the popup of that kind
  std::vector<SKindCount> flood;  // every kind of the registry, again and again
  for (int round = 0; round < 30; ++round)
    for (int kind : {1, 2, 3, 4, 11, 12, 13, 14, 23, 24, 31, 32})
      flood.push_back({kind, round % 3 + 1});
  const struct {
    const char* name;
    std::vector<SKindCount> steps;   // alerts raised in this order
    std::vector<SKindCount> column;  // kind and count from the bottom up; empty: full
  } cases[] = {
      {"two kinds stack upward", {{11, 1}, {12, 2}}, {{11, 1}, {12, 2}}},
      {"a repeated kind adds to its popup", {{31, 2}, {32, 1}, {31, 3}}, {{31, 5}, {32, 1}}},
      {"Esc frees the place and the kind",
       {{11, 1}, {12, 1}, {11, kEsc}, {11, 2}, {13, 4}},
       {{11, 2}, {12, 1}, {13, 4}}},
      {"a flood fills the column, the rest waits", flood, {}},
  };
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::map<int, long long> raised;
    for (const auto& [kind, count] : c.steps) {
      for (CAlertPopup* p : Column())
        if (count == kEsc && p->m_nKind == kind) QTest::keyClick(p, Qt::Key_Escape);
      if (count != kEsc) raised[kind] += count, CAlertPopup::Open(dlg, kind, count, Texts);
    }
    const std::vector<CAlertPopup*> column = Column();
    const auto waiting = CAlertPopup::Waiting();
    std::vector<SKindCount> shown;
    std::set<int> kinds;  // one popup or one waiting entry per kind
    for (size_t i = 0; i < column.size(); ++i) {
      const CAlertPopup* p = column[i];
      shown.push_back({p->m_nKind, p->m_nCount});
      kinds.insert(p->m_nKind);
      EXPECT_EQ(p->GetDlgItemText(IDC_ALERT_TEXT), "\r\n" + std::to_string(p->m_nCount) + " new");
      // In the work area, right-aligned, each a few pixels above the one below it.
      const QRect frame = p->frameGeometry(), below = column[i ? i - 1 : 0]->frameGeometry();
      EXPECT_TRUE(area.contains(frame)) << i;
      EXPECT_EQ(frame.right(), below.right()) << i;
      if (i > 0) {
        EXPECT_LT(frame.bottom(), below.top()) << i;
        EXPECT_LE(below.top() - frame.bottom(), 10) << i;
      }
    }
    for (const auto& w : waiting) kinds.insert(w.first);
    EXPECT_EQ(kinds.size(), column.size() + waiting.size());
    if (!c.column.empty()) {
      EXPECT_EQ(shown, c.column);
    }
    // Alerts wait only while no further popup fits above the top one.
    EXPECT_EQ(!waiting.empty(), c.column.empty());
    if (!waiting.empty()) {
      EXPECT_LT(column.back()->frameGeometry().top() - area.top(),
                column.back()->frameGeometry().height() + 10);
    }

    // Closing the popups opens the waiting ones; every alert is announced in the end.
    std::map<int, long long> announced;
    for (int round = 0; round < 50 && !(Popups().empty() && CAlertPopup::Waiting().empty());
         ++round) {
      CAppHarness::WaitFor([&] { return !Popups().empty(); }, 2000);
      for (CAlertPopup* p : Popups()) announced[p->m_nKind] += p->m_nCount, p->close();
    }
    EXPECT_EQ(announced, raised);
    Settle();
  }
}

TEST_F(PopupTest, AFurtherAlertOfItsKindStartsTheCountdownAgain) {
  CAlertPopup::SetTickPeriodMs(50);
  QPointer<CAlertPopup> p = CAlertPopup::Open(dlg, 31, 2, Texts);
  ASSERT_TRUE(p);
  ASSERT_TRUE(CAppHarness::WaitFor([&] { return Gone(p) || p->m_nSecondsLeft < 10; }, 5000));
  ASSERT_FALSE(Gone(p));
  EXPECT_EQ(CAlertPopup::Open(dlg, 31, 3, Texts), p);
  EXPECT_EQ(CountdownUntilGone(p), CountdownLines());  // 15 again, down to 1
}

}  // namespace
