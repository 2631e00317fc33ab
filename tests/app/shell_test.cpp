// The main window as a user meets it: what it restores at start, what it saves at close,
// the background start, Enter and Esc, and bad settings files.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/MainDlg.h"
#include "app/ProfileControl.h"
#include "net/ServiceHosts.h"
#include "res/Resource.h"
#include "settings/Notices.h"
#include "settings/Profile.h"
#include "settings/Startup.h"
#include "tests/support/AppHarness.h"
#include "tests/support/TestEnv.h"

namespace {

std::string LabelText(CMainDlg* dlg, int id) { return dlg->GetDlgItemText(id); }

// The keys of the file in the order they appear.
std::vector<std::string> KeysInOrder(const std::string& path) {
  std::vector<std::string> keys;
  std::string text = ReadFile(path);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    size_t eq = line.find('=');
    if (eq != std::string::npos) keys.push_back(line.substr(0, eq));
    pos = end + 1;
  }
  return keys;
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder =
        CAppHarness::FreshSettings(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  std::string folder;
  CAppHarness harness;
};

TEST_F(ShellTest, WithoutSettingsFileStartsUnboundWithDefaultBoxes) {
  CMainDlg* dlg = harness.OpenWindow();
  EXPECT_EQ(dlg->windowTitle().toStdString(), "Plumfinch v1.1");
  for (int id :
       {IDC_TENCENT_NAME, IDC_SINA_NAME, IDC_SOHU_NAME, IDC_TWITTER_NAME, IDC_MASTODON_NAME})
    EXPECT_EQ(LabelText(dlg, id), "未绑定");
  EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_ALERT_AT_ME), BST_CHECKED);
  EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_NEW_FANS), BST_CHECKED);
  for (int id : {IDC_FOLLOWING_UPDATE, IDC_AUTO_RUN, IDC_SEND_TO_TENCENT, IDC_SEND_TO_SINA,
                 IDC_SEND_TO_SOHU, IDC_SEND_TO_TWITTER, IDC_SEND_TO_MASTODON})
    EXPECT_EQ(dlg->IsDlgButtonChecked(id), BST_UNCHECKED) << id;
  EXPECT_FALSE(dlg->ReadAccount(ServiceRow(EService::Tencent)).bound);
  EXPECT_EQ(dlg->ReadProxy().range, 0);
  EXPECT_EQ(dlg->ReadClientIp(), "127.0.0.1");
  // Nothing is written by starting.
  EXPECT_EQ(ReadFile(SettingsPath()), "");
  // The Tencent bind button is the first tab stop and has the focus.
  EXPECT_EQ(QApplication::focusWidget(), dlg->GetDlgItem(IDC_BIND_TENCENT));
}

TEST_F(ShellTest, SettingsProblemsFoundBeforeOrAfterTheWindowOpensReachTheStatusLog) {
  ResetSettingsNotices();
  WriteFile(folder + "/Setting.ini", "[Plumfinch]\r\nProxyRange=2\r\nProxyPort=70000\r\n");
  PrepareSettingsAtStart();  // before the window exists, as at start-up
  CMainDlg* dlg = harness.OpenWindow();
  chmod((folder + "/Services.ini").c_str(), 0666);
  ReloadServiceConfig();  // while it is open
  const std::string log = dlg->GetDlgItemText(IDC_STATUS_LOG);
  EXPECT_NE(log.find("-Setting.ini: the proxy port 70000 is not in 1-65535"), std::string::npos)
      << log;
  EXPECT_NE(log.find("-Services.ini is not used: other users may write to it."), std::string::npos)
      << log;
  harness.CloseWindow();
  chmod((folder + "/Services.ini").c_str(), 0600);
  ReloadServiceConfig();
}

