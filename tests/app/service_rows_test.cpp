// The services' rows of the main window as a user meets them: each service's bind button,
// account label and send box, where they sit, the order Tab visits them in, and the
// dialog that asks for a Mastodon server.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "app/MainDlg.h"
#include "bind/MastodonServerDlg.h"
#include "res/Resource.h"
#include "tests/support/AppHarness.h"
#include "tests/support/TestEnv.h"

namespace {

struct SRowTexts {
  EService service;
  const char* button;
  const char* label;
  const char* sendBox;
  int ids[3];  // bind button, name label, send box: the ids the window always had
};
const SRowTexts kRows[] = {
    {EService::Tencent, "腾讯", "腾讯账号:", "腾讯微博", {1002, 1012, 1016}},
    {EService::Sina, "新浪", "新浪账号:", "新浪微博", {1008, 1018, 1017}},
    {EService::Sohu, "搜狐", "搜狐账号:", "搜狐微博", {1013, 1020, 1021}},
    {EService::Twitter, "Twitter", "Twitter:", "发到Twitter", {1028, 1019, 1029}},
    {EService::Mastodon, "Mastodon", "Mastodon:", "发到Mastodon", {1030, 1031, 1032}},
    {EService::Bluesky, "Bluesky", "Bluesky:", "发到Bluesky", {1033, 1034, 1035}},
};
// The first five fill a line each (buttons, boxes); the sixth starts a second line.
constexpr size_t kFirstLine = 5;

std::string Text(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
  return {};
}

// The static label placed just left of a control, on its line.
QLabel* LabelBeside(CMainDlg* dlg, QWidget* control) {
  QLabel* found = nullptr;
  for (QLabel* label : dlg->findChildren<QLabel*>()) {
    const QRect r = label->geometry(), c = control->geometry();
    if (label != control && r.top() == c.top() && r.right() < c.left() &&
        (!found || r.right() > found->geometry().right()))
      found = label;
  }
  return found;
}

class ServiceRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CAppHarness::FreshSettings(::testing::UnitTest::GetInstance()->current_test_info()->name());
    dlg = harness.OpenWindow();
  }
  CAppHarness harness;
  CMainDlg* dlg = nullptr;
};

TEST_F(ServiceRowsTest, EveryServiceHasItsButtonLabelAndBoxLinedUpWithTheOthers) {
  ASSERT_EQ(ServiceRows().size(), std::size(kRows));
  struct SIds {
    int bindButton, nameLabel, sendBox;
  };
  auto ids = [](size_t i) {
    const SServiceWindow& w = ServiceRows()[i]->window;
    return SIds{w.bindButton.id, w.nameLabel.id, w.sendBox.id};
  };
  auto at = [this](int id) { return dlg->GetDlgItem(id)->geometry(); };
  const SIds first = ids(0);
  for (size_t i = 0; i < std::size(kRows); ++i) {
    const SIds c = ids(i);
    SCOPED_TRACE(kRows[i].button);
    EXPECT_EQ(ServiceRows()[i], &ServiceRow(kRows[i].service));
    EXPECT_EQ(c.bindButton, kRows[i].ids[0]);
    EXPECT_EQ(c.nameLabel, kRows[i].ids[1]);
    EXPECT_EQ(c.sendBox, kRows[i].ids[2]);
    QWidget* name = dlg->GetDlgItem(c.nameLabel);
    EXPECT_EQ(Text(dlg->GetDlgItem(c.bindButton)), kRows[i].button);
    EXPECT_EQ(Text(name), "未绑定");
    ASSERT_TRUE(LabelBeside(dlg, name));
    EXPECT_EQ(Text(LabelBeside(dlg, name)), kRows[i].label);
    EXPECT_EQ(Text(dlg->GetDlgItem(c.sendBox)), kRows[i].sendBox);
    // Buttons of one size on one line, boxes on one line, account labels in one column;
    // a line that is full goes on under its first button and box.
    const bool second = i >= kFirstLine;
    EXPECT_EQ(at(c.bindButton).top() > at(first.bindButton).bottom(), second);
    EXPECT_EQ(at(c.bindButton).top() == at(first.bindButton).top(), !second);
    EXPECT_EQ(at(c.bindButton).size(), at(first.bindButton).size());
    EXPECT_EQ(at(c.sendBox).top() > at(first.sendBox).bottom(), second);
    EXPECT_EQ(at(c.sendBox).top() == at(first.sendBox).top(), !second);
    if (second) {  // under Sina's button and box, the first of their lines
      EXPECT_EQ(at(c.bindButton).left(), at(ids(1).bindButton).left());
      EXPECT_EQ(at(c.sendBox).left(), at(ids(1).sendBox).left());
    }
    EXPECT_EQ(at(c.nameLabel).left(), at(first.nameLabel).left());
    EXPECT_EQ(at(c.nameLabel).width(), at(first.nameLabel).width());
    if (i > 0) {
      EXPECT_GT(at(c.nameLabel).top(), at(ids(i - 1).nameLabel).bottom());
    }
  }
  EXPECT_GT(at(IDC_BIND_MASTODON).left(), at(IDC_BIND_TWITTER).right());
  EXPECT_GT(at(IDC_SEND_TO_MASTODON).left(), at(IDC_SEND_TO_TWITTER).right());
  // A bound Mastodon account shows as @user@server: the label holds a common one whole.
  QLabel* mastodon = qobject_cast<QLabel*>(dlg->GetDlgItem(IDC_MASTODON_NAME));
  EXPECT_GE(mastodon->width(),
            mastodon->fontMetrics().horizontalAdvance(QStringLiteral("@someone@mastodon.social")));
}

