// Twitter: OAuth 1.0 with the out-of-band callback "oob" and a PIN, the user id and screen
// name in the access answer, not polled. Its requests follow the proxy setting's Twitter
// scope. Services.ini [Twitter] Api chooses the interface:
//   Api=1  the original one: the binding and text-only posts over http, exactly as ever;
//   Api=2  X's current one (the default): the same binding over https, the name from
//          /2/users/me when the access answer has none, the picture uploaded to
//          /2/media/upload and the post sent as JSON to /2/tweets, within X's weighted
//          length. The consumer pair must be the user's own, from Services.ini.
// Nothing secret (tokens, secrets, the PIN) ever goes into a log line or message box.
#include <ctime>
#include <nlohmann/json.hpp>

#include "net/TextOps.h"
#include "services/Readers.h"
#include "services/ServiceRow.h"
#include "services/Session.h"
#include "services/TwitterText.h"
#include "settings/Profile.h"

namespace {

using Json = nlohmann::json;

constexpr SHostDef kApi = {"TwitterApi", "api.twitter.com"};
// X's interface answers under the same configurable host, with its own default.
constexpr SHostDef kXApi = {"TwitterApi", "api.x.com"};
constexpr SHostDef kWeb = {"TwitterWeb", "twitter.com"};
constexpr SChoiceDef kApiChoice = {"Twitter", "Api", 1, 2, 2};

constexpr SEndpoint kXRequestToken = {&kXApi, true, "/oauth/request_token"};
constexpr SEndpoint kXAuthorize = {&kXApi, true, "/oauth/authorize"};
constexpr SEndpoint kXAccessToken = {&kXApi, true, "/oauth/access_token"};
constexpr SEndpoint kXUsersMe = {&kXApi, true, "/2/users/me"};
constexpr SEndpoint kXMediaUpload = {&kXApi, true, "/2/media/upload"};
constexpr SEndpoint kXTweets = {&kXApi, true, "/2/tweets"};
const char* const kStatusPage = "https://x.com/i/status/";

const char* const kUserInfoFailed = "获取用户信息失败\r\n\r\n失败原因:%1";
const char* const kUnreadable = "服务器的回应无法识别";

bool UsesX() { return ChoiceOf(kApiChoice) == 2; }

// The consumer names Services.ini lacks for X ("TwitterKey", "TwitterSecret"): X knows
// only the user's own app, so the built-in pair is never sent there.
std::vector<std::string> MissingConsumerKeys(const SServiceRow& row) {
  const CServiceConfig config = ServiceConfig();
  std::vector<std::string> missing;
  for (const char* half : {"Key", "Secret"}) {
    const std::string key = std::string(row.consumer.name) + half;
    if (config.Consumer(key).empty()) missing.push_back(key);
  }
  return missing;
}

std::string Joined(const std::vector<std::string>& names, const char* separator) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : separator) + name;
  return text;
}

// "2026-12-08 05:00:00" in local time.
std::string LocalTime(long long epochSeconds) {
  const time_t when = static_cast<time_t>(epochSeconds);
  struct tm local {};
  char text[32] = "";
  if (!localtime_r(&when, &local) || !strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local))
    return {};
  return text;
}

// Why X refused or failed, for a log line or message box: X's explanation (detail, else
// title, else the first error's message) with its reason code, the HTTP status when it
// gives none, and after a rate limit when to try again.
SUserText XReason(const SHttpAnswer& answer) {
  if (!answer.answered) return FailureReason(answer);
  const Json body = ParseJson(answer.body);
  std::string why = JsonText(body, "detail");
  if (why.empty()) why = JsonText(body, "title");
  if (why.empty() && body.is_object() && body.contains("errors") && body["errors"].is_array() &&
      !body["errors"].empty())
    why = JsonText(body["errors"][0], "message");
  const std::string code = JsonText(body, "reason");
  if (!code.empty() && why.find(code) == std::string::npos)
    why += (why.empty() ? "" : " ") + ("(" + code + ")");
  why = LogSafeText(why, 300);
  SUserText reason = why.empty() ? FailureReason(answer) : TextValue(why);
  if (reason.empty()) reason = kUnreadable;
  if (answer.status == 429) {
    const std::string when = answer.rateLimitReset > 0 ? LocalTime(answer.rateLimitReset) : "";
    if (!when.empty()) reason = {"%1，请在%2之后再试", {reason, TextValue(when)}};
  }
  return reason;
}

