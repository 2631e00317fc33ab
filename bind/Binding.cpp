// Account binding: the three-legged OAuth 1.0 flow with an out-of-band verifier, once
// per service. Each chain gets a request token, opens the service's authorisation page
// in the browser, takes the code the user types into CVerifyCodeDlg, exchanges it for
// an access token (Sina and Sohu then ask for the account's name), shows the name,
// stores the keys and marks the account bound. Everything runs on the user-interface
// thread, one blocking request after another.
//
// A run works on values of its own: the request token, its secret and the verifier go
// to the account's working members, while the new access pair, name and user id are
// held as pending values of the run (m_pendingAccount). Only a successful run hands them to the account
// members, under the window's lock and together with the bound flag, so a failed
// re-binding leaves the bound account intact and workers never see half an account.

#include "app/MainDlg.h"
#include "bind/VerifyCodeDlg.h"
#include "net/ServiceHosts.h"
#include "net/TextOps.h"
#include "platform/Shell.h"
#include "res/Resource.h"
#include "settings/Profile.h"

namespace {

// Texts of the binding flows, shared by the four services.
const char* const kLogBound = "绑定成功(";
const char* const kLogBoundEnd = ")!";
const char* const kLogFailed = "绑定失败!";
const char* const kRequestTokenFailed = "获取Request_Token失败!";
const char* const kRequestTokenRefused = "获取Request_Token失败!\r\n\r\n失败原因:";
const char* const kTencentRequestTokenRefused = "获取Request_Token!\r\n\r\n失败原因:";
const char* const kAccessTokenFailed = "获取AccessToken失败!";
const char* const kAccessTokenRefused = "获取Access_Token失败!\r\n\r\n失败原因:";
const char* const kTwitterRequestTokenFailed = "获取Request Token失败!";
const char* const kTwitterAccessTokenFailed = "获取Access Token失败!";
const char* const kUserInfoFailed = "获取用户信息失败";

// JSON members read as quoted strings: the text between the first pair of double
// quotes after the key, escapes left as they are.
const char* const kJsonScreenName = "\"screen_name\":";
const char* const kJsonId = "\"id\":";
const char* const kQuote = "\"";

// The values a binding run has obtained so far (the window keeps one set per service).
SPendingAccount& Pending(CMainDlg* dlg, EService service) {
  return dlg->m_pendingAccount[static_cast<int>(service)];
}

// The account members of one service and where it is shown and stored.
struct SAccountMembers {
  bool* bound;
  std::string* accessToken;
  std::string* accessSecret;
  std::string* name;
  std::string* userId;  // null for Tencent, which has none
  int label;
  const char* keyPrefix;
};

// clang-format off
SAccountMembers AccountMembers(CMainDlg* dlg, EService service) {
  switch (service) {
    case EService::Tencent:
      return {&dlg->m_bQQBound, &dlg->m_strQQAccessToken, &dlg->m_strQQAccessSecret,
              &dlg->m_strQQName, nullptr, IDC_TENCENT_NAME, "QQ"};
    case EService::Sina:
      return {&dlg->m_bSinaBound, &dlg->m_strSinaAccessToken, &dlg->m_strSinaAccessSecret,
              &dlg->m_strSinaName, &dlg->m_strSinaUserID, IDC_SINA_NAME, "Sina"};
    case EService::Sohu:
      return {&dlg->m_bSohuBound, &dlg->m_strSohuAccessToken, &dlg->m_strSohuAccessSecret,
              &dlg->m_strSohuName, &dlg->m_strSohuUserID, IDC_SOHU_NAME, "Sohu"};
    case EService::Twitter:
      break;
  }
  return {&dlg->m_bTwitterBound, &dlg->m_strTwitterAccessToken, &dlg->m_strTwitterAccessSecret,
          &dlg->m_strTwitterName, &dlg->m_strTwitterUserID, IDC_TWITTER_NAME, "Twitter"};
}
// clang-format on

// The end of a successful run: the label shows the name, the account keys are written
// in their fixed order (user id before name), and the account members take the run's
// values together with the bound flag.
void CompleteBinding(CMainDlg* dlg, EService service) {
  const SPendingAccount pending = Pending(dlg, service);
  const SAccountMembers account = AccountMembers(dlg, service);
  const std::string prefix = account.keyPrefix;
  dlg->SetDlgItemText(account.label, pending.name);
  ProfileString(true, (prefix + "AccessToken").c_str(), pending.accessToken, "", 256);
  ProfileString(true, (prefix + "AccessSecret").c_str(), pending.accessSecret, "", 256);
  if (account.userId) ProfileString(true, (prefix + "UserID").c_str(), pending.userId, "", 256);
  ProfileString(true, (prefix + "Name").c_str(), pending.name, "", 256);
  auto lock = dlg->LockShared();
  *account.accessToken = pending.accessToken;
  *account.accessSecret = pending.accessSecret;
  *account.name = pending.name;
  if (account.userId) *account.userId = pending.userId;
  *account.bound = true;
}

// The consumer pair, the request token pair and the verifier of an access-token call.
CWeiboParam AccessTokenParams(EService service, const std::string& requestToken,
                              const std::string& requestSecret, const std::string& verifier) {
  CWeiboParam params;
  AddConsumerKeyParams(service, params);
  params.AddParam(PARAM_TOKEN_KEY, requestToken.c_str());
  params.AddParam(PARAM_TOKEN_SECRET, requestSecret.c_str());
  params.AddParam(PARAM_OAUTH_VERIFIER, verifier.c_str());
  return params;
}

// Step 1 of Sina and Sohu: the consumer pair only; both halves of the pair must come.
bool RequestTokenByPair(CMainDlg* dlg, EService service, const std::string& url, std::string& token,
                        std::string& secret) {
  CWeiboParam params;
  AddConsumerKeyParams(service, params);
  const std::string answer = dlg->SendServiceRequest(url, EHttpMethod_Get, params, false);
  if (answer.empty()) {
    dlg->m_strLastError = kRequestTokenFailed;
    return false;
  }
  token = GetQueryValue(answer, "oauth_token");
  secret = GetQueryValue(answer, "oauth_token_secret");
  if (!token.empty() && !secret.empty()) return true;
  dlg->m_strLastError = kRequestTokenRefused + answer;
  return false;
}

// Step 2 of every service: the authorisation page in the browser, then the code the
// user types. The token goes into the address as received, not encoded.
bool AuthorizeWithBrowser(const std::string& url, std::string& verifier) {
  ShellOpenUrl(url);
  CVerifyCodeDlg dlg;
  dlg.DoModal();
  verifier = dlg.m_strVerifyCode;
  return !verifier.empty();
}

// Logs the start and the outcome of one run around bind().
void RunBinding(CMainDlg* dlg, const char* startLine, bool (CMainDlg::*bind)(),
                std::string CMainDlg::*name) {
  dlg->AppendStatusLog(startLine);
  if ((dlg->*bind)())
    dlg->AppendStatusLog(kLogBound + dlg->*name + kLogBoundEnd);
  else
    dlg->AppendStatusLog(kLogFailed);
}

}  // namespace

