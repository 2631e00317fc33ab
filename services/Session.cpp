// The session: account records, boxes, proxy and public address under one lock, the
// request path, the outbox and the workers.
#include "services/Session.h"

#include <chrono>
#include <cstdint>
#include <thread>

#include "settings/Profile.h"

CSession::CSession() = default;

CSession::~CSession() { StopWorkers(); }

// ---- accounts ----

SAccountSnapshot CSession::Account(const SServiceRow& row) const {
  std::lock_guard<std::mutex> lock(m_lock);
  const auto it = m_accounts.find(&row);
  return it != m_accounts.end() ? it->second : SAccountSnapshot{};
}

void CSession::SetAccount(const SServiceRow& row, const SAccountSnapshot& account) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_accounts[&row] = account;
}

void CSession::CommitBinding(const SServiceRow& row, const SPendingAccount& pending) {
  SetAccount(row, {true, pending.accessToken, pending.accessSecret, pending.name, pending.userId,
                   pending.server});
}

void CSession::RestoreAccounts(const std::vector<const SServiceRow*>& rows) {
  for (const SServiceRow* row : rows) {
    if (row->own && row->own->restore) {
      SetAccount(*row, row->own->restore(*row));
      continue;
    }
    const std::string prefix = row->keyPrefix;
    auto text = [&](const char* key) {
      return ProfileString(false, (prefix + key).c_str(), "", "", 256);
    };
    SAccountSnapshot account;
    account.accessToken = text("AccessToken");
    account.accessSecret = text("AccessSecret");
    if (row->storesUserId) account.userId = text("UserID");
    if (row->storesServer) account.server = text("Server");
    account.name = text("Name");
    account.bound = !account.name.empty();
    SetAccount(*row, account);
  }
}

// ---- boxes ----

bool CSession::AlertTicked(EAlertGate gate) const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_alertTicked[static_cast<int>(gate)];
}

void CSession::SetAlertTicked(EAlertGate gate, bool ticked) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_alertTicked[static_cast<int>(gate)] = ticked;
}

bool CSession::SendTicked(const SServiceRow& row) const {
  std::lock_guard<std::mutex> lock(m_lock);
  const auto it = m_sendTicked.find(&row);
  return it != m_sendTicked.end() && it->second;
}

void CSession::SetSendTicked(const SServiceRow& row, bool ticked) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_sendTicked[&row] = ticked;
}

// ---- the request path ----

CProxySettings CSession::Proxy() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_proxy;
}

void CSession::SetProxy(const CProxySettings& proxy) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_proxy = proxy;
  m_proxy.address = static_cast<uint32_t>(proxy.address);  // the settings keep 32 bits
}

std::string CSession::ClientIp() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_clientIp;
}

void CSession::SetClientIp(const std::string& ip) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_clientIp = ip;
}

std::string CSession::Request(const std::string& url, EHttpMethod method, CWeiboParam params,
                              bool proxyPicked) {
  params.SetAbortFlag(&m_closing);
  return ExecuteServiceRequest(url, method, std::move(params), proxyPicked, Proxy());
}

SHttpAnswer CSession::SignedRequest(const std::string& url, EHttpMethod method, CWeiboParam params,
                                    bool proxyPicked) {
  params.SetAbortFlag(&m_closing);
  return ExecuteSignedRequest(url, method, std::move(params), proxyPicked, Proxy());
}

SHttpAnswer CSession::Http(SHttpRequest request) {
  request.params.SetAbortFlag(&m_closing);
  return ExecuteBearerRequest(std::move(request), Proxy());
}

// ---- the outbox and the window port ----

void CSession::Queue(SOutboxItem item) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_outbox.push_back(std::move(item));
  }
  if (IWindowPort* port = m_port) port->Wake();
}

void CSession::Log(const SUserText& line) { Queue({SOutboxItem::EKind::Log, line}); }

void CSession::ShowName(const SServiceRow& row, const std::string& name) {
  Queue({SOutboxItem::EKind::Name, TextValue(name), &row});
}

void CSession::Alert(int kind, long long count) {
  Queue({SOutboxItem::EKind::Alert, {}, nullptr, kind, count});
}

void CSession::SendDone() { Queue({SOutboxItem::EKind::SendDone}); }

void CSession::BindDone() { Queue({SOutboxItem::EKind::BindDone}); }

std::vector<SOutboxItem> CSession::TakeOutbox() {
  std::lock_guard<std::mutex> lock(m_lock);
  std::vector<SOutboxItem> items;
  items.swap(m_outbox);
  return items;
}

void CSession::ShowMessage(const SUserText& text) {
  if (IWindowPort* port = m_port) port->ShowMessage(text);
}

std::string CSession::AskCode() {
  IWindowPort* port = m_port;
  return port ? port->AskCode() : std::string();
}

std::string CSession::AskServer(const std::string& suggested) {
  IWindowPort* port = m_port;
  return port ? port->AskServer(suggested) : std::string();
}

SSignInAnswer CSession::AskSignIn(const SSignInForm& form) {
  IWindowPort* port = m_port;
  return port ? port->AskSignIn(form) : SSignInAnswer();
}

bool CSession::OpenBrowser(const std::string& url) {
  IWindowPort* port = m_port;
  return port && port->OpenBrowser(url);
}

void CSession::OpenCodePage(const std::string& url) {
  if (OpenBrowser(url)) return;
  ShowMessage(
      {"无法打开浏览器。\r\n\r\n请复制下面的地址，在浏览器中打开，"
       "再把网页上显示的验证码填入下一个对话框:\r\n\r\n%1",
       {TextValue(url)}});
}

// ---- workers ----

void CSession::StartWorker(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(m_workersLock);
    ++m_liveWorkers;
  }
  std::thread([this, fn = std::move(fn)] {
    fn();
    // Last touch of the session: its destructor cannot finish before this unlock.
    std::lock_guard<std::mutex> lock(m_workersLock);
    --m_liveWorkers;
    m_workersCv.notify_all();
  }).detach();
}

bool CSession::Sleep(int ms) {
  std::unique_lock<std::mutex> lock(m_workersLock);
  return !m_workersCv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return IsClosing(); });
}

void CSession::BeginClosing() {
  std::lock_guard<std::mutex> lock(m_workersLock);
  m_closing = true;
  m_workersCv.notify_all();
}

bool CSession::StopWorkers(int waitMs) {
  std::unique_lock<std::mutex> lock(m_workersLock);
  m_closing = true;
  m_workersCv.notify_all();
  const auto ended = [this] { return m_liveWorkers == 0; };
  if (waitMs < 0) {
    m_workersCv.wait(lock, ended);
    return true;
  }
  return m_workersCv.wait_for(lock, std::chrono::milliseconds(waitMs), ended);
}

int CSession::LiveWorkers() const {
  std::lock_guard<std::mutex> lock(m_workersLock);
  return m_liveWorkers;
}
