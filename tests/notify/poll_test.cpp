// Background polling against the service emulator: baselines, rises, drops, unticked
// options, invalid and odd answers, unbound accounts and accounts bound after start-up;
// and ReadJsonCount on its own.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <utility>
#include <vector>

#include "app/MainDlg.h"
#include "notify/AlertPopup.h"
#include "notify/Polling.h"
#include "notify/ServiceAlert.h"
#include "qwblog/QWBlogAPI.h"
#include "res/Resource.h"
#include "settings/Profile.h"
#include "tests/support/AppHarness.h"
#include "tests/support/Emulator.h"
#include "tests/support/TestEnv.h"

namespace {

// ---- ReadJsonCount ----

TEST(ReadJsonCount, FindsTheQuotedKeyWithItsColon) {
  EXPECT_EQ(ReadJsonCount(R"({"fans":12,"private":3})", "fans"), 12);
  EXPECT_EQ(ReadJsonCount(R"({"fans":12,"private":3})", "private"), 3);  // last before "}"
  // The first occurrence wins, at any depth; a longer name does not match.
  EXPECT_EQ(ReadJsonCount(R"({"a":{"dm":4},"dm":9})", "dm"), 4);
  EXPECT_EQ(ReadJsonCount(R"({"new_dm":4,"dm":9})", "dm"), 9);
  // Missing pattern: no quotes, blank before the colon, other case.
  EXPECT_EQ(ReadJsonCount(R"({fans:12})", "fans"), -1);
  EXPECT_EQ(ReadJsonCount(R"({"fans" :12})", "fans"), -1);
  EXPECT_EQ(ReadJsonCount(R"({"Fans":12})", "fans"), -1);
  EXPECT_EQ(ReadJsonCount("", "fans"), -1);
}

TEST(ReadJsonCount, ValueEndsAtTheNearerTerminator) {
  EXPECT_EQ(ReadJsonCount(R"({"a":7})", "a"), 7);
  EXPECT_EQ(ReadJsonCount(R"({"a":7,"b":{}})", "a"), 7);
  EXPECT_EQ(ReadJsonCount(R"({"b":{"a":5},"c":6})", "a"), 5);
  // Neither "," nor "}" after the value: missing.
  EXPECT_EQ(ReadJsonCount(R"({"a":12)", "a"), -1);
  EXPECT_EQ(ReadJsonCount(R"({"a":)", "a"), -1);
  // The terminator may be far away: everything up to it is what atoi reads.
  EXPECT_EQ(ReadJsonCount(R"({"a":3 ]] "x"})", "a"), 3);
}

TEST(ReadJsonCount, ConvertsTheWayAtoiDoes) {
  EXPECT_EQ(ReadJsonCount("{\"a\": \t\r\n 42 }", "a"), 42);
  EXPECT_EQ(ReadJsonCount(R"({"a":+8})", "a"), 8);
  EXPECT_EQ(ReadJsonCount(R"({"a":-4})", "a"), -4);
  EXPECT_EQ(ReadJsonCount(R"({"a":12abc})", "a"), 12);
  EXPECT_EQ(ReadJsonCount(R"({"a":0007})", "a"), 7);
  EXPECT_EQ(ReadJsonCount(R"({"a":1.9})", "a"), 1);
  // No digits: 0. A quoted number is no number to atoi.
  EXPECT_EQ(ReadJsonCount(R"({"a":"15"})", "a"), 0);
  EXPECT_EQ(ReadJsonCount(R"({"a":null})", "a"), 0);
  EXPECT_EQ(ReadJsonCount(R"({"a":})", "a"), 0);
  EXPECT_EQ(ReadJsonCount(R"({"a":- 3})", "a"), 0);
}

TEST(ReadJsonCount, NumbersBeyond32BitsCountAsMissing) {
  EXPECT_EQ(ReadJsonCount(R"({"a":2147483647})", "a"), INT_MAX);
  EXPECT_EQ(ReadJsonCount(R"({"a":-2147483648})", "a"), INT_MIN);
  EXPECT_EQ(ReadJsonCount(R"({"a":2147483648})", "a"), -1);
  EXPECT_EQ(ReadJsonCount(R"({"a":-2147483649})", "a"), -1);
  EXPECT_EQ(ReadJsonCount(R"({"a":99999999999999999999999999999})", "a"), -1);
  EXPECT_EQ(ReadJsonCount(R"({"a":000000000000000000000000000005})", "a"), 5);
}

// ---- polling against the emulator ----

constexpr int kIntervalMs = 100;

CEmulator* g_emulator = nullptr;

class EmulatorEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // Short polls and popups for every test; set before any worker thread exists.
    setenv("PLUMFINCH_POLL_INTERVAL_MS", std::to_string(kIntervalMs).c_str(), 1);
    CAppHarness::App();
    CAlertPopup::SetTickPeriodMs(20);
    g_emulator = new CEmulator;
    ASSERT_TRUE(g_emulator->Start(MakeTestFolder("emulator", false)));
  }
  void TearDown() override {
    delete g_emulator;
    g_emulator = nullptr;
  }
};
[[maybe_unused]] const auto* const g_env = ::testing::AddGlobalTestEnvironment(new EmulatorEnvironment);

