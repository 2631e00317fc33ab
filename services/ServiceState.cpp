// The shared state of the service model, under its one lock.
#include "services/ServiceState.h"

#include <cstdint>

#include "settings/Profile.h"

CServiceState::CServiceState(size_t services) : m_accounts(services) {}

SAccountSnapshot CServiceState::Account(EService service) const {
  const size_t i = static_cast<size_t>(service);
  std::lock_guard<std::mutex> lock(m_lock);
  return i < m_accounts.size() ? m_accounts[i] : SAccountSnapshot{};
}

void CServiceState::SetAccount(EService service, const SAccountSnapshot& account) {
  const size_t i = static_cast<size_t>(service);
  std::lock_guard<std::mutex> lock(m_lock);
  if (i < m_accounts.size()) m_accounts[i] = account;
}

void CServiceState::CommitBinding(EService service, const SPendingAccount& pending) {
  SetAccount(service, {true, pending.accessToken, pending.accessSecret, pending.name,
                       pending.userId, pending.server});
}

void CServiceState::RestoreAccounts(const std::vector<const SServiceRow*>& rows) {
  for (const SServiceRow* row : rows) {
    const std::string prefix = row->keyPrefix;
    auto text = [&](const char* key) {
      return ProfileString(false, (prefix + key).c_str(), "", "", 256);
    };
    SAccountSnapshot account;
    account.accessToken = text("AccessToken");
    account.accessSecret = text("AccessSecret");
    if (row->storesUserId) account.userId = text("UserID");
    if (row->own) account.server = text("Server");
    account.name = text("Name");
    account.bound = !account.name.empty();
    SetAccount(row->id, account);
  }
}

CProxySettings CServiceState::Proxy() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_proxy;
}

void CServiceState::SetProxy(const CProxySettings& proxy) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_proxy = proxy;
  m_proxy.address = static_cast<uint32_t>(proxy.address);  // the settings keep 32 bits
}

std::string CServiceState::ClientIp() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_clientIp;
}

void CServiceState::SetClientIp(const std::string& ip) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_clientIp = ip;
}
