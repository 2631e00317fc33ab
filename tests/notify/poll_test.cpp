// Background polling against the service emulator (baselines, rises, drops, unticked
// options, invalid and odd answers, unbound and newly bound accounts) and ReadJsonCount.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <vector>

#include "app/MainDlg.h"
#include "notify/AlertPopup.h"
#include "notify/PollFlow.h"
#include "qwblog/QWBlogAPI.h"
#include "res/Resource.h"
#include "settings/Profile.h"
#include "tests/support/AppHarness.h"
#include "tests/support/Emulator.h"
#include "tests/support/TestEnv.h"

namespace {

constexpr int kIntervalMs = 100;
// Short polls and popups; the emulator starts once for every test.
[[maybe_unused]] const auto* const g_env = ::testing::AddGlobalTestEnvironment(
    new CEmulatorEnvironment(kIntervalMs, [] { CAlertPopup::SetTickPeriodMs(20); }));

using Alerts = std::vector<std::pair<int, long long>>;
struct SService {
  const char *name, *pollPath;
  int firstKind, lastKind;
};
const SService kTencent = {"tencent", "/api/info/update", 1, 4};
const SService kSina = {"sina", "/statuses/unread.json", 11, 14};
const SService kSohu = {"sohu", "/users/show.json", 23, 24};

class PollTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SharedEmulator());
    CAppHarness::UseEmulator(*SharedEmulator(),
                             CAppHarness::FreshSettings(
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name()));
    SharedEmulator()->Reset();
    SetServiceAlertHook([this](int kind, long long count) { alerts.push_back({kind, count}); });
  }
  void TearDown() override {
    harness.CloseWindow();
    SetServiceAlertHook({});
    SharedEmulator()->Reset();
  }

  // Bound accounts (unless told otherwise) and the three alert options, then the window.
  CMainDlg* Open(bool bound = true, bool atMe = true, bool following = true, bool fans = true) {
    if (bound) {
      EXPECT_TRUE(StoreAllAccountsBound(*SharedEmulator()));
    }
    ProfileString(true, "AlertAtMe", atMe ? "1" : "0", "");
    ProfileString(true, "FollowingUpdate", following ? "1" : "0", "");
    ProfileString(true, "NewFans", fans ? "1" : "0", "");
    return harness.OpenWindow();
  }
  static QJsonArray PollRequests(const SService& s) {
    QJsonArray out;
    for (const auto& r : SharedEmulator()->Requests(s.name))
      if (r.toObject().value("path").toString() == s.pollPath) out.append(r);
    return out;
  }
  // Waits for n more polls: every cycle before the last of them has posted its alerts,
  // which the wait delivers.
  static void WaitPolls(const SService& s, int n = 2) {
    const qsizetype target = PollRequests(s).size() + n;
    ASSERT_TRUE(CAppHarness::WaitFor([&] { return PollRequests(s).size() >= target; }, 15000))
        << s.name << " was not polled";
    CAppHarness::Pump(30);
  }
  Alerts Of(const SService& s) const {
    Alerts out;
    for (const auto& a : alerts)
      if (a.first >= s.firstKind && a.first <= s.lastKind) out.push_back(a);
    return out;
  }
  static void Counters(const SService& s, const QJsonObject& values) {
    SharedEmulator()->SetCounters(s.name, values);
  }
  static void Omit(const SService& s, const QStringList& keys) {
    SharedEmulator()->SetQuirks(s.name, {{"omit", QJsonArray::fromStringList(keys)}});
  }
  static void Fault(const SService& s, const char* mode, QJsonObject extra = {}) {
    SharedEmulator()->SetFault(s.name, "poll", mode, extra);
  }

  CAppHarness harness;
  Alerts alerts;
};

TEST_F(PollTest, FirstAnswerIsBaselineRiseAlertsOnceDropOnlyLowers) {
  Counters(kTencent, {{"private", 2}});
  Open();
  WaitPolls(kTencent);
  EXPECT_TRUE(alerts.empty());
  Counters(kTencent, {{"private", 5}});
  WaitPolls(kTencent, 3);
  EXPECT_EQ(Of(kTencent), (Alerts{{1, 3}}));
  Counters(kTencent, {{"private", 3}});
  WaitPolls(kTencent);
  Counters(kTencent, {{"private", 4}});
  WaitPolls(kTencent);
  EXPECT_EQ(Of(kTencent), (Alerts{{1, 3}, {1, 1}}));

  const QJsonObject request = PollRequests(kTencent).last().toObject();
  EXPECT_EQ(request.value("method").toString(), "GET");
  EXPECT_TRUE(request.value("oauth").toObject().value("valid").toBool());
  EXPECT_EQ(request.value("query").toArray(),
            QJsonArray({QJsonArray{"op", "1"}, QJsonArray{"type", "5678"}}));
}