TEST_F(ShellTest, AnAccountIsBoundExactlyWhenItsNameIsStored) {
  ProfileString(true, "QQName", "腾讯名字", "");  // no token at all
  ProfileString(true, "SinaAccessToken", "tok", "");
  ProfileString(true, "SinaAccessSecret", "sec", "");  // tokens but no name
  ProfileString(true, "TwitterName", "tw", "");
  ProfileString(true, "TwitterUserID", "42", "");
  CMainDlg* dlg = harness.OpenWindow();
  EXPECT_TRUE(dlg->ReadAccount(ServiceRow(EService::Tencent)).bound);
  EXPECT_EQ(LabelText(dlg, IDC_TENCENT_NAME), "腾讯名字");
  EXPECT_FALSE(dlg->ReadAccount(ServiceRow(EService::Sina)).bound);
  EXPECT_EQ(LabelText(dlg, IDC_SINA_NAME), "未绑定");
  EXPECT_EQ(dlg->ReadAccount(ServiceRow(EService::Sina)).accessToken, "tok");
  EXPECT_TRUE(dlg->ReadAccount(ServiceRow(EService::Twitter)).bound);
  EXPECT_EQ(dlg->ReadAccount(ServiceRow(EService::Twitter)).userId, "42");
}

TEST_F(ShellTest, ProxyFieldsAndSinaLimitAreRestored) {
  ProfileInt(true, "ProxyType", 7, 0);
  ProfileInt(true, "ProxyRange", 1, 0);
  ProfileInt(true, "ProxyIP", -1062731519, 0);
  ProfileInt(true, "ProxyPort", 1080, 0);
  ProfileString(true, "SinaLimit", "0", "");
  CMainDlg* dlg = harness.OpenWindow();
  const CProxySettings proxy = dlg->ReadProxy();
  EXPECT_EQ(proxy.type, 7);
  EXPECT_EQ(proxy.range, 1);
  EXPECT_EQ(proxy.address, 0xC0A80101u);  // 192.168.1.1
  EXPECT_EQ(proxy.port, 1080);
  EXPECT_FALSE(dlg->SinaExclusive());
  harness.CloseWindow();
  for (const char* value : {"", "1", "00", "false", "0x"}) {
    ProfileString(true, "SinaLimit", value, "");
    EXPECT_TRUE(harness.OpenWindow()->SinaExclusive()) << '"' << value << '"';
  }
}

TEST_F(ShellTest, CloseSavesTheTenBoxesInOrderAndOnlyExactOneCounts) {
  ProfileString(true, "FollowingUpdate", "true", "");
  ProfileString(true, "AutoRun", "yes", "");
  CMainDlg* dlg = harness.OpenWindow();
  EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_FOLLOWING_UPDATE), BST_UNCHECKED);
  EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_AUTO_RUN), BST_UNCHECKED);
  dlg->CheckDlgButton(IDC_ALERT_AT_ME, BST_UNCHECKED);
  dlg->CheckDlgButton(IDC_SEND_TO_TWITTER, BST_CHECKED);
  dlg->CheckDlgButton(IDC_SEND_TO_MASTODON, BST_CHECKED);
  dlg->CheckDlgButton(IDC_SEND_TO_BLUESKY, BST_CHECKED);
  // All ten are saved with one replace of the file, so a crash cannot split them.
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(watch, SettingsFolder().c_str(), IN_MOVED_TO), 0);
  dlg->close();  // the close box
  alignas(inotify_event) char events[4096];
  int replaces = 0;
  for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;) {
    for (char* e = events; e < events + n; e += sizeof(inotify_event) + ((inotify_event*)e)->len)
      replaces += std::string(((inotify_event*)e)->name) == "Setting.ini";
  }
  close(watch);
  EXPECT_EQ(replaces, 1);
  EXPECT_TRUE(dlg->isHidden());
  EXPECT_EQ(ProfileString(false, "AlertAtMe", "", "x"), "0");
  EXPECT_EQ(ProfileString(false, "FollowingUpdate", "", "x"), "0");
  EXPECT_EQ(ProfileString(false, "NewFans", "", "x"), "1");
  EXPECT_EQ(ProfileString(false, "AutoRun", "", "x"), "0");
  EXPECT_EQ(ProfileString(false, "SendToTwitter", "", "x"), "1");
  EXPECT_EQ(ProfileString(false, "SendToMastodon", "", "x"), "1");
  EXPECT_EQ(ProfileString(false, "SendToBluesky", "", "x"), "1");
  const std::vector<std::string> expected = {
      "FollowingUpdate", "AutoRun",      "AlertAtMe",     "NewFans",        "SendToQQMB",
      "SendToSinaMB",    "SendToSohuMB", "SendToTwitter", "SendToMastodon", "SendToBluesky"};
  EXPECT_EQ(KeysInOrder(SettingsPath()), expected);
  // The next start ticks again what was ticked at exit.
  harness.CloseWindow();
  dlg = harness.OpenWindow();
  for (int id : {IDC_SEND_TO_TWITTER, IDC_SEND_TO_MASTODON, IDC_SEND_TO_BLUESKY, IDC_NEW_FANS})
    EXPECT_EQ(dlg->IsDlgButtonChecked(id), BST_CHECKED) << id;
  for (int id : {IDC_ALERT_AT_ME, IDC_SEND_TO_SINA, IDC_SEND_TO_SOHU})
    EXPECT_EQ(dlg->IsDlgButtonChecked(id), BST_UNCHECKED) << id;
}

