// The proxy settings dialog as a user drives it from the main window's menu: what it shows,
// what OK stores in the window and the settings file, what Cancel leaves alone, bad input,
// and a request after OK really taking the new proxy.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QTimer>
#include <climits>
#include <functional>

#include "app/MainDlg.h"
#include "app/ProxySetDlg.h"
#include "net/Credentials.h"
#include "net/ProxyText.h"
#include "net/ServiceHosts.h"
#include "res/Resource.h"
#include "settings/Profile.h"
#include "tests/support/AppHarness.h"
#include "tests/support/Emulator.h"
#include "tests/support/Proxies.h"
#include "tests/support/TestEnv.h"

namespace {

constexpr int kRadios[] = {IDC_PROXY_NONE, IDC_PROXY_TWITTER_ONLY, IDC_PROXY_ALL,
                           IDC_PROXY_HTTP, IDC_PROXY_SOCKS4,       IDC_PROXY_SOCKS5};

// What the dialog shows: the checked radio buttons and the two fields.
struct SView {
  std::vector<int> checked;
  std::string address, port;
};

template <class T>
T* Control(QWidget* dlg, int id) {
  return dlg->findChild<T*>(QStringLiteral("ctrl_%1").arg(id));
}

SView ReadView(QWidget* dlg) {
  SView view;
  for (int id : kRadios)
    if (Control<QAbstractButton>(dlg, id)->isChecked()) view.checked.push_back(id);
  view.address = Control<QLineEdit>(dlg, IDC_PROXY_ADDRESS)->text().toStdString();
  view.port = Control<QLineEdit>(dlg, IDC_PROXY_PORT)->text().toStdString();
  return view;
}

void Click(QWidget* dlg, int id) { Control<QAbstractButton>(dlg, id)->click(); }
void Type(QWidget* dlg, int id, const std::string& text) {
  Control<QLineEdit>(dlg, id)->setText(QString::fromStdString(text));
}

struct SRun {
  bool opened = false;
  bool stayedOpen = false;  // still open after act (then cancelled by the helper)
  SView initial, afterAct;
};

// Opens the dialog through the menu command; act types and clicks while it is open.
SRun RunProxyDialog(CMainDlg* main, const std::function<void(QWidget*)>& act) {
  SRun run;
  QTimer::singleShot(0, [&] {
    QWidget* dlg = QApplication::activeModalWidget();
    if (!dlg) return;
    run.opened = true;
    run.initial = ReadView(dlg);
    act(dlg);
    if (QApplication::activeModalWidget() == dlg && dlg->isVisible()) {
      run.stayedOpen = true;
      run.afterAct = ReadView(dlg);
      Click(dlg, IDCANCEL);
    }
  });
  main->SendMessage(WM_COMMAND, ID_PROXY_SETTINGS, 0);
  return run;
}

// Fills the dialog and confirms it.
std::function<void(QWidget*)> Fill(int range, int type, const std::string& address,
                                   const std::string& port) {
  return [=](QWidget* dlg) {
    if (range) Click(dlg, range);
    if (type) Click(dlg, type);
    Type(dlg, IDC_PROXY_ADDRESS, address);
    Type(dlg, IDC_PROXY_PORT, port);
    Click(dlg, IDOK);
  };
}

int StoredInt(const char* key) { return ProfileInt(false, key, 0, 12345); }

class ProxyDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CAppHarness::FreshSettings(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  CAppHarness harness;
};

}  // namespace

TEST_F(ProxyDialogTest, NoProxyWithEmptyAddressStoresAllOnesAndShowsThemNextTime) {
  CMainDlg* main = harness.OpenWindow();
  SRun run = RunProxyDialog(main, [](QWidget* dlg) { Click(dlg, IDOK); });
  ASSERT_TRUE(run.opened);
  // Fresh settings: no proxy, HTTP, no address (0 shows as an empty field), port "0".
  EXPECT_EQ(run.initial.checked, (std::vector<int>{IDC_PROXY_NONE, IDC_PROXY_HTTP}));
  EXPECT_EQ(run.initial.address, "");
  EXPECT_EQ(run.initial.port, "0");
  EXPECT_FALSE(run.stayedOpen);
  EXPECT_TRUE(harness.Messages().empty());

  EXPECT_EQ(main->ReadProxy().address, 0xFFFFFFFFul);
  EXPECT_EQ(StoredInt("ProxyIP"), -1);
  EXPECT_EQ(StoredInt("ProxyRange"), 0);
  EXPECT_EQ(StoredInt("ProxyPort"), 0);

  run = RunProxyDialog(main, [](QWidget*) {});
  EXPECT_EQ(run.initial.address, "255.255.255.255");
}