// ---- Tencent Weibo ----

void CMainDlg::OnBindTencent() {
  RunBinding(this, "绑定到腾讯微博...", &CMainDlg::BindTencent, &CMainDlg::m_strQQName);
}

bool CMainDlg::BindTencent() {
  Pending(this, EService::Tencent) = {};  // a run starts with nothing pending
  m_strLastError.clear();
  if (!GetTencentRequestToken()) {
    AfxMessageBox(m_strLastError);
    return false;
  }
  if (!AuthorizeTencent()) return false;
  if (!GetTencentAccessToken()) {
    AfxMessageBox(m_strLastError);
    return false;
  }
  CompleteBinding(this, EService::Tencent);
  return true;
}

bool CMainDlg::GetTencentRequestToken() {
  CWeiboParam params;
  AddConsumerKeyParams(EService::Tencent, params);
  params.AddParam(PARAM_OAUTH_CALLBACK, "null");
  const std::string answer = SendServiceRequest(
      HttpsUrl(EHost::TencentOpenSecure, "/cgi-bin/request_token"), EHttpMethod_Get, params, false);
  if (answer.empty()) {
    m_strLastError = kRequestTokenFailed;
    return false;
  }
  // Only the exact lower-case "true" confirms the out-of-band callback.
  if (GetQueryValue(answer, "oauth_callback_confirmed") != "true") {
    m_strLastError = kTencentRequestTokenRefused + answer;
    return false;
  }
  m_strQQRequestToken = GetQueryValue(answer, "oauth_token");
  m_strQQRequestSecret = GetQueryValue(answer, "oauth_token_secret");
  return true;
}

bool CMainDlg::AuthorizeTencent() {
  return AuthorizeWithBrowser(
      HttpsUrl(EHost::TencentOpenSecure, "/cgi-bin/authorize?oauth_token=" + m_strQQRequestToken),
      m_strQQVerifier);
}

