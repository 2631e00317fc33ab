// Polling over a service row: one worker per polled service keeps the counters it saw
// last and raises an alert for every counter that grew while its option is ticked; and
// the description of an alert from its kind.
#include "notify/PollFlow.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <numeric>

#include "qwblog/OAuth.h"
#include "services/Readers.h"
#include "services/Registry.h"

namespace {

// The growth from last to fresh as an alert count; counts read from an answer may be
// negative, so the difference is taken wide and kept within an int.
int Increase(int fresh, int last) {
  const int64_t diff = int64_t(fresh) - int64_t(last);
  return int(std::min<int64_t>(diff, INT_MAX));
}

}  // namespace

CPollWorker::CPollWorker(const SServiceRow& row)
    : m_row(row),
      m_url(row.poll ? EndpointAddress(row.poll->endpoint) : std::string()),
      m_lastSeen(row.poll ? row.poll->kinds.size() : 0, -1) {
  m_cursor.intervalMs = IntervalMs();
}

int CPollWorker::IntervalMs() const {
  return PollIntervalMs(m_row.poll ? m_row.poll->intervalMs : 45000);
}

int CPollWorker::NextSleepMs() {
  const int ms = m_cursor.nextDelayMs >= 0 ? m_cursor.nextDelayMs : IntervalMs();
  m_cursor.nextDelayMs = -1;
  return ms;
}

void CPollWorker::PollOnce(CSession& session) {
  if (m_row.own && m_row.own->poll) return m_row.own->poll(m_row, session, m_cursor);
  const SPollPlan* plan = m_row.poll;
  if (!plan) return;
  if (!session.AlertTicked(EAlertGate::AtMe) && !session.AlertTicked(EAlertGate::Following) &&
      !session.AlertTicked(EAlertGate::Fans))
    return;
  // The account as it is now: a binding made after start-up is polled with its new tokens.
  const SAccountSnapshot account = session.Account(m_row);
  if (!account.bound) return;

  CWeiboParam params;
  AddAccountParams(m_row, params, account.accessToken, account.accessSecret);
  for (const auto& [name, value] : plan->fixedParams) params.AddParam(name, value);
  const std::string answer = session.Request(m_url, EHttpMethod_Get, params, m_row.proxyPicked);
  if (session.IsClosing() || !plan->isValid(answer)) return;

  std::vector<int> fresh;
  for (const SAlertKind& kind : plan->kinds)
    fresh.push_back(ReadJsonCount(answer, kind.counterKey));

  // Alerts are raised in the order of their kinds.
  std::vector<size_t> order(plan->kinds.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return plan->kinds[a].kind < plan->kinds[b].kind; });
  for (size_t i : order) {
    int& last = m_lastSeen[i];
    if (fresh[i] > last && last != -1 && session.AlertTicked(plan->kinds[i].gate))
      session.Alert(plan->kinds[i].kind, Increase(fresh[i], last));
    last = fresh[i];
  }
}

void StartPolling(CSession& session) {
  for (const SServiceRow* row : ServiceRows()) {
    if (!row->poll) continue;
    session.StartWorker([&session, row] {
      CPollWorker worker(*row);
      do {
        worker.PollOnce(session);
      } while (session.Sleep(worker.NextSleepMs()));
    });
  }
}

int PollIntervalMs(int defaultMs) {
  const char* text = std::getenv("PLUMFINCH_POLL_INTERVAL_MS");
  if (!text || !*text) return defaultMs;
  int64_t value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return defaultMs;
    value = value * 10 + (*p - '0');
    if (value > INT_MAX) return defaultMs;
  }
  return value > 0 ? int(value) : defaultMs;
}

// ---- alerts ----

bool DescribeServiceAlert(int kind, long long count, const CSession& session,
                          SAlertContent& content) {
  const SServiceRow* row = nullptr;
  const SAlertKind* alert = FindAlertKind(kind, &row);
  if (!alert) return false;
  content.title = alert->title;
  content.text = {alert->text, {TextValue(std::to_string(count))}};
  if (alert->part == EAccountPart::Server) {
    const SAccountSnapshot account = session.Account(*row);
    content.url = "https://" + account.server + alert->page.path + alert->pathAfter;
    return !account.server.empty();
  }
  std::string part;
  if (alert->part != EAccountPart::None) {
    const SAccountSnapshot account = session.Account(*row);
    // Percent-encoded, so an odd name stays one path segment (or one query value).
    part = qwblog::PercentEncode(alert->part == EAccountPart::Name ? account.name : account.userId);
  }
  content.url = EndpointAddress(alert->page, part + alert->pathAfter);
  return true;
}
