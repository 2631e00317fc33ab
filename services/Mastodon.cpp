// Mastodon, or any server that speaks its API: its row and its own flows. The account is
// bound with OAuth 2.0 and an out-of-band code, the program registering itself once per
// server (the code from the authorisation page, the token, the account's name); a status
// is checked against the server's limit, posted with an optional picture, and the
// server's notifications are polled. Requests are bearer-token ones, answers JSON.
// Nothing secret (token, client secret, code) ever goes into a log line or message box:
// only texts read from error answers do, made log-safe.
#include "services/Mastodon.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string_view>

#include "net/TextOps.h"
#include "qwblog/OAuth.h"
#include "services/Readers.h"
#include "services/Session.h"
#include "settings/Profile.h"

namespace {

using Json = nlohmann::json;

const char* const kRedirect = "urn:ietf:wg:oauth:2.0:oob";
const char* const kScopes = "write:statuses write:media read:notifications read:accounts";
const char* const kClientName = "Plumfinch";
const char* const kWebsite = "https://www.plumfinch.net";

const char* const kBadServer =
    "Mastodon服务器地址无效!\r\n\r\n请输入服务器的域名(如mastodon.social)，"
    "或以https://开头的地址，不要带路径。";
const char* const kAppFailed = "向Mastodon服务器注册应用失败!";
const char* const kTokenFailed = "获取Mastodon访问令牌失败!";
const char* const kUserInfoFailed = "获取用户信息失败";
const char* const kReason = "%1\r\n\r\n失败原因:%2";
const char* const kTokenRefused = "Mastodon账号的授权已失效，请重新绑定Mastodon账号。";

// The server the binding suggests when none was bound before; Services.ini may name
// another (the emulator's, for instance).
constexpr SHostDef kSuggestedServer = {"Mastodon", "mastodon.social"};

constexpr int kMediaWaitMs = 60000;  // how long a picture may take to be processed
constexpr int kMediaCheckMs = 1000;
constexpr int kMaxBackoffMs = 15 * 60 * 1000;
// Answers are parsed by the shared reader, which refuses nesting no real answer has.
Json Parse(const std::string& text) { return ParseJson(text); }

// A member that is text (ids may come as numbers from some servers).
std::string Text(const Json& object, const char* name) { return JsonText(object, name); }

// Why the server refused, for a message box or log line: its error description, its
// error, or the HTTP status.
SUserText Reason(const SHttpAnswer& answer) {
  if (!answer.answered) return FailureReason(answer);
  const Json body = Parse(answer.body);
  std::string why = Text(body, "error_description");
  if (why.empty()) why = Text(body, "error");
  if (why.empty() && answer.status >= 200 && answer.status < 300) return "服务器的回应无法识别";
  if (why.empty()) why = "HTTP " + std::to_string(answer.status);
  return TextValue(LogSafeText(why, 200));
}

SUserText Failure(const char* what, const SHttpAnswer& answer) {
  const SUserText why = Reason(answer);
  return why.empty() ? SUserText(what) : SUserText(kReason, {what, why});
}

std::string Setting(const char* key) { return ProfileString(false, key, "", "", 512); }

struct SClient {
  std::string id, secret;
};

// Registrations made during this run that no binding has stored yet, by server: a
// cancelled binding tried again registers nothing new.
std::mutex g_clientsMutex;
std::vector<std::pair<std::string, SClient>> g_clients;

SHttpRequest Request(const std::string& server, const char* path, EHttpMethod method,
                     const std::string& bearer = {}) {
  SHttpRequest request;
  request.url = "https://" + server + path;
  request.method = method;
  request.bearer = bearer;
  return request;
}

// ---- binding ----

struct SMastodonBind {
  CSession& session;
  std::string server;
  SClient client;
  std::string code;
  SPendingAccount pending;
  SUserText error;  // message box of a failed step; empty for none

  bool AskServer() {
    std::string suggested = Setting("MastodonServer");
    if (suggested.empty()) ParseMastodonServer(HttpsUrl(kSuggestedServer, ""), suggested);
    const std::string typed = session.AskServer(suggested);
    if (typed.empty()) return false;  // cancelled
    if (ParseMastodonServer(typed, server)) return true;
    error = kBadServer;
    return false;
  }