bool CMainDlg::GetTencentAccessToken() {
  const std::string answer = SendServiceRequest(
      HttpsUrl(EHost::TencentOpenSecure, "/cgi-bin/access_token"), EHttpMethod_Get,
      AccessTokenParams(EService::Tencent, m_strQQRequestToken, m_strQQRequestSecret,
                        m_strQQVerifier),
      false);
  if (answer.empty()) {
    m_strLastError = kAccessTokenFailed;
    return false;
  }
  SPendingAccount& pending = Pending(this, EService::Tencent);
  pending.accessToken = GetQueryValue(answer, "oauth_token");
  pending.accessSecret = GetQueryValue(answer, "oauth_token_secret");
  pending.name = GetQueryValue(answer, "name");  // may be empty
  if (!pending.accessToken.empty() && !pending.accessSecret.empty()) return true;
  m_strLastError = kAccessTokenRefused + answer;
  return false;
}

// ---- Sina Weibo ----

void CMainDlg::OnBindSina() {
  RunBinding(this, "绑定到新浪微博...", &CMainDlg::BindSina, &CMainDlg::m_strSinaName);
}

bool CMainDlg::BindSina() {
  Pending(this, EService::Sina) = {};  // a run starts with nothing pending
  m_strLastError.clear();
  if (!GetSinaRequestToken()) {
    AfxMessageBox(m_strLastError);
    return false;
  }
  if (!AuthorizeSina()) return false;
  if (!GetSinaAccessToken()) {
    AfxMessageBox(m_strLastError);
    return false;
  }
  // Without the screen name the account keeps its user id as name.
  GetSinaUserInfo();
  CompleteBinding(this, EService::Sina);
  return true;
}

bool CMainDlg::GetSinaRequestToken() {
  return RequestTokenByPair(this, EService::Sina, HttpUrl(EHost::SinaApi, "/oauth/request_token"),
                            m_strSinaRequestToken, m_strSinaRequestSecret);
}

bool CMainDlg::AuthorizeSina() {
  return AuthorizeWithBrowser(
      HttpUrl(EHost::SinaApi, "/oauth/authorize?oauth_token=" + m_strSinaRequestToken),
      m_strSinaVerifier);
}

bool CMainDlg::GetSinaAccessToken() {
  const std::string answer =
      SendServiceRequest(HttpUrl(EHost::SinaApi, "/oauth/access_token"), EHttpMethod_Post,
                         AccessTokenParams(EService::Sina, m_strSinaRequestToken,
                                           m_strSinaRequestSecret, m_strSinaVerifier),
                         false);
  if (answer.empty()) {
    m_strLastError = kAccessTokenFailed;
    return false;
  }
  SPendingAccount& pending = Pending(this, EService::Sina);
  pending.accessToken = GetQueryValue(answer, "oauth_token");
  pending.accessSecret = GetQueryValue(answer, "oauth_token_secret");
  pending.userId = GetQueryValue(answer, "user_id");
  pending.name = pending.userId;  // until the screen name replaces it
  if (!pending.accessToken.empty() && !pending.accessSecret.empty()) return true;
  m_strLastError = kAccessTokenRefused + answer;
  return false;
}

bool CMainDlg::GetSinaUserInfo() {
  SPendingAccount& pending = Pending(this, EService::Sina);
  // Signed with the access pair this run has just obtained.
  CWeiboParam params;
  ::AddTokenParams(EService::Sina, params, pending.accessToken, pending.accessSecret);
  const std::string answer = SendServiceRequest(
      HttpUrl(EHost::SinaApi, "/account/verify_credentials.json"), EHttpMethod_Post, params, false);
  const std::string name = GetTextBetween(answer, kJsonScreenName, kQuote, kQuote);
  if (name.empty()) {
    m_strLastError = kUserInfoFailed;
    return false;
  }
  pending.name = name;
  return true;
}

// ---- Sohu Weibo ----

void CMainDlg::OnBindSohu() {
  RunBinding(this, "绑定到搜狐微博...", &CMainDlg::BindSohu, &CMainDlg::m_strSohuName);
}

bool CMainDlg::BindSohu() {
  Pending(this, EService::Sohu) = {};  // a run starts with nothing pending
  m_strLastError.clear();
  if (!GetSohuRequestToken()) {
    AfxMessageBox(m_strLastError);
    return false;
  }
  if (!AuthorizeSohu()) return false;
  if (!GetSohuAccessToken()) {
    AfxMessageBox(m_strLastError);
    return false;
  }
  if (!GetSohuUserInfo()) {
    AfxMessageBox(m_strLastError);
    return false;
  }
  CompleteBinding(this, EService::Sohu);
  return true;
}

bool CMainDlg::GetSohuRequestToken() {
  return RequestTokenByPair(this, EService::Sohu, HttpUrl(EHost::SohuApi, "/oauth/request_token"),
                            m_strSohuRequestToken, m_strSohuRequestSecret);
}

bool CMainDlg::AuthorizeSohu() {
  return AuthorizeWithBrowser(
      HttpUrl(EHost::SohuApi, "/oauth/authorize?oauth_token=" + m_strSohuRequestToken),
      m_strSohuVerifier);
}