// An id X gives as a string of digits (an integer is taken as it is, never as a double).
std::string XId(const Json& object, const char* name) {
  std::string id = JsonText(object, name);
  if (id.empty() || id.size() > 32 || id.find_first_not_of("0123456789") != std::string::npos)
    return {};
  return id;
}

// The "data" object of an answer with a success status; null otherwise.
Json XData(const SHttpAnswer& answer) {
  if (!answer.answered || answer.status < 200 || answer.status >= 300) return Json();
  const Json body = ParseJson(answer.body);
  return body.is_object() && body.contains("data") ? body["data"] : Json();
}

// ---- binding ----

// The three legs of OAuth 1.0 with a PIN, on the interface Services.ini chooses. With
// Api=1 every request and message is the original one; with Api=2 the answers are read
// whole, so X's reason for a refusal shows in the message box.
struct STwitterBind {
  const SServiceRow& row;
  CSession& session;
  bool x;
  std::string requestToken, requestSecret, verifier;
  SPendingAccount pending;
  SUserText error;  // message box of a failed step; empty when none is shown

  // One signed call. With Api=1, the body as the original flow reads it: anything that
  // arrived counts as an answer.
  SHttpAnswer Call(const SEndpoint& endpoint, EHttpMethod method, const CWeiboParam& params,
                   const std::string& tail = "") const {
    const std::string url = EndpointAddress(endpoint, tail);
    if (x) return session.SignedRequest(url, method, params, row.proxyPicked);
    SHttpAnswer answer;
    answer.body = session.Request(url, method, params, row.proxyPicked);
    answer.answered = !answer.body.empty();
    answer.status = answer.answered ? 200 : 0;
    return answer;
  }

  // A form answer that did not give what was needed: the old interface shows it whole;
  // X's reason is read out of it.
  SUserText Refusal(const char* refused, const SHttpAnswer& answer) const {
    return {refused, {x ? XReason(answer) : TextValue(answer.body)}};
  }

  bool HasConsumer() {
    if (!x) return true;
    const std::vector<std::string> missing = MissingConsumerKeys(row);
    if (missing.empty()) return true;
    error = {
        "使用X的当前接口(Services.ini中[Twitter] Api=2)绑定Twitter，需要您自己的X应用的"
        "API Key和API Key Secret。\r\n\r\n请在%1/Services.ini的[Consumers]一节中加入:\r\n"
        "%2=...\r\n\r\n本次没有发出任何请求。",
        {TextValue(SettingsFolder()), TextValue(Joined(missing, "=...\r\n"))}};
    return false;
  }

  bool GetRequestToken() {
    const SBindPlan& plan = row.bind;
    CWeiboParam params;
    AddConsumerParams(row, params);
    params.AddParam(PARAM_OAUTH_CALLBACK, plan.callback);
    const SHttpAnswer answer =
        Call(x ? kXRequestToken : plan.requestToken, EHttpMethod_Get, params);
    if (!answer.answered || answer.body.empty()) {
      error = plan.requestFailed;
      return false;
    }
    if (answer.status >= 200 && answer.status < 300) {
      requestToken = GetQueryValue(answer.body, "oauth_token");
      requestSecret = GetQueryValue(answer.body, "oauth_token_secret");
      if (!requestToken.empty() && !requestSecret.empty()) return true;
    }
    error = Refusal(plan.requestRefused, answer);
    return false;
  }

  // The token goes into the address as received, not encoded.
  bool Authorize() {
    session.OpenCodePage(
        EndpointAddress(x ? kXAuthorize : row.bind.authorize, "?oauth_token=" + requestToken));
    verifier = session.AskCode();
    return !verifier.empty();
  }

  bool GetAccessToken() {
    const SBindPlan& plan = row.bind;
    CWeiboParam params;
    AddConsumerParams(row, params);
    params.AddParam(QWB_TOKEN_KEY, requestToken.c_str());
    params.AddParam(QWB_TOKEN_SECRET, requestSecret.c_str());
    params.AddParam(PARAM_OAUTH_VERIFIER, verifier.c_str());
    const SHttpAnswer answer =
        Call(x ? kXAccessToken : plan.accessToken, plan.accessMethod, params);
    if (!answer.answered || answer.body.empty()) {
      error = plan.accessFailed;
      return false;
    }
    if (answer.status >= 200 && answer.status < 300) {
      pending.accessToken = GetQueryValue(answer.body, "oauth_token");
      pending.accessSecret = GetQueryValue(answer.body, "oauth_token_secret");
      pending.userId = GetQueryValue(answer.body, plan.accessUserIdKey);
      pending.name = GetQueryValue(answer.body, plan.accessNameKey);
      if (!pending.accessToken.empty() && !pending.accessSecret.empty()) return true;
    }
    error = Refusal(plan.accessRefused, answer);
    return false;
  }