TEST_F(ShellTest, ExitCommandSavesLikeTheCloseBox) {
  CMainDlg* dlg = harness.OpenWindow();
  dlg->CheckDlgButton(IDC_FOLLOWING_UPDATE, BST_CHECKED);
  dlg->SendMessage(WM_COMMAND, ID_APP_EXIT, 0);
  EXPECT_TRUE(dlg->isHidden());
  EXPECT_EQ(ProfileString(false, "FollowingUpdate", "", ""), "1");
}

TEST_F(ShellTest, ProfileControlLeavesEverythingButTwoStateButtonsAlone) {
  CMainDlg* dlg = harness.OpenWindow();
  ProfileControl(dlg, true, IDC_TENCENT_NAME, "StaticKey", "0");  // static
  ProfileControl(dlg, true, IDC_MESSAGE_TEXT, "EditKey", "0");    // edit
  ProfileControl(dlg, true, IDC_BIND_TENCENT, "PushKey", "0");    // push button, style 0
  ProfileControl(dlg, true, 4242, "MissingKey", "0");             // no such control
  EXPECT_EQ(ReadFile(SettingsPath()), "");
  ProfileString(true, "PushKey", "1", "");
  ProfileControl(dlg, false, IDC_BIND_TENCENT, "PushKey", "1");
  EXPECT_EQ(LabelText(dlg, IDC_BIND_TENCENT), "腾讯");
  ProfileControl(dlg, true, IDC_AUTO_RUN, "BoxKey", "0");  // an auto check box takes part
  EXPECT_EQ(ProfileString(false, "BoxKey", "", ""), "0");
}

TEST_F(ShellTest, EnterAndEscDoNothingInTheMainWindow) {
  CMainDlg* dlg = harness.OpenWindow();
  for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(dlg->GetDlgItem(IDC_BIND_TENCENT), Qt::Key(key));
    QTest::keyClick(dlg, Qt::Key(key));
    CAppHarness::Pump(20);
    EXPECT_TRUE(dlg->isVisible()) << key;
  }
  EXPECT_TRUE(harness.Messages().empty());
  // Enter in the status text is a line break, not a command.
  dlg->GetDlgItem(IDC_MESSAGE_TEXT)->setFocus();
  QTest::keyClicks(dlg->GetDlgItem(IDC_MESSAGE_TEXT), "a");
  QTest::keyClick(dlg->GetDlgItem(IDC_MESSAGE_TEXT), Qt::Key_Return);
  QTest::keyClicks(dlg->GetDlgItem(IDC_MESSAGE_TEXT), "b");
  EXPECT_EQ(dlg->GetDlgItemText(IDC_MESSAGE_TEXT), "a\r\nb");
}