bool CMainDlg::GetSohuAccessToken() {
  const std::string answer =
      SendServiceRequest(HttpUrl(EHost::SohuApi, "/oauth/access_token"), EHttpMethod_Post,
                         AccessTokenParams(EService::Sohu, m_strSohuRequestToken,
                                           m_strSohuRequestSecret, m_strSohuVerifier),
                         false);
  if (answer.empty()) {
    m_strLastError = kAccessTokenFailed;
    return false;
  }
  // Only the pair: user id and name come from the account information.
  SPendingAccount& pending = Pending(this, EService::Sohu);
  pending.accessToken = GetQueryValue(answer, "oauth_token");
  pending.accessSecret = GetQueryValue(answer, "oauth_token_secret");
  if (!pending.accessToken.empty() && !pending.accessSecret.empty()) return true;
  m_strLastError = kAccessTokenRefused + answer;
  return false;
}

bool CMainDlg::GetSohuUserInfo() {
  SPendingAccount& pending = Pending(this, EService::Sohu);
  // Signed with the access pair this run has just obtained.
  CWeiboParam params;
  ::AddTokenParams(EService::Sohu, params, pending.accessToken, pending.accessSecret);
  const std::string answer = SendServiceRequest(HttpUrl(EHost::SohuApi, "/users/show.json"),
                                                EHttpMethod_Get, params, false);
  // The user id arrives as a quoted string.
  pending.userId = GetTextBetween(answer, kJsonId, kQuote, kQuote);
  pending.name = GetTextBetween(answer, kJsonScreenName, kQuote, kQuote);
  if (!pending.userId.empty() && !pending.name.empty()) return true;
  m_strLastError = kUserInfoFailed;
  return false;
}

// ---- Twitter ----

void CMainDlg::OnBindTwitter() {
  RunBinding(this, "绑定到Twitter...", &CMainDlg::BindTwitter, &CMainDlg::m_strTwitterName);
}

bool CMainDlg::BindTwitter() {
  Pending(this, EService::Twitter) = {};  // a run starts with nothing pending
  m_strLastError.clear();
  if (!GetTwitterRequestToken()) {
    AfxMessageBox(m_strLastError);
    return false;
  }
  if (!AuthorizeTwitter()) return false;
  if (!GetTwitterAccessToken()) {
    AfxMessageBox(m_strLastError);
    return false;
  }
  CompleteBinding(this, EService::Twitter);
  return true;
}

bool CMainDlg::GetTwitterRequestToken() {
  CWeiboParam params;
  AddConsumerKeyParams(EService::Twitter, params);
  params.AddParam(PARAM_OAUTH_CALLBACK, "oob");
  // Twitter requests follow the Twitter proxy rule.
  const std::string answer = SendServiceRequest(HttpUrl(EHost::TwitterApi, "/oauth/request_token"),
                                                EHttpMethod_Get, params, true);
  if (answer.empty()) {
    m_strLastError = kTwitterRequestTokenFailed;
    return false;
  }
  m_strTwitterRequestToken = GetQueryValue(answer, "oauth_token");
  m_strTwitterRequestSecret = GetQueryValue(answer, "oauth_token_secret");
  if (!m_strTwitterRequestToken.empty() && !m_strTwitterRequestSecret.empty()) return true;
  m_strLastError = kRequestTokenRefused + answer;
  return false;
}

bool CMainDlg::AuthorizeTwitter() {
  return AuthorizeWithBrowser(
      HttpUrl(EHost::TwitterApi, "/oauth/authorize?oauth_token=" + m_strTwitterRequestToken),
      m_strTwitterVerifier);
}

bool CMainDlg::GetTwitterAccessToken() {
  const std::string answer =
      SendServiceRequest(HttpUrl(EHost::TwitterApi, "/oauth/access_token"), EHttpMethod_Get,
                         AccessTokenParams(EService::Twitter, m_strTwitterRequestToken,
                                           m_strTwitterRequestSecret, m_strTwitterVerifier),
                         true);
  if (answer.empty()) {
    m_strLastError = kTwitterAccessTokenFailed;
    return false;
  }
  SPendingAccount& pending = Pending(this, EService::Twitter);
  pending.accessToken = GetQueryValue(answer, "oauth_token");
  pending.accessSecret = GetQueryValue(answer, "oauth_token_secret");
  pending.userId = GetQueryValue(answer, "user_id");    // may be empty
  pending.name = GetQueryValue(answer, "screen_name");  // may be empty
  if (!pending.accessToken.empty() && !pending.accessSecret.empty()) return true;
  m_strLastError = kAccessTokenRefused + answer;
  return false;
}