using Alert = std::pair<int, long long>;

struct SPollPath {
  const char* service;
  const char* path;
};
const SPollPath kTencent = {"tencent", "/api/info/update"};
const SPollPath kSina = {"sina", "/statuses/unread.json"};
const SPollPath kSohu = {"sohu", "/users/show.json"};

class PollTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(g_emulator, nullptr);
    const std::string folder = CAppHarness::FreshSettings(
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    CAppHarness::UseEmulator(*g_emulator, folder);
    g_emulator->Reset();
    SetServiceAlertHook([this](int kind, long long count) { alerts.push_back({kind, count}); });
  }
  void TearDown() override {
    harness.CloseWindow();
    SetServiceAlertHook({});
    g_emulator->ClearFaults();
  }

  // Stores bound accounts and the three alert options, then opens the window.
  CMainDlg* Open(bool bound = true, bool atMe = true, bool following = true, bool fans = true) {
    if (bound) {
      EXPECT_TRUE(StoreAllAccountsBound(*g_emulator));
    }
    ProfileString(true, "AlertAtMe", atMe ? "1" : "0", "");
    ProfileString(true, "FollowingUpdate", following ? "1" : "0", "");
    ProfileString(true, "NewFans", fans ? "1" : "0", "");
    return harness.OpenWindow();
  }

  static int Polls(const SPollPath& p) {
    int n = 0;
    for (const auto& r : g_emulator->Requests(p.service))
      if (r.toObject().value("path").toString() == p.path) ++n;
    return n;
  }
  // Waits until the service has been polled n more times: the cycle before the last of
  // them has been compared and its alerts posted, which the wait delivers.
  static void WaitPolls(const SPollPath& p, int n = 2) {
    const int target = Polls(p) + n;
    ASSERT_TRUE(CAppHarness::WaitFor([&] { return Polls(p) >= target; }, 15000))
        << p.service << " was not polled";
    CAppHarness::Pump(30);
  }
  // Alerts of one service (kinds 1-4 Tencent, 11-14 Sina, 23-24 Sohu), in arrival order.
  std::vector<Alert> AlertsOf(int firstKind, int lastKind) const {
    std::vector<Alert> out;
    for (const Alert& a : alerts)
      if (a.first >= firstKind && a.first <= lastKind) out.push_back(a);
    return out;
  }
  std::vector<Alert> Tencent() const { return AlertsOf(1, 4); }
  static void Counters(const char* service, const QJsonObject& values) {
    g_emulator->SetCounters(service, values);
  }
  static void Omit(const char* service, const QStringList& keys) {
    g_emulator->SetQuirks(service, {{"omit", QJsonArray::fromStringList(keys)}});
  }
  static void Body(const char* service, const std::string& body) {
    g_emulator->SetFault(service, "poll", "body", {{"body", QString::fromStdString(body)}});
  }

  CAppHarness harness;
  std::vector<Alert> alerts;
};

