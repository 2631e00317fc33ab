// Background polling: one worker each for Tencent, Sina and Sohu asks its service for
// the account's counters, compares them with the values seen in the previous cycle and
// posts WM_SERVICE_ALERT to the main window for every counter that grew while its alert
// option is ticked.
#include "notify/Polling.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/MainDlg.h"
#include "net/ServiceHosts.h"
#include "net/TextOps.h"
#include "res/Resource.h"

namespace {

// One counter of a service: the key read from the answer, the alert kind raised when it
// grows, the check box that gates that alert, and where the last-seen value is kept.
struct SCounterDef {
  const char* key;
  int kind;
  int gateId;
  int CMainDlg::*lastSeen;
};

struct SPollPlan {
  EService service;
  EHost host;
  const char* path;
  std::vector<std::pair<const char*, const char*>> fixedParams;  // after the token pair
  bool (*isValid)(const std::string& answer);
  std::vector<SCounterDef> counters;  // in the order they are read from the answer
  int intervalMs;
};

bool IsTencentAnswer(const std::string& answer) {
  return GetTextBetween(answer, "\"msg\":", "\"", "\"") == "ok";
}
bool IsSinaAnswer(const std::string& answer) {
  return answer.find("\"followers\"") != std::string::npos;
}
bool IsSohuAnswer(const std::string& answer) { return answer.find("\"id\"") != std::string::npos; }

const SPollPlan& TencentPlan() {
  static const SPollPlan plan = {EService::Tencent,
                                 EHost::TencentOpen,
                                 "/api/info/update",
                                 {{"op", "1"}, {"type", "5678"}},
                                 IsTencentAnswer,
                                 {{"create", 3, IDC_FOLLOWING_UPDATE, &CMainDlg::m_nQQCreate},
                                  {"fans", 4, IDC_NEW_FANS, &CMainDlg::m_nQQFans},
                                  {"mentions", 2, IDC_ALERT_AT_ME, &CMainDlg::m_nQQMentions},
                                  {"private", 1, IDC_ALERT_AT_ME, &CMainDlg::m_nQQPrivate}},
                                 45000};
  return plan;
}

const SPollPlan& SinaPlan() {
  static const SPollPlan plan = {
      EService::Sina,
      EHost::SinaApi,
      "/statuses/unread.json",
      {{"with_new_status", "1"}, {"since_id", "1"}},
      IsSinaAnswer,
      {{"new_status", 13, IDC_FOLLOWING_UPDATE, &CMainDlg::m_nSinaNewStatus},
       {"followers", 14, IDC_NEW_FANS, &CMainDlg::m_nSinaFollowers},
       {"mentions", 12, IDC_ALERT_AT_ME, &CMainDlg::m_nSinaMentions},
       {"dm", 11, IDC_ALERT_AT_ME, &CMainDlg::m_nSinaDm}},
      45000};
  return plan;
}

const SPollPlan& SohuPlan() {
  static const SPollPlan plan = {
      EService::Sohu,
      EHost::SohuApi,
      "/users/show.json",
      {},
      IsSohuAnswer,
      {{"statuses_count", 23, IDC_FOLLOWING_UPDATE, &CMainDlg::m_nSohuStatuses},
       {"followers_count", 24, IDC_NEW_FANS, &CMainDlg::m_nSohuFollowers}},
      30000};
  return plan;
}

bool IsChecked(const CMainDlg& dlg, int id) { return dlg.IsDlgButtonChecked(id) == BST_CHECKED; }

// The growth from last to fresh as an alert count; counts read from an answer may be
// negative, so the difference is taken wide and kept within an int.
int Increase(int fresh, int last) {
  const int64_t diff = int64_t(fresh) - int64_t(last);
  return int(std::min<int64_t>(diff, INT_MAX));
}

// One cycle: ask the service when an alert option is ticked and the account is bound,
// and compare every counter of a valid answer with its last-seen value.
void PollOnce(CMainDlg& dlg, const SPollPlan& plan, const std::string& url) {
  if (!IsChecked(dlg, IDC_ALERT_AT_ME) && !IsChecked(dlg, IDC_FOLLOWING_UPDATE) &&
      !IsChecked(dlg, IDC_NEW_FANS))
    return;
  // The account as it is now: a binding made after start-up is polled with its new tokens.
  const SAccountSnapshot account = dlg.ReadAccount(plan.service);
  if (!account.bound) return;

  CWeiboParam params;
  AddTokenParams(plan.service, params, account.accessToken, account.accessSecret);
  for (const auto& [name, value] : plan.fixedParams) params.AddParam(name, value);
  const std::string answer = dlg.SendServiceRequest(url, EHttpMethod_Get, params, false);
  if (dlg.IsClosing() || !plan.isValid(answer)) return;

  std::vector<int> fresh;
  for (const SCounterDef& counter : plan.counters)
    fresh.push_back(ReadJsonCount(answer, counter.key));

  // Alerts are tested in the order of their kinds. A counter without a baseline (-1) only
  // sets one; a drop only lowers it; a rise while the option is unticked is absorbed.
  std::vector<size_t> order(plan.counters.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return plan.counters[a].kind < plan.counters[b].kind; });
  for (size_t i : order) {
    const SCounterDef& counter = plan.counters[i];
    int& last = dlg.*counter.lastSeen;
    if (fresh[i] > last && last != -1 && IsChecked(dlg, counter.gateId))
      dlg.PostServiceAlert(counter.kind, Increase(fresh[i], last));
    last = fresh[i];
  }
}

void RunPollLoop(CMainDlg& dlg, const SPollPlan& plan) {
  const std::string url = HttpUrl(plan.host, plan.path);
  const int intervalMs = PollIntervalMs(plan.intervalMs);
  do {
    PollOnce(dlg, plan, url);
  } while (dlg.WorkerSleep(intervalMs));
}

}  // namespace

void CMainDlg::PollTencent() { RunPollLoop(*this, TencentPlan()); }
void CMainDlg::PollSina() { RunPollLoop(*this, SinaPlan()); }
void CMainDlg::PollSohu() { RunPollLoop(*this, SohuPlan()); }

void CMainDlg::PostServiceAlert(int kind, int count) {
  PostMessage(WM_SERVICE_ALERT, WPARAM(kind), LPARAM(count));
}

unsigned PollTencentThreadProc(CMainDlg* dlg) {
  dlg->PollTencent();
  return 0;
}
unsigned PollSinaThreadProc(CMainDlg* dlg) {
  dlg->PollSina();
  return 0;
}
unsigned PollSohuThreadProc(CMainDlg* dlg) {
  dlg->PollSohu();
  return 0;
}
