// Background polling and what an alert says: one worker per polled service keeps what it
// saw last and puts an alert into the session's outbox for every counter that grew
// while its alert option is ticked; the window shows each in a popup, described here.
// No window.
#pragma once
#include <string>
#include <vector>

#include "services/Session.h"

// One polling worker's own state: the row it polls and the counters it saw last.
class CPollWorker {
 public:
  explicit CPollWorker(const SServiceRow& row);
  // One cycle: asks the service when an alert option is ticked and the account is bound,
  // and compares every counter of a valid answer with the value seen before. A counter
  // without a baseline only sets one; a drop only lowers it; a rise while its option
  // is unticked is absorbed.
  void PollOnce(CSession& session);
  // The interval between cycles (PLUMFINCH_POLL_INTERVAL_MS may shorten it).
  int IntervalMs() const;
  int LastSeen(size_t counter) const { return m_lastSeen.at(counter); }
  // The wait before the next cycle: the interval, or the pause the service asked for.
  int NextSleepMs();
  const SPollCursor& Cursor() const { return m_cursor; }

 private:
  const SServiceRow& m_row;
  std::string m_url;            // taken once, when the worker starts
  std::vector<int> m_lastSeen;  // -1: no baseline yet
  SPollCursor m_cursor;         // a service with its own polling
};

// Starts one worker for each polled row of the registry; each polls until the session
// closes.
void StartPolling(CSession& session);

// Milliseconds between two polls: defaultMs, or the value of the environment variable
// PLUMFINCH_POLL_INTERVAL_MS when that holds a positive decimal number that fits an int.
int PollIntervalMs(int defaultMs);

struct SAlertContent {
  std::string title;  // a source text
  SUserText text;     // the count as its argument
  std::string url;
};
// The caption, message (the count its argument) and address of an alert kind; false for a kind
// no row knows. The account's name or user id completes some addresses; it is
// percent-encoded so that it stays one path segment or query value.
bool DescribeServiceAlert(int kind, long long count, const CSession& session,
                          SAlertContent& content);
