// What a service is, as data: one SServiceRow per service, defined in the service's own
// file under services/ and listed by the registry (Registry.h). A row names
// its hosts and consumer pair, its endpoints, the parameters and answers of binding,
// posting and polling, its texts and settings keys, its alert kinds and its controls in
// the main window. The differences between services are data where they can be, and
// small hooks where they are behaviour (an answer reader, the parameters of a post, or a
// whole flow of its own). Nothing here needs a window.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "net/Credentials.h"
#include "net/ServiceHosts.h"
#include "net/ServiceRequest.h"
#include "net/UserText.h"
#include "qwblog/QWBlogAPI.h"

class CSession;

// What a worker needs of one account, taken as one consistent snapshot.
struct SAccountSnapshot {
  bool bound = false;
  std::string accessToken, accessSecret, name, userId;
  std::string server{};  // a service whose accounts live on a server of the user's choice
};

// The access pair, name and user id a binding run has obtained but not yet committed.
struct SPendingAccount {
  std::string accessToken, accessSecret, name, userId, server;
};

// One address of a service: a configured host, the scheme and a path.
struct SEndpoint {
  const SHostDef* host = nullptr;
  bool https = false;
  const char* path = nullptr;  // null: the service has no such address
};

// The alert options of the main window that gate an alert.
enum class EAlertGate { AtMe, Following, Fans };
constexpr int kAlertGateCount = 3;
// The part of the account that completes an alert's address.
enum class EAccountPart { None, Name, UserId, Server };

// One polled counter and the alert it raises when it grows.
struct SAlertKind {
  int kind;                // the number carried by WM_SERVICE_ALERT
  const char* counterKey;  // JSON member of the poll answer
  EAlertGate gate;
  const char* title;
  const char* text;  // "%1" stands for the count
  // The web page; its path is followed by the account part and pathAfter. With the part
  // Server, the page is on the account's server: https://server, the path, pathAfter.
  SEndpoint page;
  EAccountPart part;
  const char* pathAfter;
};

struct SPollPlan {
  SEndpoint endpoint;
  std::vector<std::pair<const char*, const char*>> fixedParams;  // after the token pair
  bool (*isValid)(const std::string& answer);
  std::vector<SAlertKind> kinds;  // in the order their counters are read from the answer
  int intervalMs;
};

// The three-legged OAuth 1.0 binding of a service, with an optional fourth step that
// asks for the account's name.
struct SBindPlan {
  const char* startLine = nullptr;  // status log line when the user starts a binding
  SEndpoint requestToken{};
  const char* callback = nullptr;     // oauth_callback of the request-token call; null: none
  bool callbackConfirmation = false;  // the answer must say oauth_callback_confirmed=true
  SEndpoint authorize{};              // opened with "?oauth_token=" and the request token
  SEndpoint accessToken{};
  EHttpMethod accessMethod = EHttpMethod_Get;
  const char* accessUserIdKey = nullptr;  // form members of the access answer taken as user id and
  const char* accessNameKey = nullptr;    // name; null: not in the answer
  const char* requestFailed = nullptr;    // message boxes: no answer, refused answer (%1: answer),
  const char* requestRefused = nullptr;
  const char* accessFailed = nullptr;
  const char* accessRefused = nullptr;
  // The account-information step: null reader for none. The reader fills the pending
  // account from the answer and says whether it found what it needs.
  SEndpoint userInfo{};
  EHttpMethod userInfoMethod = EHttpMethod_Get;
  bool (*readUserInfo)(const std::string& answer, SPendingAccount& pending) = nullptr;
  bool userInfoRequired = false;  // false: a failed step keeps the name from the access answer
};

struct SServiceRow;

struct SPostPlan {
  const char* startLine = nullptr;
  const char* successLine = nullptr;
  const char* failureLine = nullptr;
  SEndpoint text{};           // a status without picture
  SEndpoint picture{};        // with a picture; null path: the picture is not sent
  bool usesClientIp = false;  // the post carries the public address of the machine
  // Appends the service's own parameters after the consumer and access pairs.
  void (*addParams)(CWeiboParam& params, const std::string& text, bool withPicture,
                    const std::string& clientIp) = nullptr;
  // Reads the answer: accepted or not, and the log lines (with the reason of a failure).
  bool (*readAnswer)(const SServiceRow& row, const SHttpAnswer& answer,
                     std::vector<SUserText>& lines) = nullptr;
};

// Where a poll worker stands with a service polled by its own code: the newest item
// seen, the token it was seen with, a token refused by the service (polling waits for
// a new binding), and a pause the service asked for.
struct SPollCursor {
  bool baseline = false;  // the first answer has been read
  std::string sinceId;
  std::string token;
  std::string refusedToken;
  int nextDelayMs = -1;           // -1: the usual interval
  int backoffs = 0;               // refusals for load in a row
  int intervalMs = 45000;         // the usual interval, set by the worker
  std::vector<std::string> seen;  // items of the last answer, for a service without ids in order
};