TEST_F(ServiceRowsTest, ControlsStayInsideTheWindowAndTheirGroupsWithoutOverlapping) {
  QWidget* client = dlg->findChild<QWidget*>("client");
  ASSERT_TRUE(client);
  std::vector<QWidget*> controls;
  std::vector<QGroupBox*> groups;
  for (QObject* child : client->children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (!w || !w->property("ctrlId").isValid()) continue;
    if (auto* group = qobject_cast<QGroupBox*>(w))
      groups.push_back(group);
    else
      controls.push_back(w);
  }
  ASSERT_EQ(groups.size(), 5u);
  for (size_t i = 0; i < groups.size(); ++i)
    for (size_t j = i + 1; j < groups.size(); ++j)
      EXPECT_FALSE(groups[i]->geometry().intersects(groups[j]->geometry()))
          << groups[i]->title().toStdString() << " / " << groups[j]->title().toStdString();
  for (size_t i = 0; i < controls.size(); ++i) {
    const QRect r = controls[i]->geometry();
    const std::string what = Text(controls[i]) + " " + controls[i]->objectName().toStdString();
    EXPECT_TRUE(client->rect().contains(r)) << what;
    EXPECT_EQ(std::count_if(groups.begin(), groups.end(),
                            [&](QGroupBox* g) { return g->geometry().contains(r); }),
              1)
        << what;
    for (size_t j = i + 1; j < controls.size(); ++j)
      EXPECT_FALSE(r.intersects(controls[j]->geometry()))
          << what << " / " << Text(controls[j]) << controls[j]->objectName().toStdString();
  }
}

TEST_F(ServiceRowsTest, TabVisitsTheNewControlsRightAfterTheirTwitterSiblings) {
  std::vector<int> order;
  QWidget* w = dlg->GetDlgItem(IDC_BIND_TENCENT);
  do {
    if (w->property("ctrlId").isValid() && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled())
      order.push_back(w->property("ctrlId").toInt());
    w = w->nextInFocusChain();
  } while (w != dlg->GetDlgItem(IDC_BIND_TENCENT));
  const std::vector<int> expected = {
      IDC_BIND_TENCENT,     IDC_STATUS_LOG,   IDC_MESSAGE_TEXT,  IDC_PICTURE_PATH,
      IDC_BROWSE_PICTURE,   IDC_SEND,         IDC_BIND_SINA,     IDC_ALERT_AT_ME,
      IDC_FOLLOWING_UPDATE, IDC_AUTO_RUN,     IDC_NEW_FANS,      IDC_SEND_TO_TENCENT,
      IDC_SEND_TO_SINA,     IDC_BIND_TWITTER, IDC_BIND_MASTODON, IDC_SEND_TO_TWITTER,
      IDC_SEND_TO_MASTODON, IDC_BIND_SOHU,    IDC_SEND_TO_SOHU,  IDC_BIND_BLUESKY,
      IDC_SEND_TO_BLUESKY};
  EXPECT_EQ(order, expected);
}

// ---- the server dialog ----

// Runs the dialog over the window offering suggested, answered by AnswerServerDialog.
std::string AskServer(const std::string& suggested, const std::string& typed, bool cancel,
                      std::string* offered = nullptr, QWidget** owner = nullptr) {
  AnswerServerDialog(typed, cancel, offered);
  CMastodonServerDlg server;
  server.m_strServer = suggested;
  const int result = server.DoModal();
  EXPECT_EQ(result, cancel ? IDCANCEL : IDOK);
  if (owner) *owner = server.parentWidget();
  EXPECT_EQ(server.windowTitle().toStdString(), "绑定Mastodon");
  return server.m_strServer;
}

TEST_F(ServiceRowsTest, ServerDialogOffersTheSuggestionAndGivesBackWhatWasTyped) {
  std::string offered;
  QWidget* owner = nullptr;
  EXPECT_EQ(AskServer("mastodon.social", " \tsocial.example.org \r\n", false, &offered, &owner),
            "social.example.org");
  EXPECT_EQ(offered, "mastodon.social");
  EXPECT_EQ(owner, dlg);  // modal over the main window
  // A screen reader names the field after the question above it.
  CMastodonServerDlg shown;
  QTimer::singleShot(0, [&] {
    auto* edit = shown.findChild<QLineEdit*>("ctrl_1001");
    EXPECT_TRUE(edit && edit->accessibleName() == "请输入Mastodon服务器地址(如mastodon.social)");
    ASSERT_TRUE(edit);
    EXPECT_EQ(shown.focusWidget(), edit);  // the field takes the focus first
    EXPECT_EQ(edit->selectedText().toStdString(), "mastodon.social");
    shown.findChild<QAbstractButton*>("ctrl_2")->click();
  });
  shown.m_strServer = "mastodon.social";
  EXPECT_EQ(shown.DoModal(), IDCANCEL);
  // Whatever is typed comes back for the binding to judge, addresses and all.
  EXPECT_EQ(AskServer("mastodon.social", "https://例子.example/ path", false),
            "https://例子.example/ path");
  EXPECT_EQ(AskServer("mastodon.social", "", false), "");
  EXPECT_EQ(AskServer("mastodon.social", "other.example", true), "");  // cancelled
  EXPECT_TRUE(harness.Messages().empty());
}

TEST_F(ServiceRowsTest, ServerDialogOpenWhenTheWindowClosesEndsAsCancelled) {
  QTimer::singleShot(50, [this] { dlg->SendMessage(WM_COMMAND, ID_APP_EXIT, 0); });
  CMastodonServerDlg server;
  server.m_strServer = "mastodon.social";
  EXPECT_EQ(server.DoModal(), IDCANCEL);
  EXPECT_EQ(server.m_strServer, "");
}

}  // namespace
