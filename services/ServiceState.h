// The state the user-interface thread and the workers share: one account record per
// service, the proxy choice and the machine's public address. One lock guards all of
// it; every access goes through a member function that takes it, so a reader always
// sees a whole account, never half of a binding.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "net/ServiceRequest.h"
#include "services/ServiceTable.h"

class CServiceState {
 public:
  // Records for services 0 .. services-1 (tests add a service of their own).
  explicit CServiceState(size_t services = kServiceCount);

  // A copy of the account record; an empty, unbound one for an unknown service.
  SAccountSnapshot Account(EService service) const;
  // Replaces the account record (restoring from the settings, tests).
  void SetAccount(EService service, const SAccountSnapshot& account);
  // The end of a successful binding: the run's values become the account, bound. A run
  // that fails never calls it, so a failed re-binding keeps the account it replaces.
  void CommitBinding(EService service, const SPendingAccount& pending);
  // Reads every row's account keys from the settings file. An account counts as bound
  // exactly when its display name is stored.
  void RestoreAccounts(const std::vector<const SServiceRow*>& rows);

  CProxySettings Proxy() const;
  void SetProxy(const CProxySettings& proxy);
  std::string ClientIp() const;
  void SetClientIp(const std::string& ip);

 private:
  mutable std::mutex m_lock;
  std::vector<SAccountSnapshot> m_accounts;  // indexed by EService
  CProxySettings m_proxy;
  std::string m_clientIp;
};
