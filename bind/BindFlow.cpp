// Binding: the frame every binding shares, and the three-legged OAuth 1.0 flow with an
// out-of-band verifier, run over a service row. The request token, its secret and the
// verifier live only in the run; the access pair, name and user id are pending until the
// run succeeds, and only then become the account (CSession::CommitBinding).
#include "bind/BindFlow.h"

#include "net/TextOps.h"
#include "settings/Profile.h"

namespace {

const char* const kUserInfoFailed = "获取用户信息失败";

// A run of one binding: what it has obtained so far, and why it stopped.
struct SBindRun {
  const SServiceRow& row;
  CSession& session;
  std::string requestToken, requestSecret, verifier;
  SPendingAccount pending;
  SUserText error;  // message box text of a failed step; empty when none is shown

  std::string Request(const SEndpoint& endpoint, EHttpMethod method, const CWeiboParam& params,
                      const std::string& tail = "") const {
    return session.Request(EndpointAddress(endpoint, tail), method, params, row.proxyPicked);
  }

  // Step 1: the request token, signed with the consumer pair only.
  bool GetRequestToken() {
    const SBindPlan& plan = row.bind;
    CWeiboParam params;
    AddConsumerParams(row, params);
    if (plan.callback) params.AddParam(PARAM_OAUTH_CALLBACK, plan.callback);
    const std::string answer = Request(plan.requestToken, EHttpMethod_Get, params);
    if (answer.empty()) {
      error = plan.requestFailed;
      return false;
    }
    // A service that confirms the out-of-band callback must say exactly "true"; the
    // others must send both halves of the pair.
    if (plan.callbackConfirmation && GetQueryValue(answer, "oauth_callback_confirmed") != "true") {
      error = {plan.requestRefused, {TextValue(answer)}};
      return false;
    }
    requestToken = GetQueryValue(answer, "oauth_token");
    requestSecret = GetQueryValue(answer, "oauth_token_secret");
    if (plan.callbackConfirmation || (!requestToken.empty() && !requestSecret.empty())) return true;
    error = {plan.requestRefused, {TextValue(answer)}};
    return false;
  }

  // Step 2: the authorisation page in the browser, then the code the user types. The
  // token goes into the address as received, not encoded.
  bool Authorize() {
    session.OpenCodePage(EndpointAddress(row.bind.authorize, "?oauth_token=" + requestToken));
    verifier = session.AskCode();
    return !verifier.empty();
  }

  // Step 3: the access pair, and what else the answer says of the account.
  bool GetAccessToken() {
    const SBindPlan& plan = row.bind;
    CWeiboParam params;
    AddConsumerParams(row, params);
    params.AddParam(QWB_TOKEN_KEY, requestToken.c_str());
    params.AddParam(QWB_TOKEN_SECRET, requestSecret.c_str());
    params.AddParam(PARAM_OAUTH_VERIFIER, verifier.c_str());
    const std::string answer = Request(plan.accessToken, plan.accessMethod, params);
    if (answer.empty()) {
      error = plan.accessFailed;
      return false;
    }
    pending.accessToken = GetQueryValue(answer, "oauth_token");
    pending.accessSecret = GetQueryValue(answer, "oauth_token_secret");
    if (plan.accessUserIdKey) pending.userId = GetQueryValue(answer, plan.accessUserIdKey);
    if (plan.accessNameKey) pending.name = GetQueryValue(answer, plan.accessNameKey);
    if (!pending.accessToken.empty() && !pending.accessSecret.empty()) return true;
    error = {plan.accessRefused, {TextValue(answer)}};
    return false;
  }

  // Step 4 where the service has it: the account's name (and id), signed with the access
  // pair this run has just obtained. Only a required step can fail the run.
  bool GetUserInfo() {
    const SBindPlan& plan = row.bind;
    if (!plan.readUserInfo) return true;
    CWeiboParam params;
    AddAccountParams(row, params, pending.accessToken, pending.accessSecret);
    const std::string answer = Request(plan.userInfo, plan.userInfoMethod, params);
    if (plan.readUserInfo(answer, pending)) return true;
    if (!plan.userInfoRequired) return true;
    error = kUserInfoFailed;
    return false;
  }

  bool Run() {
    if (!GetRequestToken()) return false;
    if (!Authorize()) return false;  // cancelled: no message box
    return GetAccessToken() && GetUserInfo();
  }

  // The account's keys in their fixed order: user id before name.
  std::vector<std::pair<std::string, std::string>> Keys() const {
    const std::string prefix = row.keyPrefix;
    std::vector<std::pair<std::string, std::string>> keys = {
        {prefix + "AccessToken", pending.accessToken},
        {prefix + "AccessSecret", pending.accessSecret}};
    if (row.storesUserId) keys.emplace_back(prefix + "UserID", pending.userId);
    keys.emplace_back(prefix + "Name", pending.name);
    return keys;
  }
};

}  // namespace

SBindOutcome RunOAuthBinding(const SServiceRow& row, CSession& session) {
  SBindRun run{row, session, {}, {}, {}, {}, {}};
  return RunBindingSteps(run);
}

bool BindAccount(CSession& session, const SServiceRow& row) {
  session.Log(row.bind.startLine);
  const SBindOutcome outcome =
      row.own && row.own->bind ? row.own->bind(row, session) : RunOAuthBinding(row, session);
  if (!outcome.bound) {
    if (!outcome.error.empty()) session.ShowMessage(outcome.error);
    session.Log("绑定失败!");
    return false;
  }
  // The account's keys go into the settings in one replace: all of them or none. Only
  // then does the label show the name and the account take the run's values, so a
  // binding that could not be kept is reported as failed and the old account stays.
  SUserText why;
  if (!ProfileWriteStrings(outcome.keys, &why)) {
    session.ShowMessage({"绑定信息无法保存到设置文件!\r\n\r\n失败原因:%1", {why}});
    session.Log("绑定失败!");
    return false;
  }
  session.ShowName(row, outcome.pending.name);
  session.CommitBinding(row, outcome.pending);
  session.Log({"绑定成功(%1)!", {TextValue(outcome.pending.name)}});
  return true;
}