TEST(BackgroundSwitch, OnlyTheExactTrailingWordCounts) {
  EXPECT_TRUE(CMainDlg::IsBackgroundCommandLine("/opt/p/plumfinch -background"));
  EXPECT_TRUE(CMainDlg::IsBackgroundCommandLine("\"/a b/plumfinch\" x-background"));
  EXPECT_TRUE(CMainDlg::IsBackgroundCommandLine("-background"));
  EXPECT_FALSE(CMainDlg::IsBackgroundCommandLine("/opt/p/plumfinch -background "));
  EXPECT_FALSE(CMainDlg::IsBackgroundCommandLine("/opt/p/plumfinch -BACKGROUND"));
  EXPECT_FALSE(CMainDlg::IsBackgroundCommandLine("/opt/p/plumfinch -background -x"));
  EXPECT_FALSE(CMainDlg::IsBackgroundCommandLine("background"));  // shorter: compared whole
  EXPECT_FALSE(CMainDlg::IsBackgroundCommandLine(""));
}

TEST_F(ShellTest, BackgroundStartHidesWithTrayAndMinimisesWithout) {
  CTrayIcon::SetAvailabilityOverride(1);
  CMainDlg* dlg = harness.OpenWindow("plumfinch -background");
  EXPECT_TRUE(CAppHarness::WaitFor([&] { return dlg->isHidden(); }, 2000));
  EXPECT_TRUE(dlg->TrayIcon().IsEnabled());
  EXPECT_GE(dlg->LiveWorkers(), 3);  // the three pollers run; the address fetch may be done
  harness.CloseWindow();

  CTrayIcon::SetAvailabilityOverride(0);
  dlg = harness.OpenWindow("plumfinch -background");
  EXPECT_TRUE(CAppHarness::WaitFor([&] { return dlg->isMinimized(); }, 2000));
  CAppHarness::Pump(50);
  EXPECT_TRUE(dlg->isVisible()) << "without a tray the window must stay reachable";
  harness.CloseWindow();

  CTrayIcon::SetAvailabilityOverride(1);
  dlg = harness.OpenWindow("plumfinch -background ");
  CAppHarness::Pump(100);
  EXPECT_TRUE(dlg->isVisible());
  CTrayIcon::SetAvailabilityOverride(-1);
}

TEST_F(ShellTest, WorkersAndTrayStartAfterTheWindowIsShownAndNeverForAClosedOne) {
  CTrayIcon::SetAvailabilityOverride(1);
  CMainDlg::SetCommandLine("plumfinch");
  auto dlg = std::make_unique<CMainDlg>();
  dlg->Create(nullptr);
  dlg->show();
  // The window comes first; the rest starts once the event loop turns.
  EXPECT_EQ(dlg->LiveWorkers(), 0);
  EXPECT_FALSE(dlg->TrayIcon().IsEnabled());
  CAppHarness::Pump(0);
  EXPECT_GE(dlg->LiveWorkers(), 3);
  EXPECT_TRUE(dlg->TrayIcon().IsEnabled());
  dlg.reset();

  // Closed before the loop turned (a termination signal at start-up): nothing starts.
  dlg = std::make_unique<CMainDlg>();
  dlg->Create(nullptr);
  dlg->show();
  dlg->SendMessage(WM_CLOSE, 0, 0);
  CAppHarness::Pump(50);
  EXPECT_EQ(dlg->LiveWorkers(), 0);
  EXPECT_FALSE(dlg->TrayIcon().IsEnabled());
  dlg.reset();
  CTrayIcon::SetAvailabilityOverride(-1);
}

TEST_F(ShellTest, MinimiseHidesAndTheTrayCommandBringsItBackRestored) {
  CTrayIcon::SetAvailabilityOverride(1);
  CMainDlg* dlg = harness.OpenWindow();
  dlg->showMinimized();
  EXPECT_TRUE(CAppHarness::WaitFor([&] { return dlg->isHidden(); }, 2000));
  dlg->SendMessage(WM_COMMAND, ID_SHOW_HIDE_WINDOW, 0);
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_FALSE(dlg->isMinimized());
  dlg->SendMessage(WM_COMMAND, ID_SHOW_HIDE_WINDOW, 0);
  EXPECT_TRUE(dlg->isHidden());
  // A double click on the icon runs the same command.
  EXPECT_EQ(dlg->SendMessage(WM_TRAY_NOTIFY, 133, WM_LBUTTONDBLCLK), 1);
  EXPECT_TRUE(dlg->isVisible());
  CTrayIcon::SetAvailabilityOverride(-1);
}