  // X: the name (and the id) from /2/users/me when the access answer has none. The name is
  // shown in a label and stored: one plain line.
  bool GetName() {
    if (!x) return true;
    pending.name = LogSafeText(pending.name, 100);
    if (!pending.name.empty()) return true;
    CWeiboParam params;
    AddAccountParams(row, params, pending.accessToken, pending.accessSecret);
    const SHttpAnswer answer = Call(kXUsersMe, EHttpMethod_Get, params);
    const Json data = XData(answer);
    pending.name = LogSafeText(JsonText(data, "username"), 100);
    if (pending.userId.empty()) pending.userId = XId(data, "id");
    if (!pending.name.empty()) return true;
    error = {kUserInfoFailed, {data.is_object() ? SUserText(kUnreadable) : XReason(answer)}};
    return false;
  }

  bool Run() {
    if (!HasConsumer()) return false;
    if (!GetRequestToken()) return false;
    if (!Authorize()) return false;  // cancelled: no message box
    return GetAccessToken() && GetName();
  }

  // The account's keys in their fixed order: user id before name.
  std::vector<std::pair<std::string, std::string>> Keys() const {
    return {{"TwitterAccessToken", pending.accessToken},
            {"TwitterAccessSecret", pending.accessSecret},
            {"TwitterUserID", pending.userId},
            {"TwitterName", pending.name}};
  }
};

SBindOutcome BindTwitter(const SServiceRow& row, CSession& session) {
  STwitterBind run{row, session, UsesX(), {}, {}, {}, {}, {}};
  return RunBindingSteps(run);
}

// ---- posting ----

bool CheckTwitterPost(const SServiceRow&, CSession&, const std::string& text, SUserText& message) {
  if (!UsesX()) return true;
  const int length = twitter::WeightedLength(text);
  if (length <= twitter::kMaxWeightedLength) return true;
  message = {
      "发到Twitter的内容按X的算法有%1个字符，超过了允许的%2个字符(汉字和表情各算2个，链接算23个)。"
      "\r\n\r\n请删减后再发送，本次没有发出任何内容。",
      {TextValue(std::to_string(length)), TextValue(std::to_string(twitter::kMaxWeightedLength))}};
  return false;
}

// The original interface: the status as a form, the answer read as ever. It takes no
// picture, and the log says so.
bool PostOriginal(const SServiceRow& row, CSession& session, const std::string& text,
                  const std::string& picture) {
  const SAccountSnapshot account = session.Account(row);
  CWeiboParam params;
  AddAccountParams(row, params, account.accessToken, account.accessSecret);
  row.post.addParams(params, text, false, std::string());
  const SHttpAnswer answer = session.SignedRequest(EndpointAddress(row.post.text), EHttpMethod_Post,
                                                   params, row.proxyPicked);
  std::vector<SUserText> lines;
  const bool accepted = row.post.readAnswer(row, answer, lines);
  for (const SUserText& line : lines) session.Log(line);
  if (accepted && !picture.empty()) session.Log("Twitter的原接口(Api=1)不能发图片，只发送了文字。");
  return accepted;
}

// Uploads the picture to X; its media id, or "" with the reason in why.
std::string UploadToX(const SServiceRow& row, CSession& session, const SAccountSnapshot& account,
                      const std::string& picture, SUserText& why) {
  CWeiboParam params;
  AddAccountParams(row, params, account.accessToken, account.accessSecret);
  params.AddParam("media_category", "tweet_image");
  params.AddPicNameParam("media", picture.c_str());
  const SHttpAnswer answer = session.SignedRequest(EndpointAddress(kXMediaUpload), EHttpMethod_Post,
                                                   params, row.proxyPicked);
  const Json data = XData(answer);
  std::string id = XId(data, "id");
  if (id.empty() && answer.answered && answer.status >= 200 && answer.status < 300)
    id = XId(ParseJson(answer.body), "media_id_string");
  if (id.empty()) {
    // A picture that cannot be read or a server that is gone is named as such; a refusal
    // of the picture says X's reason.
    why = !answer.answered
              ? XReason(answer)
              : SUserText("图片上传失败(%1)",
                          {data.is_object() ? SUserText(kUnreadable) : XReason(answer)});
  }
  return id;
}