TEST_F(ProxyDialogTest, EmptyAddressWithAProxyChosenKeepsTheDialogOpenWithItsChoices) {
  CMainDlg* main = harness.OpenWindow();
  SRun run = RunProxyDialog(main, Fill(IDC_PROXY_TWITTER_ONLY, IDC_PROXY_SOCKS5, "", "1080"));
  ASSERT_TRUE(run.opened);
  EXPECT_EQ(harness.Messages(), std::vector<std::string>{"代理地址不能为空!"});
  EXPECT_TRUE(run.stayedOpen);
  EXPECT_EQ(run.afterAct.checked, (std::vector<int>{IDC_PROXY_TWITTER_ONLY, IDC_PROXY_SOCKS5}));
  EXPECT_EQ(run.afterAct.port, "1080");
  // Nothing was taken over.
  EXPECT_EQ(main->ReadProxy().range, 0);
  EXPECT_EQ(main->ReadProxy().port, 0);
  EXPECT_EQ(ReadFile(SettingsPath()), "");
}

TEST_F(ProxyDialogTest, AddressAndChoicesAreStoredInOrderAndShownAgain) {
  CMainDlg* main = harness.OpenWindow();
  SRun run = RunProxyDialog(main, Fill(IDC_PROXY_ALL, IDC_PROXY_SOCKS4, "192.168.1.1", "8080"));
  ASSERT_TRUE(run.opened);
  EXPECT_FALSE(run.stayedOpen);

  const CProxySettings proxy = main->ReadProxy();
  EXPECT_EQ(proxy.range, 2);
  EXPECT_EQ(proxy.type, 4);
  EXPECT_EQ(proxy.address, 0xC0A80101ul);
  EXPECT_EQ(proxy.port, 8080);
  const std::string file = ReadFile(SettingsPath());
  const size_t type = file.find("ProxyType=4"), range = file.find("ProxyRange=2"),
               ip = file.find("ProxyIP=-1062731519"), port = file.find("ProxyPort=8080");
  ASSERT_NE(type, std::string::npos) << file;
  ASSERT_NE(range, std::string::npos) << file;
  ASSERT_NE(ip, std::string::npos) << file;
  ASSERT_NE(port, std::string::npos) << file;
  EXPECT_TRUE(type < range && range < ip && ip < port) << file;

  // Both in the same window and after a restart from the file.
  run = RunProxyDialog(main, [](QWidget*) {});
  EXPECT_EQ(run.initial.checked, (std::vector<int>{IDC_PROXY_ALL, IDC_PROXY_SOCKS4}));
  EXPECT_EQ(run.initial.address, "192.168.1.1");
  EXPECT_EQ(run.initial.port, "8080");
  main = harness.OpenWindow();
  run = RunProxyDialog(main, [](QWidget*) {});
  EXPECT_EQ(run.initial.address, "192.168.1.1");
  EXPECT_EQ(run.initial.checked, (std::vector<int>{IDC_PROXY_ALL, IDC_PROXY_SOCKS4}));
}