TEST_F(ShellTest, WindowEndsPromptlyWithWorkersSleepingInLoops) {
  CMainDlg* dlg = harness.OpenWindow();
  static std::atomic<int> loops{0};
  for (int i = 0; i < 3; ++i)
    dlg->Session().StartWorker([dlg] {
      while (dlg->Session().Sleep(60000)) ++loops;
    });
  EXPECT_GE(dlg->LiveWorkers(), 6);
  // Each worker sleeps a minute at a time: no loop may complete, so every one of them was
  // woken by the closing window, not by its sleep running out.
  harness.CloseWindow();
  EXPECT_EQ(loops.load(), 0);
}

// ---- bad settings files ----

class BadSettingsTest : public ShellTest {};

TEST_F(BadSettingsTest, CorruptBinaryOrHugeFileStartsWithDefaultsAndIsNeverWrittenInto) {
  std::string binary(4096, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = char((i * 131 + 7) & 0xFF);
  std::string huge(10u << 20, 'x');
  huge.replace(0, 30, "[Plumfinch]\r\nQQName=big\r\n");
  const struct {
    std::string content;
    bool keptAside;  // not text: renamed aside; the others are not changed by reading
  } cases[] = {{binary, true},
               {huge, false},
               {std::string("QQName=\xff\xfe\r\n[Plumfinch\r\n==\r\n"), false}};
  for (const auto& c : cases) {
    ResetSettingsNotices();
    WriteFile(SettingsPath(), c.content);
    CMainDlg* dlg = harness.OpenWindow();
    EXPECT_EQ(dlg->IsDlgButtonChecked(IDC_SEND_TO_TWITTER), BST_UNCHECKED);
    const std::string log = dlg->GetDlgItemText(IDC_STATUS_LOG);
    harness.CloseWindow();
    if (!c.keptAside) {
      EXPECT_EQ(ReadFile(SettingsPath()), c.content) << "reading must not change the file";
      continue;
    }
    const std::string line = "-Setting.ini is not a text file: it is kept as " + folder + "/";
    const size_t at = log.find(line);
    ASSERT_NE(at, std::string::npos) << log;
    const std::string name = log.substr(at + line.size(), log.find(',', at) - at - line.size());
    EXPECT_EQ(name.rfind("Setting.ini.unreadable-", 0), 0u) << name;
    EXPECT_EQ(ReadFile(folder + "/" + name), c.content) << "kept byte for byte";
  }
}

TEST_F(BadSettingsTest, UnreadableFileOrReadOnlyFolderStillStarts) {
  ProfileString(true, "QQName", "kept", "");
  chmod(SettingsPath().c_str(), 0000);
  CMainDlg* dlg = harness.OpenWindow();
  harness.CloseWindow();
  chmod(SettingsPath().c_str(), 0600);
  EXPECT_EQ(ProfileString(false, "QQName", "", ""), "kept");

  chmod(folder.c_str(), 0500);
  dlg = harness.OpenWindow();
  EXPECT_EQ(LabelText(dlg, IDC_TENCENT_NAME), "kept");
  dlg->CheckDlgButton(IDC_FOLLOWING_UPDATE, BST_CHECKED);
  dlg->close();  // the save may fail; it must not crash or damage the file
  harness.CloseWindow();
  chmod(folder.c_str(), 0700);
  EXPECT_EQ(ProfileString(false, "QQName", "", ""), "kept");
}

}  // namespace

namespace {

TEST_F(ShellTest, ExitWhileAModalDialogIsOpenEndsItAsCancelled) {
  CMainDlg* dlg = harness.OpenWindow();
  QTimer::singleShot(0, [&] {
    // The exit command arrives while a dialog waits for the user (e.g. at logout).
    dlg->SendMessage(WM_COMMAND, ID_APP_EXIT, 0);
  });
  QDialog question(dlg);
  question.setModal(true);
  const int result = question.exec();
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_TRUE(dlg->isHidden());
  EXPECT_EQ(ProfileString(false, "AlertAtMe", "", ""), "1");
}

}  // namespace