  // The program's registration on the server: the stored one when it is for this
  // server, else one made in this run, else a new one.
  bool Register() {
    if (Setting("MastodonServer") == server) {
      client = {Setting("MastodonClientId"), Setting("MastodonClientSecret")};
      if (!client.id.empty() && !client.secret.empty()) return true;
    }
    {
      std::lock_guard<std::mutex> lock(g_clientsMutex);
      for (const auto& [known, registered] : g_clients)
        if (known == server) {
          client = registered;
          return true;
        }
    }
    SHttpRequest request = Request(server, "/api/v1/apps", EHttpMethod_Post);
    request.params.AddParam("client_name", kClientName);
    request.params.AddParam("redirect_uris", kRedirect);
    request.params.AddParam("scopes", kScopes);
    request.params.AddParam("website", kWebsite);
    const SHttpAnswer answer = session.Http(request);
    const Json body = answer.status == 200 ? Parse(answer.body) : Json();
    client = {Text(body, "client_id"), Text(body, "client_secret")};
    if (client.id.empty() || client.secret.empty()) {
      error = Failure(kAppFailed, answer);
      return false;
    }
    std::lock_guard<std::mutex> lock(g_clientsMutex);
    g_clients.emplace_back(server, client);
    return true;
  }

  bool Authorize() {
    using qwblog::PercentEncode;
    session.OpenCodePage("https://" + server + "/oauth/authorize?response_type=code&client_id=" +
                         PercentEncode(client.id) + "&redirect_uri=" + PercentEncode(kRedirect) +
                         "&scope=" + PercentEncode(kScopes));
    code = session.AskCode();
    return !code.empty();
  }

  bool GetToken() {
    SHttpRequest request = Request(server, "/oauth/token", EHttpMethod_Post);
    request.params.AddParam("grant_type", "authorization_code");
    request.params.AddParam("code", code.c_str());
    request.params.AddParam("client_id", client.id.c_str());
    request.params.AddParam("client_secret", client.secret.c_str());
    request.params.AddParam("redirect_uri", kRedirect);
    request.params.AddParam("scope", kScopes);
    const SHttpAnswer answer = session.Http(request);
    pending.accessToken = answer.status == 200 ? Text(Parse(answer.body), "access_token") : "";
    if (!pending.accessToken.empty()) return true;
    error = Failure(kTokenFailed, answer);
    return false;
  }

  bool GetAccount() {
    const SHttpAnswer answer = session.Http(Request(server, "/api/v1/accounts/verify_credentials",
                                                    EHttpMethod_Get, pending.accessToken));
    const Json body = answer.status == 200 ? Parse(answer.body) : Json();
    std::string acct = Text(body, "acct");
    if (acct.empty()) acct = Text(body, "username");
    // The name is shown in a label and written to the settings: one plain line.
    acct = LogSafeText(acct, 200);
    if (acct.empty()) {
      error = kUserInfoFailed;
      return false;
    }
    pending.name = "@" + acct + (acct.find('@') == std::string::npos ? "@" + server : "");
    pending.server = server;
    return true;
  }

  bool Run() {
    if (!AskServer()) return false;
    if (!Register()) return false;
    if (!Authorize()) return false;  // cancelled: no message box
    return GetToken() && GetAccount();
  }

