// The services as data: one row per service, holding everything the program knows of it
// apart from its window controls. A row names its hosts and endpoints, the parameters
// and answers of binding, posting and polling, and the alert kinds its counters raise.
// The differences between services are data where they can be, and small hooks where
// they are behaviour (an answer reader, the parameters of a post). Nothing here needs a
// window: the flows that run a row are in BindFlow.h, PostFlow.h and PollFlow.h.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "net/Credentials.h"
#include "net/ServiceHosts.h"
#include "qwblog/QWBlogAPI.h"

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
  EHost host;
  bool https;
  const char* path;  // null: the service has no such address
};

// The alert options of the main window that gate an alert.
enum class EAlertGate { AtMe, Following, Fans };
// The part of the account that completes an alert's address.
enum class EAccountPart { None, Name, UserId, Server };

// One polled counter and the alert it raises when it grows.
struct SAlertKind {
  int kind;                // the number posted with WM_SERVICE_ALERT
  const char* counterKey;  // JSON member of the poll answer
  EAlertGate gate;
  const char* title;
  const char* text;  // "%d" stands for the count
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
  const char* startLine;  // status log line when the user starts a binding
  SEndpoint requestToken;
  const char* callback;       // oauth_callback of the request-token call; null: none
  bool callbackConfirmation;  // the answer must say oauth_callback_confirmed=true
  SEndpoint authorize;        // opened with "?oauth_token=" and the request token
  SEndpoint accessToken;
  EHttpMethod accessMethod;
  const char* accessUserIdKey;  // form members of the access answer taken as user id and
  const char* accessNameKey;    // name; null: not in the answer
  const char* requestFailed;    // message boxes: no answer, refused answer (+ answer),
  const char* requestRefused;
  const char* accessFailed;
  const char* accessRefused;
  // The account-information step: null reader for none. The reader fills the pending
  // account from the answer and says whether it found what it needs.
  SEndpoint userInfo;
  EHttpMethod userInfoMethod;
  bool (*readUserInfo)(const std::string& answer, SPendingAccount& pending);
  bool userInfoRequired;  // false: a failed step keeps the name from the access answer
};

struct SServiceRow;

struct SPostPlan {
  const char* startLine;
  const char* successLine;
  const char* failureLine;
  SEndpoint text;     // a status without picture
  SEndpoint picture;  // with a picture; null path: the picture is not sent
  bool usesClientIp;  // the post carries the public address of the machine
  // Appends the service's own parameters after the consumer and access pairs.
  void (*addParams)(CWeiboParam& params, const std::string& text, bool withPicture,
                    const std::string& clientIp);
  // Reads the answer ("" when the request failed): accepted or not, and the log lines.
  bool (*readAnswer)(const SServiceRow& row, const std::string& answer,
                     std::vector<std::string>& lines);
};

// Where a poll worker stands with a service polled by its own code: the newest item
// seen, the token it was seen with, a token refused by the service (polling waits for
// a new binding), and a pause the service asked for.
struct SPollCursor {
  bool baseline = false;  // the first answer has been read
  std::string sinceId;
  std::string token;
  std::string refusedToken;
  int nextDelayMs = -1;  // -1: the usual interval
  int backoffs = 0;      // refusals for load in a row
};

class CServiceState;
struct SServiceIo;

// The flows of a service that does not follow the OAuth 1.0 pattern of the others; its
// row's plans then give only the texts (start, success and failure lines) and the
// alert kinds.
struct SOwnFlows {
  bool (*bind)(const SServiceRow& row, CServiceState& state, const SServiceIo& io);
  // Checked for every ticked service before anything is posted anywhere: false with the
  // message to show when the status cannot go to this service.
  bool (*checkPost)(const SServiceRow& row, const CServiceState& state, const SServiceIo& io,
                    const std::string& text, std::string& message);
  bool (*post)(const SServiceRow& row, const CServiceState& state, const SServiceIo& io,
               const std::string& text, const std::string& picture);
  void (*poll)(const SServiceRow& row, const CServiceState& state, const SServiceIo& io,
               SPollCursor& cursor);
};

struct SServiceRow {
  EService id;            // index of the account record
  const char* keyPrefix;  // settings keys <prefix>AccessToken, AccessSecret, UserID, Name
  bool storesUserId;
  bool twitterProxy;         // requests follow the Twitter proxy scope (else the "all" scope)
  const char* notBoundText;  // message box when posting to it unbound
  SBindPlan bind;
  SPostPlan post;
  const SPollPlan* poll;  // null: not polled
  // Where an endpoint is (the configured host by default); tail follows its path.
  std::string (*address)(const SEndpoint& endpoint, const std::string& tail);
  // Adds the consumer pair of the service to a request.
  bool (*addConsumer)(EService service, CWeiboParam& params);
  const SOwnFlows* own = nullptr;  // null: the flows run the plans above
};

// The services, in the order they are posted to and polled.
const std::vector<const SServiceRow*>& ServiceRows();
const SServiceRow& ServiceRow(EService service);

// The address of an endpoint of a row, tail appended to its path.
std::string RowAddress(const SServiceRow& row, const SEndpoint& endpoint,
                       const std::string& tail = "");
// The configured host of the endpoint: http:// or https://, host, path, tail.
std::string ConfiguredAddress(const SEndpoint& endpoint, const std::string& tail);
// The row's consumer pair, then the access pair.
void AddAccountParams(const SServiceRow& row, CWeiboParam& params, const std::string& token,
                      const std::string& secret);

// The alert kind with this number among all rows, or null.
const SAlertKind* FindAlertKind(int kind, const SServiceRow** owner = nullptr);