TEST_F(PollTest, FirstAnswerIsBaselineRisesAlertDropsOnlyLowerIt) {
  Counters("tencent", {{"private", 2}});
  Open();
  WaitPolls(kTencent);
  EXPECT_TRUE(Tencent().empty());

  Counters("tencent", {{"private", 5}});
  WaitPolls(kTencent, 3);
  EXPECT_EQ(Tencent(), (std::vector<Alert>{{1, 3}}));  // once, not once per cycle

  Counters("tencent", {{"private", 3}});
  WaitPolls(kTencent);
  Counters("tencent", {{"private", 4}});
  WaitPolls(kTencent);
  EXPECT_EQ(Tencent(), (std::vector<Alert>{{1, 3}, {1, 1}}));

  // The request: GET, signed with the account's tokens, fixed parameters after them.
  const QJsonObject last = g_emulator->Requests("tencent").last().toObject();
  EXPECT_EQ(last.value("method").toString(), "GET");
  EXPECT_TRUE(last.value("oauth").toObject().value("valid").toBool());
  EXPECT_EQ(last.value("query").toArray(), QJsonArray({QJsonArray{"op", "1"}, QJsonArray{"type", "5678"}}));
}

TEST_F(PollTest, EveryCounterAlertsInKindOrderWithItsOwnOption) {
  Counters("tencent", {{"private", 1}, {"mentions", 1}, {"create", 1}, {"fans", 1}});
  Counters("sina", {{"dm", 1}, {"mentions", 1}, {"new_status", 1}, {"followers", 1}});
  Counters("sohu", {{"statuses_count", 10}, {"followers_count", 7}});
  Open();
  WaitPolls(kTencent);
  WaitPolls(kSina);
  WaitPolls(kSohu);

  Counters("tencent", {{"private", 2}, {"mentions", 3}, {"create", 4}, {"fans", 5}});
  // "followers" is the last member of Sina's answer: only "}" ends it.
  Counters("sina", {{"dm", 2}, {"mentions", 3}, {"new_status", 4}, {"followers", 5}});
  Counters("sohu", {{"statuses_count", 12}, {"followers_count", 8}});
  WaitPolls(kTencent);
  WaitPolls(kSina);
  WaitPolls(kSohu);
  EXPECT_EQ(Tencent(), (std::vector<Alert>{{1, 1}, {2, 2}, {3, 3}, {4, 4}}));
  EXPECT_EQ(AlertsOf(11, 14), (std::vector<Alert>{{11, 1}, {12, 2}, {13, 3}, {14, 4}}));
  EXPECT_EQ(AlertsOf(23, 24), (std::vector<Alert>{{23, 2}, {24, 1}}));
  EXPECT_EQ(alerts.size(), 10u);  // Sohu has no private-message or mention alerts

  const auto sina = g_emulator->Requests("sina").last().toObject();
  EXPECT_EQ(sina.value("query").toArray(),
            QJsonArray({QJsonArray{"with_new_status", "1"}, QJsonArray{"since_id", "1"}}));
  const auto sohu = g_emulator->Requests("sohu").last().toObject();
  EXPECT_EQ(sohu.value("query").toArray(), QJsonArray());
  EXPECT_TRUE(sohu.value("oauth").toObject().value("valid").toBool());
}

TEST_F(PollTest, RisesWhileUntickedAreAbsorbedIntoTheBaseline) {
  Counters("tencent", {{"mentions", 1}, {"fans", 1}});
  CMainDlg* dlg = Open(true, /*atMe=*/false, /*following=*/false, /*fans=*/true);
  WaitPolls(kTencent);
  Counters("tencent", {{"mentions", 4}});
  WaitPolls(kTencent);
  dlg->CheckDlgButton(IDC_ALERT_AT_ME, BST_CHECKED);
  WaitPolls(kTencent);
  EXPECT_TRUE(Tencent().empty());

  Counters("tencent", {{"mentions", 5}, {"fans", 3}});
  WaitPolls(kTencent);
  EXPECT_EQ(Tencent(), (std::vector<Alert>{{2, 1}, {4, 2}}));
}