  // The account's keys, the name (which marks the account as bound) among them, for the
  // binding frame to write in one replace. The registration no longer needs keeping here
  // once it is among them.
  std::vector<std::pair<std::string, std::string>> Keys() const {
    return {{"MastodonServer", server},
            {"MastodonClientId", client.id},
            {"MastodonClientSecret", client.secret},
            {"MastodonAccessToken", pending.accessToken},
            {"MastodonName", pending.name}};
  }
};

SBindOutcome BindMastodon(const SServiceRow&, CSession& session) {
  SMastodonBind run{session, {}, {}, {}, {}, {}};
  SBindOutcome outcome = RunBindingSteps(run);
  if (!outcome.bound) return outcome;
  // The registration is stored with the account from now on.
  std::lock_guard<std::mutex> lock(g_clientsMutex);
  g_clients.erase(std::remove_if(g_clients.begin(), g_clients.end(),
                                 [&](const auto& c) { return c.first == run.server; }),
                  g_clients.end());
  return outcome;
}

// ---- posting ----

bool CheckMastodonPost(const SServiceRow& row, CSession& session, const std::string& text,
                       SUserText& message) {
  const SAccountSnapshot account = session.Account(row);
  // The check asks the server, which may take a while: the user sees what is going on.
  session.Log("正在检查Mastodon服务器允许的字数...");
  const SHttpAnswer answer =
      session.Http(Request(account.server, "/api/v1/instance", EHttpMethod_Get));
  // Without an answer the usual limit holds; the post itself will say what went wrong.
  const int limit = ReadMastodonLimit(answer.status == 200 ? answer.body : std::string());
  const size_t length = MastodonStatusLength(text);
  if (length <= static_cast<size_t>(limit)) return true;
  message = {
      "发到Mastodon的内容有%1个字符，超过了服务器允许的%2个字符。\r\n\r\n"
      "请删减后再发送，本次没有发出任何内容。",
      {TextValue(std::to_string(length)), TextValue(std::to_string(limit))}};
  return false;
}

// Uploads the picture and waits until the server has processed it; its id, or "" with
// the reason in why.
std::string UploadPicture(const SAccountSnapshot& account, CSession& session,
                          const std::string& picture, SUserText& why) {
  SHttpRequest upload =
      Request(account.server, "/api/v2/media", EHttpMethod_Post, account.accessToken);
  upload.params.AddPicNameParam("file", picture.c_str());
  SHttpAnswer answer = session.Http(upload);
  std::string id = Text(Parse(answer.body), "id");
  if ((answer.status != 200 && answer.status != 202) || id.empty()) {
    // A server that is gone or a picture that cannot be read is named as such; a refusal
    // of the picture says the server's reason.
    why = answer.answered ? SUserText("图片上传失败(%1)", {Reason(answer)}) : Reason(answer);
    return {};
  }
  // 202: still being processed; the media's own address says 206 until it is done.
  for (int waited = 0; answer.status != 200; waited += kMediaCheckMs) {
    if (waited >= kMediaWaitMs || !session.Sleep(kMediaCheckMs)) {
      why = "图片处理超时";
      return {};
    }
    answer =
        session.Http(Request(account.server, ("/api/v1/media/" + qwblog::PercentEncode(id)).c_str(),
                             EHttpMethod_Get, account.accessToken));
    if (answer.status != 200 && answer.status != 206) {
      why = {"图片处理失败(%1)", {Reason(answer)}};
      return {};
    }
  }
  return id;
}

bool PostMastodon(const SServiceRow& row, CSession& session, const std::string& text,
                  const std::string& picture) {
  const SAccountSnapshot account = session.Account(row);
  auto fail = [&](const SUserText& why) {
    session.Log(row.post.failureLine);
    if (!why.empty()) session.Log({"原因:%1", {why}});
    return false;
  };
  std::string mediaId;
  if (!picture.empty()) {
    SUserText why;
    mediaId = UploadPicture(account, session, picture, why);
    if (mediaId.empty()) return fail(why);
  }
  SHttpRequest request =
      Request(account.server, "/api/v1/statuses", EHttpMethod_Post, account.accessToken);
  request.params.AddParam("status", text.c_str());
  if (!mediaId.empty()) request.params.AddParam("media_ids[]", mediaId.c_str());
  // The same key on a retry: a post whose answer was lost is not posted twice.
  request.headers.emplace_back("Idempotency-Key", qwblog::MakeNonce());
  SHttpAnswer answer = session.Http(request);
  if (!answer.answered && !session.IsClosing()) answer = session.Http(request);
  const Json body = answer.status == 200 ? Parse(answer.body) : Json();
  if (Text(body, "id").empty()) return fail(Reason(answer));
  session.Log(row.post.successLine);
  const std::string url = LogSafeText(Text(body, "url"));
  if (!url.empty()) {
    session.Log("查看地址:");
    session.Log(TextValue(url));
  }
  return true;
}

// ---- polling ----

void PollMastodon(const SServiceRow& row, CSession& session, SPollCursor& cursor) {
  const bool mentions = session.AlertTicked(EAlertGate::AtMe);
  const bool follows = session.AlertTicked(EAlertGate::Fans);
  if (!mentions && !follows) return;
  const SAccountSnapshot account = session.Account(row);
  if (!account.bound) return;
  // A new binding starts over: new baseline, no refusal.
  if (account.accessToken != cursor.token) cursor = SPollCursor();
  cursor.token = account.accessToken;
  if (cursor.refusedToken == account.accessToken) return;

  SHttpRequest request =
      Request(account.server, "/api/v1/notifications", EHttpMethod_Get, account.accessToken);
  request.params.AddParam("types[]", "mention");
  request.params.AddParam("types[]", "follow");
  if (cursor.baseline) request.params.AddParam("since_id", cursor.sinceId.c_str());
  request.params.AddParam("limit", "40");
  const SHttpAnswer answer = session.Http(request);
  if (session.IsClosing() || !answer.answered) return;

  const int interval = cursor.intervalMs;
  if (answer.status == 429 || answer.status == 503) {
    // The server asks for a pause: as long as it says, else twice the last one.
    ++cursor.backoffs;
    long long delay = interval;
    if (answer.retryAfterS >= 0) {
      delay = std::max<long long>(answer.retryAfterS * 1000LL, interval);
    } else {
      for (int i = 0; i < cursor.backoffs && delay < kMaxBackoffMs; ++i) delay *= 2;
    }
    cursor.nextDelayMs = static_cast<int>(std::min<long long>(delay, kMaxBackoffMs));
    return;
  }
  cursor.backoffs = 0;
  if (answer.status == 401) {
    session.Log(kTokenRefused);
    cursor.refusedToken = account.accessToken;
    return;
  }
  const Json list = answer.status == 200 ? Parse(answer.body) : Json();
  if (!list.is_array()) return;

  int newMentions = 0, newFollows = 0;
  std::string newest = cursor.baseline ? cursor.sinceId : std::string();
  for (const Json& item : list) {
    const std::string id = Text(item, "id");
    if (id.empty()) continue;
    if (cursor.baseline && !MastodonIdAfter(id, cursor.sinceId)) continue;
    if (newest.empty() || MastodonIdAfter(id, newest)) newest = id;
    const std::string type = Text(item, "type");
    if (type == "mention") ++newMentions;
    if (type == "follow") ++newFollows;
  }
  const bool first = !cursor.baseline;
  cursor.baseline = true;
  cursor.sinceId = newest.empty() ? "0" : newest;
  if (first) return;  // the first answer only sets the baseline
  const std::vector<SAlertKind>& kinds = row.poll->kinds;
  for (const SAlertKind& kind : kinds) {
    const int count = kind.gate == EAlertGate::AtMe ? newMentions : newFollows;
    if (count > 0 && session.AlertTicked(kind.gate)) session.Alert(kind.kind, count);
  }
}

const SOwnFlows kFlows = {
    .bind = BindMastodon,
    .checkPost = CheckMastodonPost,
    .post = PostMastodon,
    .poll = PollMastodon,
};

const SPollPlan kPoll = {
    .endpoint = {},
    .fixedParams = {},
    .isValid = nullptr,
    .kinds = {{.kind = 31,
               .counterKey = "mention",
               .gate = EAlertGate::AtMe,
               .title = "Mastodon有提到我的消息",
               .text = "您在Mastodon上收到了%1条新提及",
               .page = {nullptr, true, "/notifications"},
               .part = EAccountPart::Server,
               .pathAfter = ""},
              {.kind = 32,
               .counterKey = "follow",
               .gate = EAlertGate::Fans,
               .title = "您在Mastodon上有新关注者",
               .text = "您在Mastodon上增加了%1个新关注者",
               .page = {nullptr, true, "/notifications"},
               .part = EAccountPart::Server,
               .pathAfter = ""}},
    .intervalMs = 45000,
};

}  // namespace

