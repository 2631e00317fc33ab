// The quick-access and help menus of the main window: each entry of the menu bar opens the
// expected address in the browser or shows the contact box, bound accounts or not.
#include <gtest/gtest.h>

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>

#include "app/AutoStart.h"
#include "app/MainDlg.h"
#include "net/ServiceHosts.h"
#include "res/Resource.h"
#include "settings/Profile.h"
#include "tests/support/AppHarness.h"
#include "tests/support/TestEnv.h"

namespace {

// Triggers the menu-bar entry with command id, as a click on it does. False when the menu
// bar has no such entry.
bool TriggerMenu(CMainDlg* dlg, int id) {
  for (QAction* top : dlg->MenuBar()->actions()) {
    if (!top->menu()) continue;
    for (QAction* item : top->menu()->actions()) {
      if (!item->isSeparator() && item->data().toInt() == id) {
        item->trigger();
        return true;
      }
    }
  }
  return false;
}

class MenuTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    const std::string folder = CAppHarness::FreshSettings("menu");
    // Every web host on its own port, so a mixed-up command shows.
    WriteFile(folder + "/Services.ini",
              "[Hosts]\r\nSinaWeb=127.0.0.1:10001\r\nTencentWeb=127.0.0.1:10002\r\n"
              "SohuWeb=127.0.0.1:10003\r\nTwitterWeb=127.0.0.1:10004\r\n"
              "IpEchoUrl=http://127.0.0.1:9/getip.asp\r\n");
    ReloadServiceConfig();
    if (GetParam()) {  // all four accounts bound
      StoreBoundAccount(EService::Tencent, {"t", "s"}, "tencent_user");
      StoreBoundAccount(EService::Sina, {"t", "s"}, "新浪用户", "1904178193");
      StoreBoundAccount(EService::Sohu, {"t", "s"}, "搜狐用户", "20110815");
      StoreBoundAccount(EService::Twitter, {"t", "s"}, "twitter_user", "783214");
    }
  }
  CAppHarness harness;
};

}  // namespace

TEST_P(MenuTest, QuickAccessOpensEachServiceRootOverHttp) {
  CMainDlg* dlg = harness.OpenWindow();
  for (int id : {ID_OPEN_SINA_WEB, ID_OPEN_TENCENT_WEB, ID_OPEN_SOHU_WEB, ID_OPEN_TWITTER_WEB})
    ASSERT_TRUE(TriggerMenu(dlg, id)) << id;
  EXPECT_EQ(harness.Urls().urls,
            (std::vector<std::string>{"http://127.0.0.1:10001/", "http://127.0.0.1:10002/",
                                      "http://127.0.0.1:10003/", "http://127.0.0.1:10004/"}));
  EXPECT_TRUE(harness.Messages().empty());
}

// A service without a fixed site opens the bound account's server, else its own page.
TEST_P(MenuTest, QuickAccessOfAServiceOnServersOpensTheAccountsServer) {
  const SServiceRow& row = ServiceRow(EService::Mastodon);
  if (GetParam()) {
    ProfileString(true, "MastodonServer", "social.example", "");
    StoreBoundAccount(EService::Mastodon, {"t", ""}, "mastodon_user");
  }
  CMainDlg* dlg = harness.OpenWindow();
  ASSERT_TRUE(TriggerMenu(dlg, row.window.quickAccess.id));
  EXPECT_EQ(harness.Urls().urls,
            (std::vector<std::string>{GetParam() ? "https://social.example/" : row.webAddress}));
}

TEST_P(MenuTest, HelpOpensTheUsageGuideBesideTheProgramAndTheProjectPage) {
  CMainDlg* dlg = harness.OpenWindow();
  ASSERT_TRUE(TriggerMenu(dlg, ID_HELP_USAGE));
  ASSERT_TRUE(TriggerMenu(dlg, ID_HELP_BLOG));
  const QString folder = QFileInfo(QString::fromStdString(RunningExecutablePath())).absolutePath();
  ASSERT_EQ(harness.Urls().urls.size(), 2u);
  EXPECT_EQ(QUrl(QString::fromStdString(harness.Urls().urls[0])).toLocalFile(),
            folder + "/usage.html");
  EXPECT_EQ(harness.Urls().urls[1], "https://plumfinch.example.org/");
  EXPECT_TRUE(harness.Messages().empty());
}

TEST_P(MenuTest, ContactAndAboutShowTheSameContactBox) {
  CMainDlg* dlg = harness.OpenWindow();
  ASSERT_TRUE(TriggerMenu(dlg, ID_HELP_CONTACT));
  ASSERT_TRUE(TriggerMenu(dlg, ID_HELP_ABOUT));
  const std::vector<std::string> boxes = harness.Messages();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], boxes[1]);
  EXPECT_NE(boxes[0].find("Plumfinch"), std::string::npos);
  EXPECT_NE(boxes[0].find("1.1"), std::string::npos);
  EXPECT_TRUE(harness.Urls().urls.empty());
}

INSTANTIATE_TEST_SUITE_P(BoundOrNot, MenuTest, ::testing::Values(false, true));

// The build installs the guide beside the program, where the help menu looks for it.
TEST(UsageGuide, IsInstalledBesideTheProgram) {
  const std::string page = ReadFile(std::string(PF_BINARY_DIR) + "/usage.html");
  EXPECT_EQ(page, ReadFile(std::string(PF_SOURCE_DIR) + "/res/help/usage.html"));
  for (const char* topic : {"绑定", "发表", "图片", "提醒", "代理", "自动启动", "Setting.ini"})
    EXPECT_NE(page.find(topic), std::string::npos) << topic;
}