TEST_F(PollTest, InvalidAnswersKeepTheCounters) {
  Counters("tencent", {{"private", 2}});
  Counters("sina", {{"dm", 1}});
  Counters("sohu", {{"statuses_count", 10}});
  Open();
  WaitPolls(kTencent);
  WaitPolls(kSina);
  WaitPolls(kSohu);

  // Tencent refusing in its own format, Sina without "followers", Sohu without "id";
  // the counters these answers carry are never read.
  Body("tencent", R"({"ret":3,"msg":"check sign error","errcode":1,"data":{"private":9}})");
  Omit("sina", {"followers"});
  Omit("sohu", {"id"});
  Counters("tencent", {{"private", 5}});
  Counters("sina", {{"dm", 4}});
  Counters("sohu", {{"statuses_count", 15}});
  WaitPolls(kTencent, 3);
  WaitPolls(kSina, 3);
  WaitPolls(kSohu, 3);
  EXPECT_TRUE(alerts.empty());

  g_emulator->ClearFaults();
  Omit("sina", {});
  Omit("sohu", {});
  WaitPolls(kTencent);
  WaitPolls(kSina);
  WaitPolls(kSohu);
  EXPECT_EQ(Tencent(), (std::vector<Alert>{{1, 3}}));
  EXPECT_EQ(AlertsOf(11, 14), (std::vector<Alert>{{11, 3}}));
  EXPECT_EQ(AlertsOf(23, 24), (std::vector<Alert>{{23, 5}}));
}

TEST_F(PollTest, MissingKeyRestartsTheBaselineSoFlappingNeverAlerts) {
  Counters("tencent", {{"private", 2}, {"fans", 1}});
  Open();
  WaitPolls(kTencent);
  // The counter comes and goes while it keeps rising: every return is a fresh baseline.
  for (int value : {5, 9, 14}) {
    Omit("tencent", {"private"});
    Counters("tencent", {{"private", value}});
    WaitPolls(kTencent);
    Omit("tencent", {});
    WaitPolls(kTencent);
  }
  // Only the missing key was reset; the others kept comparing.
  Counters("tencent", {{"fans", 2}});
  WaitPolls(kTencent);
  EXPECT_EQ(Tencent(), (std::vector<Alert>{{4, 1}}));

  Counters("tencent", {{"private", 16}});
  WaitPolls(kTencent);
  EXPECT_EQ(Tencent(), (std::vector<Alert>{{4, 1}, {1, 2}}));
}

TEST_F(PollTest, OddValuesAreReadByTheRules) {
  const std::string head = R"({"ret":0,"msg":"ok","errcode":0,"data":{"create":0,"fans":0,)";
  Counters("tencent", {{"private", 2}});
  Open();
  WaitPolls(kTencent);

  // Cut in the middle of the number: no terminator, so missing; 5 is then a baseline.
  Body("tencent", head + R"("mentions":0,"private":12)");
  WaitPolls(kTencent);
  g_emulator->ClearFaults();
  Counters("tencent", {{"private", 5}});
  WaitPolls(kTencent);
  EXPECT_TRUE(Tencent().empty());

  // Too large for 32 bits: missing too, never a huge alert.
  Body("tencent", head + R"("mentions":0,"private":98765432109876})");
  WaitPolls(kTencent);
  g_emulator->ClearFaults();
  WaitPolls(kTencent);
  EXPECT_TRUE(Tencent().empty());

  // A quoted or non-numeric value reads 0: a drop, so the next 5 is a rise of 5.
  Body("tencent", head + R"("mentions":0,"private":"many"})");
  WaitPolls(kTencent);
  g_emulator->ClearFaults();
  WaitPolls(kTencent);
  EXPECT_EQ(Tencent(), (std::vector<Alert>{{1, 5}}));
}