TEST_F(ProxyDialogTest, UnknownRangeAndTypeShowNoButtonAndAreKeptOnOk) {
  ProfileInt(true, "ProxyRange", 5, 0);
  ProfileInt(true, "ProxyType", 3, 0);
  CMainDlg* main = harness.OpenWindow();
  SRun run = RunProxyDialog(main, Fill(0, 0, "10.0.0.1", "3128"));
  ASSERT_TRUE(run.opened);
  EXPECT_TRUE(run.initial.checked.empty());
  EXPECT_FALSE(run.stayedOpen);  // 1020 is not checked, but the address is there
  EXPECT_EQ(main->ReadProxy().range, 5);
  EXPECT_EQ(main->ReadProxy().type, 3);
  EXPECT_EQ(StoredInt("ProxyRange"), 5);
  EXPECT_EQ(StoredInt("ProxyType"), 3);
  EXPECT_EQ(StoredInt("ProxyIP"), 0x0A000001);
}

TEST_F(ProxyDialogTest, CancelLeavesWindowAndFileAsTheyWere) {
  ProfileInt(true, "ProxyType", 7, 0);
  ProfileInt(true, "ProxyRange", 1, 0);
  ProfileInt(true, "ProxyIP", 0x7F000001, 0);
  ProfileInt(true, "ProxyPort", 1080, 0);
  const std::string before = ReadFile(SettingsPath());
  CMainDlg* main = harness.OpenWindow();
  SRun run = RunProxyDialog(main, [](QWidget* dlg) {
    Click(dlg, IDC_PROXY_ALL);
    Click(dlg, IDC_PROXY_HTTP);
    Type(dlg, IDC_PROXY_ADDRESS, "10.9.8.7");
    Type(dlg, IDC_PROXY_PORT, "9999");
    Click(dlg, IDCANCEL);
  });
  ASSERT_TRUE(run.opened);
  EXPECT_EQ(run.initial.checked, (std::vector<int>{IDC_PROXY_TWITTER_ONLY, IDC_PROXY_SOCKS5}));
  EXPECT_EQ(run.initial.address, "127.0.0.1");
  EXPECT_FALSE(run.stayedOpen);
  const CProxySettings proxy = main->ReadProxy();
  EXPECT_EQ(proxy.range, 1);
  EXPECT_EQ(proxy.type, 7);
  EXPECT_EQ(proxy.address, 0x7F000001ul);
  EXPECT_EQ(proxy.port, 1080);
  EXPECT_EQ(ReadFile(SettingsPath()), before);
}

TEST_F(ProxyDialogTest, BadAddressesAndPortsAreStoredByTheParsingRules) {
  CMainDlg* main = harness.OpenWindow();
  const struct {
    std::string address, port;
    uint32_t storedIp;
    int storedPort;
  } rows[] = {
      {"proxy.example.org", "1080", 0xFFFFFFFF, 1080},  // host names are not taken
      {"10.0.0.256", "1080", 0xFFFFFFFF, 1080},         // octet out of range
      {" 10.0.0.1", "1080", 0xFFFFFFFF, 1080},          // leading blank: not an address
      {"10.0.0.1 junk", "1080", 0x0A000001, 1080},      // the parser stops at a blank
      {"127.1", "1080", 0x7F000001, 1080},              // the short form
      {std::string(300, '1'), "1080", 0xFFFFFFFF, 1080},
      {"中文地址", "1080", 0xFFFFFFFF, 1080},
      {"10.1.2.3", "-1", 0x0A010203, -1},
      {"10.1.2.3", "70000", 0x0A010203, 70000},  // not checked against the port range
      {"10.1.2.3", "", 0x0A010203, 0},
      {"10.1.2.3", "99999999999999999999", 0x0A010203, INT_MAX},  // clamped, not overflowed
      {"10.1.2.3", "-99999999999999999999", 0x0A010203, INT_MIN},
      {"10.1.2.3", "80abc", 0x0A010203, 80},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.address + " / " + row.port);
    SRun run = RunProxyDialog(main, Fill(IDC_PROXY_ALL, IDC_PROXY_HTTP, row.address, row.port));
    ASSERT_TRUE(run.opened);
    EXPECT_FALSE(run.stayedOpen);
    EXPECT_EQ(main->ReadProxy().address, row.storedIp);
    EXPECT_EQ(main->ReadProxy().port, row.storedPort);
    EXPECT_EQ(StoredInt("ProxyIP"), static_cast<int>(row.storedIp));
    EXPECT_EQ(StoredInt("ProxyPort"), row.storedPort);
    // And what was stored shows again as a number and a dotted address.
    run = RunProxyDialog(main, [](QWidget*) {});
    EXPECT_EQ(run.initial.port, std::to_string(row.storedPort));
    EXPECT_EQ(run.initial.address, FormatProxyAddress(row.storedIp));
  }
  EXPECT_TRUE(harness.Messages().empty());
}