bool PostToX(const SServiceRow& row, CSession& session, const std::string& text,
             const std::string& picture) {
  auto fail = [&](const SUserText& why) {
    session.Log(row.post.failureLine);
    session.Log({"原因:%1", {why}});
    return false;
  };
  const std::vector<std::string> missing = MissingConsumerKeys(row);
  if (missing.size() == 1)
    return fail({"Services.ini的[Consumers]中缺少%1(X应用的密钥)", {TextValue(missing[0])}});
  if (!missing.empty())
    return fail({"Services.ini的[Consumers]中缺少%1和%2(X应用的密钥)",
                 {TextValue(missing[0]), TextValue(missing[1])}});
  const SAccountSnapshot account = session.Account(row);
  Json body = {{"text", text}};
  if (!picture.empty()) {
    SUserText why;
    const std::string mediaId = UploadToX(row, session, account, picture, why);
    if (mediaId.empty()) return fail(why);
    body["media"] = {{"media_ids", Json::array({mediaId})}};
  }
  CWeiboParam params;
  AddAccountParams(row, params, account.accessToken, account.accessSecret);
  // Text that is not valid UTF-8 goes with replacement characters rather than not at all.
  params.SetBody("application/json", body.dump(-1, ' ', false, Json::error_handler_t::replace));
  const SHttpAnswer answer =
      session.SignedRequest(EndpointAddress(kXTweets), EHttpMethod_Post, params, row.proxyPicked);
  const Json data = XData(answer);
  const std::string id = XId(data, "id");
  if (id.empty()) return fail(data.is_object() ? SUserText(kUnreadable) : XReason(answer));
  session.Log({"%1 %2", {row.post.successLine, TextValue(kStatusPage + id)}});
  return true;
}

bool PostTwitter(const SServiceRow& row, CSession& session, const std::string& text,
                 const std::string& picture) {
  return UsesX() ? PostToX(row, session, text, picture) : PostOriginal(row, session, text, picture);
}

const SOwnFlows kTwitterFlows = {BindTwitter, CheckTwitterPost, PostTwitter, nullptr};

}  // namespace

extern const SServiceRow kTwitterRow = {
    .keyPrefix = "Twitter",
    .storesUserId = true,
    .proxyPicked = true,
    .notBoundText = "您选择了发表到Twitter，但是您尚未绑定Twitter账号!",
    .consumer = {"Twitter", "DVMEEfLd[\\897Ge2tCXJW", "e8IXPVCxV45[KrN8R6X3OIW[KlSn7tTOQLKbMoHNrZ"},
    .hosts = {&kApi, &kWeb},
    .web = &kWeb,
    // The plans hold the original interface's endpoints and the texts both interfaces
    // use; the own flows above run them.
    .bind =
        {
            .startLine = "绑定到Twitter...",
            .requestToken = {&kApi, false, "/oauth/request_token"},
            .callback = "oob",
            .callbackConfirmation = false,
            .authorize = {&kApi, false, "/oauth/authorize"},
            .accessToken = {&kApi, false, "/oauth/access_token"},
            .accessMethod = EHttpMethod_Get,
            .accessUserIdKey = "user_id",
            .accessNameKey = "screen_name",
            .requestFailed = "获取Request Token失败!",
            .requestRefused = kRequestTokenRefused,
            .accessFailed = "获取Access Token失败!",
            .accessRefused = kAccessTokenRefused,
            .userInfo = {},
            .userInfoMethod = EHttpMethod_Get,
            .readUserInfo = nullptr,
            .userInfoRequired = false,
        },
    .post =
        {
            .startLine = "正在发到Twitter...",
            .successLine = "成功发表一条Tweet!",
            .failureLine = "发表Tweet失败!",
            .text = {&kApi, false, "/1/statuses/update.json"},
            .picture = {},
            .usesClientIp = false,
            .addParams = AddStatusParam,
            .readAnswer = ReadStatusPost,
        },
    .poll = nullptr,
    .window =
        {
            .bindButton = {1028, "Twitter", 117, 10, 36, 15},
            .accountCaption = {-1, "Twitter:", 200, 46, 40, 8},
            .nameLabel = {1019, "未绑定", 242, 46, 109, 8},
            .sendBox = {1029, "发到Twitter", 350, 158, 56, 10},
            .sendKey = "SendToTwitter",
            .bindTabSlot = 13,
            .sendTabSlot = 15,
        },
    .own = &kTwitterFlows,
    .choices = {&kApiChoice},
};