TEST_F(PollTest, EveryCounterAlertsInKindOrder) {
  Counters(kTencent, {{"private", 1}, {"mentions", 1}, {"create", 1}, {"fans", 1}});
  Counters(kSina, {{"dm", 1}, {"mentions", 1}, {"new_status", 1}, {"followers", 1}});
  Counters(kSohu, {{"statuses_count", 10}, {"followers_count", 7}});
  Open();
  for (const SService* s : {&kTencent, &kSina, &kSohu}) WaitPolls(*s);
  Counters(kTencent, {{"private", 2}, {"mentions", 3}, {"create", 4}, {"fans", 5}});
  Counters(kSina, {{"dm", 2}, {"mentions", 3}, {"new_status", 4}, {"followers", 5}});
  Counters(kSohu, {{"statuses_count", 12}, {"followers_count", 8}});
  for (const SService* s : {&kTencent, &kSina, &kSohu}) WaitPolls(*s);
  EXPECT_EQ(Of(kTencent), (Alerts{{1, 1}, {2, 2}, {3, 3}, {4, 4}}));
  EXPECT_EQ(Of(kSina), (Alerts{{11, 1}, {12, 2}, {13, 3}, {14, 4}}));
  EXPECT_EQ(Of(kSohu), (Alerts{{23, 2}, {24, 1}}));
  EXPECT_EQ(alerts.size(), 10u);
  EXPECT_EQ(PollRequests(kSina).last().toObject().value("query").toArray(),
            QJsonArray({QJsonArray{"with_new_status", "1"}, QJsonArray{"since_id", "1"}}));
  EXPECT_EQ(PollRequests(kSohu).last().toObject().value("query").toArray(), QJsonArray());
}

TEST_F(PollTest, RisesWhileUntickedAreAbsorbed) {
  Counters(kTencent, {{"mentions", 1}, {"fans", 1}});
  CMainDlg* dlg = Open(true, /*atMe=*/false, /*following=*/false, /*fans=*/true);
  WaitPolls(kTencent);
  Counters(kTencent, {{"mentions", 4}});
  WaitPolls(kTencent);
  dlg->CheckDlgButton(IDC_ALERT_AT_ME, BST_CHECKED);
  WaitPolls(kTencent);
  EXPECT_TRUE(alerts.empty());
  Counters(kTencent, {{"mentions", 5}, {"fans", 3}});
  WaitPolls(kTencent);
  EXPECT_EQ(Of(kTencent), (Alerts{{2, 1}, {4, 2}}));
}

TEST_F(PollTest, InvalidAnswersKeepTheCounters) {
  Counters(kTencent, {{"private", 2}});
  Counters(kSina, {{"dm", 1}});
  Counters(kSohu, {{"statuses_count", 10}});
  Open();
  for (const SService* s : {&kTencent, &kSina, &kSohu}) WaitPolls(*s);
  // A Tencent refusal in its own format, Sina without "followers", Sohu without "id":
  // the counters in these answers are never read.
  Fault(kTencent, "body", {{"body", R"({"ret":3,"msg":"bad sign","data":{"private":9}})"}});
  Omit(kSina, {"followers"});
  Omit(kSohu, {"id"});
  Counters(kTencent, {{"private", 5}});
  Counters(kSina, {{"dm", 4}});
  Counters(kSohu, {{"statuses_count", 15}});
  for (const SService* s : {&kTencent, &kSina, &kSohu}) WaitPolls(*s, 3);
  EXPECT_TRUE(alerts.empty());
  SharedEmulator()->ClearFaults();
  Omit(kSina, {});
  Omit(kSohu, {});
  for (const SService* s : {&kTencent, &kSina, &kSohu}) WaitPolls(*s);
  EXPECT_EQ(Of(kTencent), (Alerts{{1, 3}}));
  EXPECT_EQ(Of(kSina), (Alerts{{11, 3}}));
  EXPECT_EQ(Of(kSohu), (Alerts{{23, 5}}));
}

TEST_F(PollTest, MissingKeyRestartsItsBaselineSoFlappingNeverAlerts) {
  Counters(kTencent, {{"private", 2}, {"fans", 1}});
  Open();
  WaitPolls(kTencent);
  for (int value : {5, 9, 14}) {  // comes and goes while it keeps rising
    Omit(kTencent, {"private"});
    Counters(kTencent, {{"private", value}});
    WaitPolls(kTencent);
    Omit(kTencent, {});
    WaitPolls(kTencent);
  }
  Counters(kTencent, {{"fans", 2}});  // the other counters kept comparing
  WaitPolls(kTencent);
  Counters(kTencent, {{"private", 16}});
  WaitPolls(kTencent);
  EXPECT_EQ(Of(kTencent), (Alerts{{4, 1}, {1, 2}}));
}