TEST_F(PollTest, BrokenTransportsAreSkippedAndPollingGoesOn) {
  QWBlogOptions options = QWBlogGetOptions();
  const QWBlogOptions saved = options;
  options.stallTimeoutS = 2;
  QWBlogSetOptions(options);

  Counters("tencent", {{"private", 2}});
  Open();
  WaitPolls(kTencent);
  const struct {
    const char* mode;
    QJsonObject extra;
  } faults[] = {{"empty", {}},
                {"drop", {}},
                {"garbage", {}},
                {"status", {{"status", 500}, {"body", "Internal Server Error"}}},
                {"oversize", {{"bytes", 9 * 1024 * 1024}}},  // beyond the answer cap
                {"oversize", {{"bytes", 1024 * 1024}}},      // within it, but no answer
                {"delay", {{"ms", 1500}}},
                {"hang", {}}};  // given up by the stall rule
  for (const auto& f : faults) {
    QJsonObject extra = f.extra;
    extra["count"] = 1;
    g_emulator->SetFault("tencent", "poll", f.mode, extra);
    WaitPolls(kTencent, 2);
    SCOPED_TRACE(f.mode);
    EXPECT_TRUE(Tencent().empty());
  }
  Counters("tencent", {{"private", 6}});
  WaitPolls(kTencent);
  EXPECT_EQ(Tencent(), (std::vector<Alert>{{1, 4}}));
  QWBlogSetOptions(saved);
}

TEST_F(PollTest, ClosingDoesNotWaitForAHangingPoll) {
  Open();
  WaitPolls(kTencent, 1);
  g_emulator->SetFault("tencent", "poll", "hang");
  WaitPolls(kTencent, 1);
  const auto started = std::chrono::steady_clock::now();
  harness.CloseWindow();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST_F(PollTest, NoRequestWhileUnboundOrEveryOptionUnticked) {
  Open(/*bound=*/false);
  CAppHarness::Pump(8 * kIntervalMs);
  EXPECT_EQ(Polls(kTencent) + Polls(kSina) + Polls(kSohu), 0);
  harness.CloseWindow();

  Open(/*bound=*/true, false, false, false);
  CAppHarness::Pump(8 * kIntervalMs);
  EXPECT_EQ(Polls(kTencent) + Polls(kSina) + Polls(kSohu), 0);
  // Ticking any one option starts polling every bound account.
  harness.Window()->CheckDlgButton(IDC_FOLLOWING_UPDATE, BST_CHECKED);
  WaitPolls(kTencent, 1);
  WaitPolls(kSina, 1);
  WaitPolls(kSohu, 1);
}

TEST_F(PollTest, AnAccountBoundAfterStartIsPolledWithItsCurrentTokens) {
  CMainDlg* dlg = Open(/*bound=*/false);
  CAppHarness::Pump(3 * kIntervalMs);
  ASSERT_EQ(Polls(kTencent), 0);

  auto bind = [&](const STokenPair& tokens) {
    auto lock = dlg->LockShared();
    dlg->m_strQQAccessToken = tokens.token;
    dlg->m_strQQAccessSecret = tokens.secret;
    dlg->m_strQQName = "tencent_user";
    dlg->m_bQQBound = true;
  };
  auto lastToken = [] {
    const QJsonObject r = g_emulator->Requests("tencent").last().toObject();
    EXPECT_TRUE(r.value("oauth").toObject().value("valid").toBool());
    return r.value("oauth").toObject().value("params").toObject().value("oauth_token").toString();
  };
  const STokenPair first = MintAccessTokens(*g_emulator, EService::Tencent);
  bind(first);
  WaitPolls(kTencent, 1);
  EXPECT_EQ(lastToken().toStdString(), first.token);

  // Bound anew: the next cycle signs with the new pair.
  const STokenPair second = MintAccessTokens(*g_emulator, EService::Tencent);
  ASSERT_NE(second.token, first.token);
  bind(second);
  WaitPolls(kTencent, 2);
  EXPECT_EQ(lastToken().toStdString(), second.token);
}

}  // namespace