// The exit command (a signal at logout) while the dialog is open ends the program at once,
// the dialog counting as cancelled.
TEST_F(ProxyDialogTest, ExitWhileTheDialogIsOpenEndsTheProgram) {
  ProfileInt(true, "ProxyPort", 1080, 0);
  auto* main = new CMainDlg;  // run modally, as the program runs it
  bool dialogWasOpen = false;
  QTimer::singleShot(0, main, [main] { main->PostMessage(WM_COMMAND, ID_PROXY_SETTINGS, 0); });
  QTimer::singleShot(300, main, [&] {
    if (auto* dlg = qobject_cast<CProxySetDlg*>(QApplication::activeModalWidget())) {
      dialogWasOpen = true;
      Type(dlg, IDC_PROXY_PORT, "9999");
    }
    main->PostMessage(WM_COMMAND, ID_APP_EXIT, 0);
  });
  // Safety net, so that a fault fails the test instead of hanging it.
  bool safetyNet = false;
  QTimer::singleShot(8000, main, [&] {
    safetyNet = true;
    if (auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dlg->reject();
  });
  main->DoModal();
  EXPECT_TRUE(dialogWasOpen);
  EXPECT_FALSE(safetyNet) << "the exit command ended the window and the dialog over it";
  EXPECT_EQ(StoredInt("ProxyPort"), 1080);
  delete main;
}

// After OK, the next Twitter request goes through the SOCKS5 proxy and the next Sina
// request goes direct: the emulator sees dante's outgoing address for the first.
TEST_F(ProxyDialogTest, NextRequestsTakeTheNewProxy) {
  CEmulator emulator;
  ASSERT_TRUE(emulator.Start(MakeTestFolder("emulator-state", false)));
  CProxies proxies;
  ASSERT_TRUE(proxies.Start(MakeTestFolder("proxies", false)));
  CAppHarness::UseEmulator(emulator, SettingsFolder());
  CMainDlg* main = harness.OpenWindow();

  SRun run = RunProxyDialog(main, Fill(IDC_PROXY_TWITTER_ONLY, IDC_PROXY_SOCKS5, "127.0.0.1",
                                       std::to_string(proxies.SocksPort())));
  ASSERT_TRUE(run.opened);
  ASSERT_FALSE(run.stayedOpen);

  auto requestToken = [&](EService service, bool isTwitter) {
    const std::string url = EndpointAddress(ServiceRow(service).bind.requestToken);
    CWeiboParam params;
    AddConsumerKeyParams(ServiceRow(service).consumer, params);
    params.AddParam(PARAM_OAUTH_CALLBACK, "oob");
    return main->SendServiceRequest(url, EHttpMethod_Get, params, isTwitter);
  };
  const std::string twitter = requestToken(EService::Twitter, true);
  const std::string sina = requestToken(EService::Sina, false);
  EXPECT_NE(twitter.find("oauth_token="), std::string::npos) << twitter;
  EXPECT_NE(sina.find("oauth_token="), std::string::npos) << sina;

  auto lastPeer = [&](const std::string& service) {
    const QJsonArray requests = emulator.Requests(service);
    for (qsizetype i = requests.size() - 1; i >= 0; --i) {
      const QJsonObject r = requests[i].toObject();
      if (r["path"].toString() == "/oauth/request_token") return r["peer"].toString().toStdString();
    }
    return std::string("none");
  };
  EXPECT_EQ(lastPeer("twitter"), CProxies::kSocksEgress);
  EXPECT_EQ(lastPeer("sina"), "127.0.0.1");
  // SOCKS5 it was, not SOCKS4.
  EXPECT_NE(proxies.DanteLog().find("pass(2)"), std::string::npos) << proxies.DanteLog();
}