// What a binding run of its own gives back: the account on success, else the message
// box to show ("" for none, as for a cancelled code), and the settings keys to write in
// one replace when it succeeded.
struct SBindOutcome {
  bool bound = false;
  SUserText error;
  SPendingAccount pending;
  std::vector<std::pair<std::string, std::string>> keys;
};

// Runs a binding run (Run(), and error, pending and Keys() after it) into its outcome.
template <class TRun>
SBindOutcome RunBindingSteps(TRun& run) {
  SBindOutcome outcome;
  outcome.bound = run.Run();
  outcome.error = run.error;
  if (!outcome.bound) return outcome;
  outcome.pending = run.pending;
  outcome.keys = run.Keys();
  return outcome;
}

// The flows of a service that does not follow the OAuth 1.0 pattern of the others; its
// row's plans then give only the texts (start, success and failure lines) and the
// alert kinds. The binding frame (start line, failure box, commit, result line) and the
// post's start line are the common flows' part.
struct SOwnFlows {
  SBindOutcome (*bind)(const SServiceRow& row, CSession& session);
  // Checked for every ticked service before anything is posted anywhere: false with the
  // message to show when the status cannot go to this service.
  bool (*checkPost)(const SServiceRow& row, CSession& session, const std::string& text,
                    SUserText& message);
  bool (*post)(const SServiceRow& row, CSession& session, const std::string& text,
               const std::string& picture);
  void (*poll)(const SServiceRow& row, CSession& session, SPollCursor& cursor);
  // The account as the settings file keeps it, for a service whose keys are its own;
  // null: the common keys (<prefix>AccessToken, AccessSecret, UserID, Server, Name).
  SAccountSnapshot (*restore)(const SServiceRow& row) = nullptr;
};

// One control of the main window, in dialog units.
struct SControlPlace {
  int id;
  const char* text;
  int x, y, cx, cy;
};

// A command of the main window's menu: its id and its text.
struct SMenuPlace {
  int id = 0;
  const char* text = nullptr;
};

// A service's controls in the main window: its bind button in 绑定微博, its account line
// in 已绑定 (a caption and the label that shows the bound name), its send box in 发微博
// with the settings key that keeps it, and where the button and the box come in the tab
// order (their index in the window's whole tab order; past its end, they come last).
struct SServiceWindow {
  SControlPlace bindButton;
  SControlPlace accountCaption;
  SControlPlace nameLabel;
  SControlPlace sendBox;
  const char* sendKey;
  int bindTabSlot;
  int sendTabSlot;
  // Its entry in the quick-access menu, after the fixed ones; id 0: none of its own.
  SMenuPlace quickAccess{};
};

struct SServiceRow {
  const char* keyPrefix;  // settings keys <prefix>AccessToken, AccessSecret, UserID, Name
  bool storesUserId;
  bool storesServer = false;  // the account lives on a server of the user's choice
  // Its requests use the proxy also when the proxy is set for the picked service alone
  // (the proxy dialog's second scope); the others only when it is set for all.
  bool proxyPicked;
  // Its send box may be ticked only alone, unless the settings lift that rule.
  bool postsOnlyAlone = false;
  const char* notBoundText;            // message box when posting to it unbound
  SConsumerDef consumer;               // name "" : the service has no consumer pair
  std::vector<const SHostDef*> hosts;  // its configurable hosts, for Services.ini
  const SHostDef* web = nullptr;       // its site, opened by the quick-access command
  // Without such a site, quick access opens the bound account's server (a service whose
  // accounts live on servers), else this https address.
  const char* webAddress = nullptr;
  SBindPlan bind;
  SPostPlan post;
  const SPollPlan* poll;  // null: not polled
  SServiceWindow window;
  const SOwnFlows* own = nullptr;            // null: the common flows run the plans above
  std::vector<const SChoiceDef*> choices{};  // its own settings in Services.ini
};

// Message boxes of the OAuth 1.0 bindings that most services share.
inline constexpr const char* kRequestTokenFailed = "获取Request_Token失败!";
inline constexpr const char* kRequestTokenRefused = "获取Request_Token失败!\r\n\r\n失败原因:%1";
inline constexpr const char* kAccessTokenFailed = "获取AccessToken失败!";
inline constexpr const char* kAccessTokenRefused = "获取Access_Token失败!\r\n\r\n失败原因:%1";

// The address of an endpoint, tail appended to its path: http:// or https://, the
// configured host, the path, the tail.
std::string EndpointAddress(const SEndpoint& endpoint, const std::string& tail = "");
// The row's consumer pair (when it has one), then the access pair.
void AddAccountParams(const SServiceRow& row, CWeiboParam& params, const std::string& token,
                      const std::string& secret);
// The row's consumer pair; nothing for a service without one.
void AddConsumerParams(const SServiceRow& row, CWeiboParam& params);