extern const SServiceRow kMastodonRow = {
    .keyPrefix = "Mastodon",
    .storesUserId = false,
    .storesServer = true,
    .proxyPicked = false,
    .notBoundText = "您选择了发表到Mastodon，但是您尚未绑定Mastodon账号!",
    .consumer = {"", "", ""},
    .hosts = {&kSuggestedServer},
    .web = nullptr,
    .webAddress = "https://joinmastodon.org/",
    .bind = {.startLine = "绑定到Mastodon..."},
    .post =
        {
            .startLine = "正在发到Mastodon...",
            .successLine = "成功发表到Mastodon!",
            .failureLine = "发表Mastodon失败!",
        },
    .poll = &kPoll,
    .window =
        {
            .bindButton = {1030, "Mastodon", 154, 10, 36, 15},
            .accountCaption = {-1, "Mastodon:", 200, 57, 40, 8},
            .nameLabel = {1031, "未绑定", 242, 57, 109, 8},
            .sendBox = {1032, "发到Mastodon", 410, 158, 62, 10},
            .sendKey = "SendToMastodon",
            .bindTabSlot = 14,
            .sendTabSlot = 16,
            .quickAccess = {32783, "Mastodon(&M)"},
        },
    .own = &kFlows,
};

bool ParseMastodonServer(const std::string& text, std::string& server) {
  std::string rest = text;
  if (StartsWithNoCase(rest, "https://")) {
    rest.erase(0, 8);
  } else if (rest.find("://") != std::string::npos) {
    return false;  // http:// or another scheme
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  // Letters, digits, ". - _ : [ ]" only: no path, query, user information or blank.
  if (!IsHostText(rest)) return false;
  std::string host = rest, port;
  if (rest.front() == '[') {  // an IPv6 address
    const size_t close = rest.find(']');
    if (close == std::string::npos) return false;
    host = rest.substr(0, close + 1);
    const std::string after = rest.substr(close + 1);
    if (!after.empty() && (after[0] != ':' || after.size() == 1)) return false;
    if (!after.empty()) port = after.substr(1);
  } else {
    const size_t colon = rest.find(':');
    if (colon != std::string::npos) {
      host = rest.substr(0, colon);
      port = rest.substr(colon + 1);
      if (port.empty()) return false;
    }
    if (host.empty() || host.find_first_of("[]") != std::string::npos || host.front() == '.' ||
        host.front() == '-' || host.back() == '.' || host.find("..") != std::string::npos)
      return false;
  }
  if (!port.empty() &&
      (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
       std::stoi(port) < 1 || std::stoi(port) > 65535))
    return false;
  std::transform(rest.begin(), rest.end(), rest.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  server = rest;
  return true;
}

size_t MastodonStatusLength(const std::string& utf8) {
  size_t length = 0;
  for (size_t i = 0; i < utf8.size();) {
    if (utf8.compare(i, 7, "http://") == 0 || utf8.compare(i, 8, "https://") == 0) {
      while (i < utf8.size() && !std::isspace(static_cast<unsigned char>(utf8[i]))) ++i;
      length += 23;
      continue;
    }
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) ++length;
    ++i;
  }
  return length;
}

int ReadMastodonLimit(const std::string& instanceAnswer) {
  const Json body = Parse(instanceAnswer);
  const Json* limit = nullptr;
  if (body.is_object()) {
    const auto config = body.find("configuration");
    if (config != body.end() && config->is_object()) {
      const auto statuses = config->find("statuses");
      if (statuses != config->end() && statuses->is_object()) {
        const auto chars = statuses->find("max_characters");
        if (chars != statuses->end()) limit = &*chars;
      }
    }
    const auto old = body.find("max_toot_chars");
    if (!limit && old != body.end()) limit = &*old;
  }
  if (limit && limit->is_number_integer()) {
    const long long value = limit->get<long long>();
    if (value > 0 && value <= 1000000) return static_cast<int>(value);
  }
  return 500;
}

bool MastodonIdAfter(const std::string& a, const std::string& b) {
  const bool numbers = a.find_first_not_of("0123456789") == std::string::npos &&
                       b.find_first_not_of("0123456789") == std::string::npos;
  if (numbers) {
    const size_t za = std::min(a.find_first_not_of('0'), a.size());
    const size_t zb = std::min(b.find_first_not_of('0'), b.size());
    const std::string_view va(a.data() + za, a.size() - za), vb(b.data() + zb, b.size() - zb);
    return va.size() != vb.size() ? va.size() > vb.size() : va > vb;
  }
  return a > b;
}
