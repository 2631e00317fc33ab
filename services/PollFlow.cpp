// Polling over a service row: one worker per polled service keeps the counters it saw
// last and raises an alert for every counter that grew while its option is ticked.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <numeric>

#include "services/Readers.h"
#include "services/ServiceFlows.h"

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
      m_url(row.poll ? RowAddress(row, row.poll->endpoint) : std::string()),
      m_lastSeen(row.poll ? row.poll->kinds.size() : 0, -1) {}

int CPollWorker::IntervalMs() const {
  return PollIntervalMs(m_row.poll ? m_row.poll->intervalMs : 45000);
}

int CPollWorker::NextSleepMs() {
  const int ms = m_cursor.nextDelayMs >= 0 ? m_cursor.nextDelayMs : IntervalMs();
  m_cursor.nextDelayMs = -1;
  return ms;
}

void CPollWorker::PollOnce(const CServiceState& state, const SServiceIo& io) {
  if (m_row.own && m_row.own->poll) return m_row.own->poll(m_row, state, io, m_cursor);
  const SPollPlan* plan = m_row.poll;
  if (!plan) return;
  if (!io.alertTicked(EAlertGate::AtMe) && !io.alertTicked(EAlertGate::Following) &&
      !io.alertTicked(EAlertGate::Fans))
    return;
  // The account as it is now: a binding made after start-up is polled with its new tokens.
  const SAccountSnapshot account = state.Account(m_row.id);
  if (!account.bound) return;

  CWeiboParam params;
  AddAccountParams(m_row, params, account.accessToken, account.accessSecret);
  for (const auto& [name, value] : plan->fixedParams) params.AddParam(name, value);
  const std::string answer = io.request(m_url, EHttpMethod_Get, params, m_row.twitterProxy);
  if (io.closing() || !plan->isValid(answer)) return;

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
    if (fresh[i] > last && last != -1 && io.alertTicked(plan->kinds[i].gate))
      io.alert(plan->kinds[i].kind, Increase(fresh[i], last));
    last = fresh[i];
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