TEST_F(PollTest, BadAnswersAreSkippedOrReadByTheRules) {
  QWBlogOptions options = QWBlogGetOptions();
  const QWBlogOptions saved = options;
  options.stallTimeoutS = 2;  // a stalled answer is given up within the time-out
  QWBlogSetOptions(options);
  const struct {
    const char* mode;
    QJsonObject extra;
    long long rise;  // alert of the real 5 that follows the baseline 2; 0: none
  } steps[] = {
      // Skipped: the counters keep 2, so the real 5 is a rise of 3. (Valid answers with
      // odd values are read by the rules of the service model's tests.)
      {"empty", {}, 3},
      {"drop", {}, 3},
      {"garbage", {}, 3},
      {"status", {{"status", 500}, {"body", "Internal Server Error"}}, 3},
      {"oversize", {{"bytes", 9 << 20}}, 3},  // beyond the answer cap
      {"oversize", {{"bytes", 1 << 20}}, 3},  // within it, but no answer
      {"hang", {}, 3},
      {"delay", {{"ms", 1500}}, 3},
  };
  Counters(kTencent, {{"private", 2}});
  Open();
  WaitPolls(kTencent);
  for (const auto& step : steps) {
    SCOPED_TRACE(step.mode);
    alerts.clear();
    Fault(kTencent, step.mode, step.extra);
    WaitPolls(kTencent);
    Counters(kTencent, {{"private", 5}});
    SharedEmulator()->ClearFaults();
    WaitPolls(kTencent);
    EXPECT_EQ(Of(kTencent), step.rise ? (Alerts{{1, step.rise}}) : Alerts{});
    Counters(kTencent, {{"private", 2}});  // the baseline of the next step
    WaitPolls(kTencent);
  }
  QWBlogSetOptions(saved);
}

TEST_F(PollTest, ClosingDoesNotWaitForAHangingPoll) {
  Open();
  Fault(kTencent, "hang");
  // Until a poll is held: the fault may take a poll that had already arrived, so a count
  // of polls taken before it would wait for one that never comes.
  ASSERT_TRUE(CAppHarness::WaitFor([] {
    for (const QJsonValue& r : PollRequests(kTencent))
      if (r.toObject().value("fault").toString() == "hang") return true;
    return false;
  }));
  // The emulator holds a hung request until it is let go, so only the closing window's
  // abort can end the poll: the close returning at all is the proof.
  harness.CloseWindow();
  EXPECT_EQ(harness.Window(), nullptr);
}

TEST_F(PollTest, NoRequestWhileUnboundOrEveryOptionUnticked) {
  Open(/*bound=*/false);
  CAppHarness::Pump(8 * kIntervalMs);
  harness.CloseWindow();
  Open(/*bound=*/true, false, false, false);
  CAppHarness::Pump(8 * kIntervalMs);
  for (const SService* s : {&kTencent, &kSina, &kSohu}) EXPECT_TRUE(PollRequests(*s).isEmpty());
  harness.Window()->CheckDlgButton(IDC_FOLLOWING_UPDATE, BST_CHECKED);  // any one option
  for (const SService* s : {&kTencent, &kSina, &kSohu}) WaitPolls(*s, 1);
}

TEST_F(PollTest, AnAccountBoundAfterStartIsPolledWithItsCurrentTokens) {
  CMainDlg* dlg = Open(/*bound=*/false);
  auto bind = [&](const STokenPair& tokens) {  // what a successful binding stores
    dlg->Session().SetAccount(ServiceRow(EService::Tencent),
                              {true, tokens.token, tokens.secret, "tencent_user", ""});
  };
  auto lastToken = [] {
    const QJsonObject oauth = PollRequests(kTencent).last().toObject().value("oauth").toObject();
    EXPECT_TRUE(oauth.value("valid").toBool());
    return oauth.value("params").toObject().value("oauth_token").toString().toStdString();
  };
  for (int round = 0; round < 2; ++round) {  // bound, then bound anew
    const STokenPair tokens = MintAccessTokens(*SharedEmulator(), EService::Tencent);
    bind(tokens);
    WaitPolls(kTencent, 2);
    EXPECT_EQ(lastToken(), tokens.token);
  }
}

}  // namespace
