// The flows that run a service row: binding an account, posting a status, polling the
// counters and describing an alert. They reach the world only through SServiceIo, so
// the window supplies message boxes, the browser and its request path, and tests supply
// fakes.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "services/ServiceState.h"
#include "services/ServiceTable.h"

struct SServiceIo {
  // One service request: the body as text, "" when it failed.
  std::function<std::string(const std::string& url, EHttpMethod method, const CWeiboParam& params,
                            bool twitterProxy)>
      request;
  std::function<void(const std::string& line)> log;         // a status log line
  std::function<void(const std::string& text)> messageBox;  // waits until dismissed
  // Opens the authorisation page and returns the code the user typed ("" cancelled).
  std::function<std::string(const std::string& url)> askCode;
  std::function<void(const std::string& name)> showName;  // the account's label
  std::function<bool(EAlertGate gate)> alertTicked;       // polling: is the option ticked
  std::function<void(int kind, int count)> alert;         // polling: a counter grew
  std::function<bool()> closing;                          // polling: the program is ending
  // A bearer-token request (Mastodon), with the proxy in effect and the closing flag.
  std::function<SHttpAnswer(const SHttpRequest& request)> http;
  // Asks for a Mastodon server, offering suggested; the text typed, "" when cancelled.
  std::function<std::string(const std::string& suggested)> askServer;
  // Waits ms milliseconds; false at once when the program is ending.
  std::function<bool(int ms)> sleep;
};

// ---- binding ----

// One binding run of the row: logs its start, gets a request token, asks for the code,
// exchanges it for the access pair, asks for the account's name where the service needs
// that, then shows the name, writes the account keys (user id before name) and commits
// the account. Every failing step shows its message box (a cancelled code shows none)
// and logs "绑定失败!"; the account then stays as it was. True when bound.
bool BindAccount(const SServiceRow& row, CServiceState& state, const SServiceIo& io);

// The frame every binding shares, whatever its steps: the start line, then either the
// failed run's message box (none when its error is "") and "绑定失败!", or the commit
// and "绑定成功(name)!". TRun has Run(), Complete(state), error and pending.
template <class TRun>
bool RunBinding(const SServiceRow& row, CServiceState& state, const SServiceIo& io, TRun&& run) {
  io.log(row.bind.startLine);
  if (!run.Run()) {
    if (!run.error.empty()) io.messageBox(run.error);
    io.log("绑定失败!");
    return false;
  }
  run.Complete(state);
  io.log("绑定成功(" + run.pending.name + ")!");
  return true;
}

// ---- posting ----

// One posting request, ready to send (always a POST).
struct SPostRequest {
  std::string url;
  CWeiboParam params;
  bool isTwitter = false;
};
// The posting request of a row. params already hold the consumer and access pairs; the
// service's own parameters follow them, then the picture as file "pic" when the
// service takes one. clientIp is used where the row says so.
SPostRequest MakePostRequest(const SServiceRow& row, CWeiboParam params, const std::string& text,
                             const std::string& picture, const std::string& clientIp);
SPostRequest MakePostRequest(EService service, CWeiboParam params, const std::string& text,
                             const std::string& picture, const std::string& clientIp);

// The outcome of a posting answer ("" when the request failed) and the status-log lines
// that report it, in order (the "sending" line is not among them).
struct SPostOutcome {
  bool accepted = false;
  std::vector<std::string> lines;
};
SPostOutcome ReadPostAnswer(const SServiceRow& row, const std::string& response);
SPostOutcome ReadPostAnswer(EService service, const std::string& response);

// Whether the status may go to the row's service (a service with limits of its own asks
// its server); false with the message to show. Checked for every ticked service before
// anything is posted.
bool CheckPost(const SServiceRow& row, const CServiceState& state, const SServiceIo& io,
               const std::string& text, std::string& message);
// Posts one status to the row's account and logs the start and the outcome.
bool PostStatus(const SServiceRow& row, const CServiceState& state, const SServiceIo& io,
                const std::string& text, const std::string& picture);

// ---- polling ----

// One polling worker's own state: the row it polls and the counters it saw last.
class CPollWorker {
 public:
  explicit CPollWorker(const SServiceRow& row);
  // One cycle: asks the service when an alert option is ticked and the account is bound,
  // and compares every counter of a valid answer with the value seen before. A counter
  // without a baseline only sets one; a drop only lowers it; a rise while its option
  // is unticked is absorbed.
  void PollOnce(const CServiceState& state, const SServiceIo& io);
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

// Milliseconds between two polls: defaultMs, or the value of the environment variable
// PLUMFINCH_POLL_INTERVAL_MS when that holds a positive decimal number that fits an int.
int PollIntervalMs(int defaultMs);

// ---- alerts ----

struct SAlertContent {
  std::string title, text, url;
};
// The caption, message (count filled in) and address of an alert kind; false for a kind
// no row knows. The account's name or user id completes some addresses; it is
// percent-encoded so that it stays one path segment or query value.
bool DescribeServiceAlert(int kind, long long count, const CServiceState& state,
                          SAlertContent& content);
