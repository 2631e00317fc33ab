// CSession: the running program's service side, without a window. It owns the account
// records (one lock), the request path (proxy, closing flag, abort), the worker threads
// and the outbox: what happened, for the window to show. The flows (bind/, post/,
// notify/) run over it and reach the window only through the outbox and the small
// IWindowPort the window lends once, at start.
#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "net/ServiceRequest.h"
#include "net/UserText.h"
#include "services/ServiceRow.h"

// A sign-in with a server, an account and a password, asked in one dialog whose texts
// all come from the service's row.
struct SSignInForm {
  std::string title;
  std::string serverLabel, server;    // the field's label and the server it offers
  std::string accountLabel, account;  // the account it offers ("" for none)
  std::string passwordLabel;          // a masked field
  std::string linkCaption, linkUrl;   // a button that opens an address in the browser
  // The shape a password should have ('x' a letter or digit, anything else itself); one
  // of another shape gets the warning once, and OK again goes on with it. "" for none.
  std::string passwordPattern, passwordWarning;
};
// What the user typed; ok false when the dialog was cancelled.
struct SSignInAnswer {
  bool ok = false;
  std::string server, account, password;
};

// What only the window can do for the flows. Every call may come from any thread; the
// window runs it on its own thread and answers when it is done.
class IWindowPort {
 public:
  virtual ~IWindowPort() = default;
  // The verification-code dialog: the code typed, "" when cancelled.
  virtual std::string AskCode() = 0;
  // The server dialog, offering suggested: the text typed, "" when cancelled.
  virtual std::string AskServer(const std::string& suggested) = 0;
  // The sign-in dialog the form describes.
  virtual SSignInAnswer AskSignIn(const SSignInForm& form) = 0;
  // A message box; returns when it is dismissed (or the window closes). The window
  // translates the text.
  virtual void ShowMessage(const SUserText& text) = 0;
  // Opens an address in the browser; false when no browser could be opened.
  virtual bool OpenBrowser(const std::string& url) = 0;
  // The outbox has something new: drain it on the window's thread.
  virtual void Wake() = 0;
};

// One piece of news for the window.
struct SOutboxItem {
  enum class EKind {
    Log,       // text: a status log line (the window translates it)
    Name,      // row, text: the label of the row's account (a value)
    Alert,     // alertKind, count: a counter grew
    SendDone,  // the send worker has ended
    BindDone,  // the binding worker has ended
  };
  EKind kind = EKind::Log;
  SUserText text{};
  const SServiceRow* row = nullptr;
  int alertKind = 0;
  long long count = 0;
};

class CSession {
 public:
  CSession();
  virtual ~CSession();  // stops the workers
  CSession(const CSession&) = delete;
  CSession& operator=(const CSession&) = delete;

  // The window's side; set once before any flow runs (tests set a fake).
  // Set to null when the window goes while a worker it could not wait for still runs.
  void SetWindowPort(IWindowPort* port) { m_port = port; }
  IWindowPort* WindowPort() const { return m_port; }

  // ---- accounts ----
  // A copy of the row's account record; an empty, unbound one before any is set.
  SAccountSnapshot Account(const SServiceRow& row) const;
  void SetAccount(const SServiceRow& row, const SAccountSnapshot& account);
  // The end of a successful binding: the run's values become the account, bound. A run
  // that fails never calls it, so a failed re-binding keeps the account it replaces.
  void CommitBinding(const SServiceRow& row, const SPendingAccount& pending);
  // Reads the rows' account keys from the settings file. An account counts as bound
  // exactly when its display name is stored.
  void RestoreAccounts(const std::vector<const SServiceRow*>& rows);

  // ---- what the window's boxes say (kept here by the window as they change) ----
  bool AlertTicked(EAlertGate gate) const;
  void SetAlertTicked(EAlertGate gate, bool ticked);
  bool SendTicked(const SServiceRow& row) const;
  void SetSendTicked(const SServiceRow& row, bool ticked);

  // ---- the request path ----
  CProxySettings Proxy() const;
  void SetProxy(const CProxySettings& proxy);
  std::string ClientIp() const;
  void SetClientIp(const std::string& ip);
  // One signed service request with the proxy in effect (taken once, at the start; the
  // picked service's scope when proxyPicked): the body as text, "" when it failed. Given up when
  // the session closes. (Virtual, like Http and Sleep, so that a test can stand in for the network
  // and time.)
  virtual std::string Request(const std::string& url, EHttpMethod method, CWeiboParam params,
                              bool proxyPicked);
  // The same request with its whole outcome: the status and body of any answer, or why
  // none arrived.
  virtual SHttpAnswer SignedRequest(const std::string& url, EHttpMethod method, CWeiboParam params,
                                    bool proxyPicked);
  // One bearer-token request, the same way.
  virtual SHttpAnswer Http(SHttpRequest request);

  // ---- what the flows tell and ask ----
  void Log(const SUserText& line);
  void ShowName(const SServiceRow& row, const std::string& name);
  void Alert(int kind, long long count);
  void SendDone();
  void BindDone();
  // Everything queued since the last call, in order (the window's thread).
  std::vector<SOutboxItem> TakeOutbox();
  // Through the window port; without one a question is cancelled and a message lost.
  void ShowMessage(const SUserText& text);
  std::string AskCode();
  std::string AskServer(const std::string& suggested);
  SSignInAnswer AskSignIn(const SSignInForm& form);
  bool OpenBrowser(const std::string& url);
  // Opens the page that shows a verification code; where no browser can be opened, a
  // message box says so and shows the address, to be copied into a browser by hand.
  void OpenCodePage(const std::string& url);

  // ---- workers and closing ----
  // Starts a detached thread running fn; the session waits for it when it stops.
  void StartWorker(std::function<void()> fn);
  // Waits ms milliseconds; false (at once) when the session is closing.
  virtual bool Sleep(int ms);
  bool IsClosing() const { return m_closing.load(); }
  // The closing flag, for waits that must give up with it.
  const std::atomic<bool>* ClosingFlag() const { return &m_closing; }
  // Raises the closing flag: running requests are aborted, sleeping workers wake.
  void BeginClosing();
  // BeginClosing, then waits until every worker has ended, or for at most waitMs
  // milliseconds when waitMs >= 0. False when a worker was still running then.
  bool StopWorkers(int waitMs = -1);
  int LiveWorkers() const;

 private:
  std::atomic<IWindowPort*> m_port{nullptr};
  mutable std::mutex m_lock;  // accounts, boxes, proxy, public address, outbox
  std::map<const SServiceRow*, SAccountSnapshot> m_accounts;
  std::map<const SServiceRow*, bool> m_sendTicked;
  bool m_alertTicked[kAlertGateCount] = {};
  CProxySettings m_proxy;
  std::string m_clientIp;
  std::vector<SOutboxItem> m_outbox;

  std::atomic<bool> m_closing{false};
  mutable std::mutex m_workersLock;
  std::condition_variable m_workersCv;
  int m_liveWorkers = 0;

  void Queue(SOutboxItem item);
};
