// Bluesky (the AT Protocol), on bsky.social or any self-hosted PDS: its row and its own
// flows. The account signs in with an app password (com.atproto.server.createSession);
// its data requests then go to the PDS its DID document names. The access token is
// renewed with the refresh token when the server says it has expired; refresh tokens
// rotate, so a new pair is written to the settings before it is used, and only one
// renewal runs at a time. A post is an app.bsky.feed.post record with its facets (links,
// #tags, @mentions) and an optional picture; its record key is chosen beforehand, so a
// lost answer is checked, never blindly sent again. Notifications are polled for
// mentions, replies, quotes and follows, and never marked as seen.
// No password or token ever goes into a log line or message box: only texts read from
// error answers do, made log-safe.
#include "services/Bluesky.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "services/BlueskyText.h"
#include "services/Mastodon.h"
#include "services/Picture.h"
#include "services/Readers.h"
#include "services/Session.h"
#include "settings/Profile.h"

namespace {

using Json = nlohmann::json;

// The server the sign-in offers when none was used before; Services.ini may name another
// (the emulator's, for instance). The web app the alerts and posts lead to.
constexpr SHostDef kSuggestedServer = {"Bluesky", "bsky.social"};
constexpr SHostDef kWebApp = {"BlueskyWeb", "bsky.app"};
const char* const kAppPasswords = "https://bsky.app/settings/app-passwords";

constexpr std::size_t kMaxImageBytes = 1000000;  // the largest picture the server takes
constexpr std::size_t kMaxPictureFile = 64u << 20;
constexpr int kMaxBackoffMs = 15 * 60 * 1000;
const char* const kPostType = "app.bsky.feed.post";

const char* const kReason = "%1\r\n\r\n失败原因:%2";
const char* const kBadServer =
    "Bluesky服务器地址无效!\r\n\r\n请输入服务器的域名(如bsky.social)，"
    "或以https://开头的地址，不要带路径。";
const char* const kNoAccount = "请输入Bluesky账号(用户名或邮箱)和应用专用密码!";
const char* const kUnreachable = "无法连接到Bluesky服务器!";
const char* const kNotXrpc = "该服务器不是Bluesky服务器(不支持XRPC接口)，请检查服务器地址!";
const char* const kWrongPassword =
    "Bluesky账号或密码错误!\r\n\r\n请检查账号(用户名或邮箱)和应用专用密码。";
const char* const kNeedAppPassword =
    "该Bluesky账号开启了两步验证，不能用账号的主密码绑定!\r\n\r\n"
    "请在Bluesky的设置中创建一个应用专用密码(设置 > 隐私与安全 > 应用专用密码)，再用它绑定。";
const char* const kTakedown = "该Bluesky账号已被服务器封禁(AccountTakedown)，无法绑定!";
const char* const kInactive = "该Bluesky账号当前不可用(已停用或被暂停)，无法绑定!";
const char* const kSignInFailed = "登录Bluesky失败!";
const char* const kTokenRefused = "Bluesky账号的授权已失效，请重新绑定Bluesky账号。";
const char* const kUnreadable = "服务器的回应无法识别";

std::string Setting(const char* key) { return ProfileString(false, key, "", "", 16384); }

// ---- requests and answers ----

SHttpRequest Xrpc(const std::string& host, const char* method, EHttpMethod verb) {
  SHttpRequest request;
  request.url = "https://" + host + "/xrpc/" + method;
  request.method = verb;
  return request;
}

SHttpRequest JsonPost(const std::string& host, const char* method, const Json& input) {
  SHttpRequest request = Xrpc(host, method, EHttpMethod_Post);
  request.contentType = "application/json";
  // Text that is not UTF-8 is sent with replacement characters rather than not at all.
  request.body = input.dump(-1, ' ', false, Json::error_handler_t::replace);
  return request;
}

// The XRPC error name of an answer ("" when it has none).
std::string ErrorName(const SHttpAnswer& answer) {
  return answer.answered ? JsonText(ParseJson(answer.body), "error") : std::string();
}

// Why a request failed, for a message box or a log line: why no answer came, the server's
// message or error name, or the HTTP status.
SUserText Reason(const SHttpAnswer& answer) {
  if (!answer.answered) {
    const SUserText why = FailureReason(answer);
    return why.empty() ? SUserText("没有收到回应") : why;
  }
  const Json body = ParseJson(answer.body);
  std::string why = JsonText(body, "message");
  if (why.empty()) why = JsonText(body, "error");
  if (why.empty() && answer.status >= 200 && answer.status < 300) return kUnreadable;
  if (why.empty()) why = "HTTP " + std::to_string(answer.status);
  return TextValue(LogSafeText(why, 200));
}

// A message box: what failed, and why.
SUserText Failure(const char* what, const SUserText& why) { return {kReason, {what, why}}; }

// An answer that says the access token is no longer good.
bool TokenExpired(const SHttpAnswer& answer) {
  const std::string error = ErrorName(answer);
  return answer.answered &&
         (answer.status == 401 || error == "ExpiredToken" || error == "InvalidToken");
}

// A handle as an address may carry it: letters, digits, "." and "-", in lower case.
std::string CleanHandle(std::string handle) {
  if (handle.empty() || handle.size() > 253 ||
      handle.find_first_not_of(
          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") != std::string::npos)
    return {};
  std::transform(handle.begin(), handle.end(), handle.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return handle;
}

bool IsDid(const std::string& did) {
  return did.size() > 4 && did.size() <= 2048 && did.compare(0, 4, "did:") == 0 &&
         did.find_first_not_of(
             "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._:%-") ==
             std::string::npos;
}

// The PDS a DID document names (its #atproto_pds service, https only) as host[:port];
// "" when it names none that can be used.
std::string PdsOf(const Json& didDoc) {
  if (!didDoc.is_object()) return {};
  const auto services = didDoc.find("service");
  if (services == didDoc.end() || !services->is_array()) return {};
  for (const Json& service : *services) {
    const std::string id = JsonText(service, "id");
    const std::string suffix = "#atproto_pds";
    if (id.size() < suffix.size() || id.compare(id.size() - suffix.size(), suffix.size(), suffix))
      continue;
    const std::string endpoint = JsonText(service, "serviceEndpoint");
    std::string host;
    if (endpoint.compare(0, 8, "https://") == 0 && ParseMastodonServer(endpoint, host)) return host;
  }
  return {};
}

// ---- the session's tokens ----

// One renewal at a time across the workers; the refresh tokens the server has refused
// (polling waits, and posts fail, until the account is bound again).
std::mutex g_refreshMutex;
std::set<std::string> g_refusedRefresh;

bool Refused(const std::string& refreshToken) {
  std::lock_guard<std::mutex> lock(g_refreshMutex);
  return g_refusedRefresh.count(refreshToken) > 0;
}

// The account a worker acts for, renewing its tokens when the server says they expired.
struct SClient {
  const SServiceRow& row;
  CSession& session;
  SAccountSnapshot account;
  bool refused = false;  // the renewal was refused: the account must be bound again

  // Sends the request with the access token; when it has expired, renews it (once) and
  // sends the request again, which is safe since the first one was answered.
  SHttpAnswer Send(SHttpRequest request) {
    request.bearer = account.accessToken;
    SHttpAnswer answer = session.Http(request);
    if (!TokenExpired(answer) || session.IsClosing() || !Renew()) return answer;
    request.bearer = account.accessToken;
    return session.Http(request);
  }

  // com.atproto.server.refreshSession, unless another worker has renewed the pair since
  // this one read it: then that pair is taken.
  bool Renew() {
    std::lock_guard<std::mutex> lock(g_refreshMutex);
    const SAccountSnapshot now = session.Account(row);
    if (!now.bound) return false;
    if (g_refusedRefresh.count(now.accessSecret)) {
      refused = true;
      return false;
    }
    if (now.accessToken != account.accessToken) {
      account = now;
      return true;
    }
    SHttpRequest request = Xrpc(now.server, "com.atproto.server.refreshSession", EHttpMethod_Post);
    request.bearer = now.accessSecret;
    const SHttpAnswer answer = session.Http(request);
    const Json body = answer.status == 200 ? ParseJson(answer.body) : Json();
    const std::string access = JsonText(body, "accessJwt");
    const std::string refresh = JsonText(body, "refreshJwt");
    if (!access.empty() && !refresh.empty()) {
      // An account bound anew while the renewal ran is the one to keep.
      const SAccountSnapshot after = session.Account(row);
      if (after.accessSecret != now.accessSecret) {
        account = after;
        return after.bound;
      }
      // The old refresh token no longer works: the new pair is stored before it is used.
      SUserText why;
      if (!ProfileWriteStrings({{"BlueskyAccessJwt", access}, {"BlueskyRefreshJwt", refresh}},
                               &why))
        session.Log({"Bluesky的新授权无法保存到设置文件，下次启动后需要重新绑定。原因:%1", {why}});
      account = now;
      account.accessToken = access;
      account.accessSecret = refresh;
      session.SetAccount(row, account);
      return true;
    }
    const std::string error = ErrorName(answer);
    if (answer.answered &&
        (answer.status == 401 || error == "ExpiredToken" || error == "InvalidToken")) {
      g_refusedRefresh.insert(now.accessSecret);
      session.Log(kTokenRefused);
      refused = true;
    }
    return false;  // no answer, or one that cannot be read: the next request tries again
  }
};

// ---- signing in ----

std::string Trim(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

struct SBlueskyBind {
  CSession& session;
  std::string server, pds, handle;
  SPendingAccount pending;
  SUserText error;  // message box of a failed step; empty for none

  // The message box for a refused sign-in.
  void Refusal(const SHttpAnswer& answer) {
    const Json body = ParseJson(answer.body);
    const std::string name = JsonText(body, "error");
    if (!body.is_object() || name.empty())
      error = Failure(kNotXrpc, TextValue("HTTP " + std::to_string(answer.status)));
    else if (name == "AuthFactorTokenRequired")
      error = kNeedAppPassword;
    else if (name == "AccountTakedown")
      error = kTakedown;
    else if (answer.status == 401)
      error = kWrongPassword;
    else
      error = Failure(kSignInFailed, Reason(answer));
  }

  bool Run() {
    SSignInForm form;
    form.title = "绑定Bluesky";
    form.serverLabel = "服务器:";
    form.server = Setting("BlueskyServer");
    if (form.server.empty()) ParseMastodonServer(HttpsUrl(kSuggestedServer, ""), form.server);
    form.accountLabel = "账号:";
    form.account = Setting("BlueskyHandle");
    form.passwordLabel = "应用专用密码:";
    form.linkCaption = "创建应用专用密码...";
    form.linkUrl = kAppPasswords;
    form.passwordPattern = "xxxx-xxxx-xxxx-xxxx";
    form.passwordWarning =
        "这个密码不像Bluesky的应用专用密码(格式为xxxx-xxxx-xxxx-xxxx)。\r\n\r\n"
        "建议不要使用账号的主密码，请点击\"创建应用专用密码...\"创建一个。"
        "如果确实要使用这个密码，请再次点击\"确定\"。";
    const SSignInAnswer typed = session.AskSignIn(form);
    if (!typed.ok) return false;  // cancelled: no message box
    if (!ParseMastodonServer(Trim(typed.server), server)) {
      error = kBadServer;
      return false;
    }
    std::string account = Trim(typed.account);
    if (!account.empty() && account[0] == '@') account.erase(0, 1);
    if (account.empty() || typed.password.empty()) {
      error = kNoAccount;
      return false;
    }
    const SHttpAnswer answer =
        session.Http(JsonPost(server, "com.atproto.server.createSession",
                              {{"identifier", account}, {"password", typed.password}}));
    if (!answer.answered) {
      error = Failure(kUnreachable, Reason(answer));
      return false;
    }
    if (answer.status != 200) {
      Refusal(answer);
      return false;
    }
    const Json body = ParseJson(answer.body);
    if (!body.is_object()) {
      error = kNotXrpc;
      return false;
    }
    pending.accessToken = JsonText(body, "accessJwt");
    pending.accessSecret = JsonText(body, "refreshJwt");
    pending.userId = JsonText(body, "did");
    handle = CleanHandle(JsonText(body, "handle"));
    if (pending.accessToken.empty() || pending.accessSecret.empty() || !IsDid(pending.userId) ||
        handle.empty()) {
      error = Failure(kSignInFailed, kUnreadable);
      return false;
    }
    const auto active = body.find("active");
    if (active != body.end() && active->is_boolean() && !active->get<bool>()) {
      const std::string status = LogSafeText(JsonText(body, "status"), 100);
      error = status.empty() ? SUserText(kInactive) : Failure(kInactive, TextValue(status));
      return false;
    }
    const auto didDoc = body.find("didDoc");
    pds = didDoc != body.end() ? PdsOf(*didDoc) : std::string();
    if (pds.empty()) pds = server;
    pending.server = pds;
    pending.name = "@" + handle;
    return true;
  }

  // The account's keys, the handle (which marks the account as bound) last, for the
  // binding frame to write in one replace.
  std::vector<std::pair<std::string, std::string>> Keys() const {
    return {{"BlueskyServer", server},
            {"BlueskyPds", pds},
            {"BlueskyDid", pending.userId},
            {"BlueskyAccessJwt", pending.accessToken},
            {"BlueskyRefreshJwt", pending.accessSecret},
            {"BlueskyHandle", handle}};
  }
};

SBindOutcome BindBluesky(const SServiceRow&, CSession& session) {
  SBlueskyBind run{session, {}, {}, {}, {}, {}};
  return RunBindingSteps(run);
}

SAccountSnapshot RestoreBluesky(const SServiceRow&) {
  SAccountSnapshot account;
  account.accessToken = Setting("BlueskyAccessJwt");
  account.accessSecret = Setting("BlueskyRefreshJwt");
  account.userId = Setting("BlueskyDid");
  account.server = Setting("BlueskyPds");
  std::string typed;
  if (account.server.empty() && ParseMastodonServer(Setting("BlueskyServer"), typed))
    account.server = typed;
  const std::string handle = CleanHandle(Setting("BlueskyHandle"));
  account.bound = !handle.empty() && !account.accessToken.empty() &&
                  !account.accessSecret.empty() && IsDid(account.userId) && !account.server.empty();
  if (account.bound) account.name = "@" + handle;
  return account;
}

// ---- posting ----

bool CheckBlueskyPost(const SServiceRow&, CSession&, const std::string& text, SUserText& message) {
  const std::size_t graphemes = bluesky::CountGraphemes(text);
  if (graphemes <= bluesky::kMaxGraphemes && text.size() <= bluesky::kMaxTextBytes) return true;
  message = {
      "发到Bluesky的内容有%1个字(%2字节)，超过了Bluesky允许的%3个字(%4字节)。\r\n\r\n"
      "请删减后再发送，本次没有发出任何内容。",
      {TextValue(std::to_string(graphemes)), TextValue(std::to_string(text.size())),
       TextValue(std::to_string(bluesky::kMaxGraphemes)),
       TextValue(std::to_string(bluesky::kMaxTextBytes))}};
  return false;
}

// The picture file's bytes; false for a file that is missing, not a regular file or huge.
bool ReadPictureFile(const std::string& path, std::string& bytes) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxPictureFile) return false;
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.good() || in.eof();
}

// Uploads the picture (scaled down when it is over the server's limit) and gives its
// embed; false with the reason.
bool UploadPicture(SClient& client, const std::string& path, Json& embed, SUserText& why) {
  std::string bytes;
  if (!ReadPictureFile(path, bytes)) {
    why = "图片无法读取(不存在、不是普通文件或太大)";
    return false;
  }
  SPicture picture;
  std::string reason;  // the picture helpers' own texts
  if (!ReadPicture(bytes, picture, reason)) {
    why = reason.c_str();
    return false;
  }
  if (picture.bytes.empty()) picture.bytes = std::move(bytes);
  if (picture.bytes.size() > kMaxImageBytes) {
    if (!ShrinkPicture(picture, kMaxImageBytes, reason)) {
      why = reason.c_str();
      return false;
    }
    client.session.Log("图片超过Bluesky允许的大小(1MB)，已缩小后上传。");
  }
  SHttpRequest request =
      Xrpc(client.account.server, "com.atproto.repo.uploadBlob", EHttpMethod_Post);
  request.contentType = picture.mime;
  request.body = picture.bytes;
  const SHttpAnswer answer = client.Send(request);
  const Json body = answer.status == 200 ? ParseJson(answer.body) : Json();
  const auto blob = body.is_object() ? body.find("blob") : body.end();
  if (!body.is_object() || blob == body.end() || !blob->is_object() || !blob->contains("ref")) {
    why = answer.answered ? SUserText("图片上传失败(%1)", {Reason(answer)}) : Reason(answer);
    return false;
  }
  Json image = {{"alt", ""}, {"image", *blob}};
  if (picture.width > 0 && picture.height > 0)
    image["aspectRatio"] = {{"width", picture.width}, {"height", picture.height}};
  embed = {{"$type", "app.bsky.embed.images"}, {"images", Json::array({image})}};
  return true;
}

// The DID of a handle, "" when it does not resolve.
std::string ResolveHandle(SClient& client, const std::string& handle) {
  SHttpRequest request =
      Xrpc(client.account.server, "com.atproto.identity.resolveHandle", EHttpMethod_Get);
  request.params.AddParam("handle", handle.c_str());
  const SHttpAnswer answer = client.session.Http(request);
  const std::string did = answer.status == 200 ? JsonText(ParseJson(answer.body), "did") : "";
  return IsDid(did) ? did : std::string();
}

// The facets of the text: links, tags, and the mentions whose handles resolve.
Json Facets(SClient& client, const std::string& text) {
  Json facets = Json::array();
  std::vector<std::pair<std::string, std::string>> resolved;  // handle, did
  for (const bluesky::SFacetSpan& span : bluesky::FindFacets(text)) {
    if (span.byteStart >= span.byteEnd || span.byteEnd > text.size() || span.value.empty())
      continue;
    Json feature;
    switch (span.kind) {
      case bluesky::SFacetSpan::EKind::Link:
        feature = {{"$type", "app.bsky.richtext.facet#link"}, {"uri", span.value}};
        break;
      case bluesky::SFacetSpan::EKind::Tag:
        feature = {{"$type", "app.bsky.richtext.facet#tag"}, {"tag", span.value}};
        break;
      case bluesky::SFacetSpan::EKind::Mention: {
        auto known = std::find_if(resolved.begin(), resolved.end(),
                                  [&](const auto& r) { return r.first == span.value; });
        if (known == resolved.end())
          known = resolved.insert(resolved.end(), {span.value, ResolveHandle(client, span.value)});
        if (known->second.empty()) continue;  // stays plain text
        feature = {{"$type", "app.bsky.richtext.facet#mention"}, {"did", known->second}};
        break;
      }
    }
    facets.push_back({{"index", {{"byteStart", span.byteStart}, {"byteEnd", span.byteEnd}}},
                      {"features", Json::array({feature})}});
  }
  return facets;
}

// Whether the record with this key exists: 1 yes, 0 no, -1 unknown.
int RecordExists(SClient& client, const std::string& rkey) {
  SHttpRequest request = Xrpc(client.account.server, "com.atproto.repo.getRecord", EHttpMethod_Get);
  request.params.AddParam("repo", client.account.userId.c_str());
  request.params.AddParam("collection", kPostType);
  request.params.AddParam("rkey", rkey.c_str());
  const SHttpAnswer answer = client.Send(request);
  if (answer.status == 200 && !JsonText(ParseJson(answer.body), "uri").empty()) return 1;
  if (ErrorName(answer) == "RecordNotFound") return 0;
  return -1;
}

bool PostBluesky(const SServiceRow& row, CSession& session, const std::string& text,
                 const std::string& picture) {
  SClient client{row, session, session.Account(row)};
  auto fail = [&](const SUserText& why) {
    session.Log(row.post.failureLine);
    if (!why.empty()) session.Log({"原因:%1", {why}});
    return false;
  };
  if (Refused(client.account.accessSecret)) return fail(kTokenRefused);
  Json record = {
      {"$type", kPostType},
      {"text", text},
      {"createdAt", bluesky::Rfc3339Utc(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::system_clock::now().time_since_epoch())
                                            .count())}};
  if (!picture.empty()) {
    SUserText why;
    Json embed;
    if (!UploadPicture(client, picture, embed, why))
      return fail(client.refused ? SUserText() : why);
    record["embed"] = embed;
  }
  const Json facets = Facets(client, text);
  if (!facets.empty()) record["facets"] = facets;

  // The key is chosen here: a record made by a request whose answer was lost is found
  // under it, and sending again could not make a second one.
  const std::string rkey = bluesky::NewTid();
  const SHttpRequest request = JsonPost(client.account.server, "com.atproto.repo.createRecord",
                                        {{"repo", client.account.userId},
                                         {"collection", kPostType},
                                         {"rkey", rkey},
                                         {"record", record}});
  SHttpAnswer answer = client.Send(request);
  bool made = false;
  if (!answer.answered && !session.IsClosing()) {
    const int exists = RecordExists(client, rkey);
    if (exists == 1) made = true;
    if (exists == 0) answer = client.Send(request);
    if (exists < 0) return fail({"%1，无法确认是否已发出", {Reason(answer)}});
  }
  if (client.refused) return fail({});
  if (!made) {
    const Json body = answer.status == 200 ? ParseJson(answer.body) : Json();
    made = !JsonText(body, "uri").empty();
    if (!made) return fail(Reason(answer));
  }
  // An account whose handle does not verify is shown by its DID.
  std::string handle = client.account.name.size() > 1 ? client.account.name.substr(1) : "";
  if (handle == "handle.invalid") handle.clear();
  session.Log(row.post.successLine);
  session.Log("查看地址:");
  session.Log(TextValue("https://" + HostOf(kWebApp) + "/profile/" +
                        (handle.empty() ? client.account.userId : handle) + "/post/" + rkey));
  return true;
}

// ---- polling ----

void PollBluesky(const SServiceRow& row, CSession& session, SPollCursor& cursor) {
  const bool mentions = session.AlertTicked(EAlertGate::AtMe);
  const bool follows = session.AlertTicked(EAlertGate::Fans);
  if (!mentions && !follows) return;
  SClient client{row, session, session.Account(row)};
  if (!client.account.bound || Refused(client.account.accessSecret)) return;
  // Another account starts over; renewed tokens of the same one keep the baseline.
  if (client.account.userId != cursor.token) cursor = SPollCursor{.intervalMs = cursor.intervalMs};
  cursor.token = client.account.userId;

  SHttpRequest request =
      Xrpc(client.account.server, "app.bsky.notification.listNotifications", EHttpMethod_Get);
  request.params.AddParam("limit", "50");
  for (const char* reason : {"mention", "reply", "quote", "follow"})
    request.params.AddParam("reasons", reason);
  const SHttpAnswer answer = client.Send(request);
  if (session.IsClosing() || !answer.answered || client.refused) return;

  const int interval = cursor.intervalMs;
  if (answer.status == 429 || answer.status == 503) {
    // The server asks for a pause: until its reset time (never less than the usual
    // interval), else twice the last one, up to a quarter of an hour.
    ++cursor.backoffs;
    long long delay = interval;
    const long long untilReset =
        answer.rateLimitReset >= 0 ? answer.rateLimitReset - std::time(nullptr) : -1;
    const long long wait = untilReset >= 0 ? untilReset : answer.retryAfterS;
    if (wait >= 0) {
      delay = std::max<long long>(wait * 1000LL, interval);
    } else {
      for (int i = 0; i < cursor.backoffs && delay < kMaxBackoffMs; ++i) delay *= 2;
    }
    cursor.nextDelayMs = static_cast<int>(std::min<long long>(delay, kMaxBackoffMs));
    return;
  }
  cursor.backoffs = 0;
  const Json body = answer.status == 200 ? ParseJson(answer.body) : Json();
  const auto list = body.is_object() ? body.find("notifications") : body.end();
  if (!body.is_object() || list == body.end() || !list->is_array()) return;

  // Newest first: what comes before the first one seen last time is new.
  int newMentions = 0, newFollows = 0;
  bool reachedSeen = false;
  std::vector<std::string> seen;
  for (const Json& item : *list) {
    const std::string uri = JsonText(item, "uri");
    if (uri.empty()) continue;
    if (seen.size() < 100) seen.push_back(uri);
    if (!cursor.baseline || reachedSeen) continue;
    if (std::find(cursor.seen.begin(), cursor.seen.end(), uri) != cursor.seen.end()) {
      reachedSeen = true;
      continue;
    }
    const std::string reason = JsonText(item, "reason");
    if (reason == "mention" || reason == "reply" || reason == "quote") ++newMentions;
    if (reason == "follow") ++newFollows;
  }
  const bool first = !cursor.baseline;
  cursor.baseline = true;
  if (!seen.empty() || first) cursor.seen = std::move(seen);
  if (first) return;  // the first answer only sets the baseline
  for (const SAlertKind& kind : row.poll->kinds) {
    const int count = kind.gate == EAlertGate::AtMe ? newMentions : newFollows;
    if (count > 0 && session.AlertTicked(kind.gate)) session.Alert(kind.kind, count);
  }
}

const SOwnFlows kFlows = {
    .bind = BindBluesky,
    .checkPost = CheckBlueskyPost,
    .post = PostBluesky,
    .poll = PollBluesky,
    .restore = RestoreBluesky,
};

const SPollPlan kPoll = {
    .endpoint = {},
    .fixedParams = {},
    .isValid = nullptr,
    .kinds = {{.kind = 41,
               .counterKey = "mention",
               .gate = EAlertGate::AtMe,
               .title = "Bluesky有提到我的消息",
               .text = "您在Bluesky上收到了%1条新提及",
               .page = {&kWebApp, true, "/notifications"},
               .part = EAccountPart::None,
               .pathAfter = ""},
              {.kind = 42,
               .counterKey = "follow",
               .gate = EAlertGate::Fans,
               .title = "您在Bluesky上有新关注者",
               .text = "您在Bluesky上增加了%1个新关注者",
               .page = {&kWebApp, true, "/notifications"},
               .part = EAccountPart::None,
               .pathAfter = ""}},
    .intervalMs = 45000,
};

}  // namespace

extern const SServiceRow kBlueskyRow = {
    .keyPrefix = "Bluesky",
    .storesUserId = true,
    .proxyPicked = false,
    .notBoundText = "您选择了发表到Bluesky，但是您尚未绑定Bluesky账号!",
    .consumer = {"", "", ""},
    .hosts = {&kSuggestedServer, &kWebApp},
    .web = nullptr,
    .webAddress = "https://bsky.app/",
    .bind = {.startLine = "绑定到Bluesky..."},
    .post =
        {
            .startLine = "正在发到Bluesky...",
            .successLine = "成功发表到Bluesky!",
            .failureLine = "发表Bluesky失败!",
        },
    .poll = &kPoll,
    .window =
        {
            .bindButton = {1033, "Bluesky", 6, 27, 36, 15},
            .accountCaption = {-1, "Bluesky:", 200, 68, 40, 8},
            .nameLabel = {1034, "未绑定", 242, 68, 109, 8},
            .sendBox = {1035, "发到Bluesky", 200, 170, 56, 10},
            .sendKey = "SendToBluesky",
            .bindTabSlot = 19,
            .sendTabSlot = 20,
            .quickAccess = {32784, "Bluesky(&B)"},
        },
    .own = &kFlows,
};

namespace bluesky {

std::string MakeTid(uint64_t microseconds, unsigned clockId) {
  static const char kAlphabet[] = "234567abcdefghijklmnopqrstuvwxyz";
  uint64_t value = ((microseconds & ((uint64_t(1) << 53) - 1)) << 10) | (clockId & 1023u);
  std::string tid(13, '2');
  for (int i = 12; i >= 0; --i) {
    tid[static_cast<size_t>(i)] = kAlphabet[value & 31];
    value >>= 5;
  }
  return tid;
}

std::string NewTid() {
  static std::mutex mutex;
  static uint64_t last = 0;
  static const unsigned clockId = std::random_device()() & 1023u;
  uint64_t now = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                           std::chrono::system_clock::now().time_since_epoch())
                                           .count());
  std::lock_guard<std::mutex> lock(mutex);
  if (now <= last) now = last + 1;
  last = now;
  return MakeTid(now, clockId);
}

std::string Rfc3339Utc(int64_t millisecondsSince1970) {
  const std::time_t seconds = static_cast<std::time_t>(millisecondsSince1970 / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03dZ", static_cast<int>(millisecondsSince1970 % 1000));
  return std::string(text, n) + millis;
}

}  // namespace bluesky
