// The rows of the services and their small hooks: parameters of a post and readers
// of the answers that differ between services.
#include "services/ServiceTable.h"

#include "net/TextOps.h"
#include "services/Mastodon.h"
#include "services/Readers.h"

namespace {

// ---- answers ----

bool IsTencentAnswer(const std::string& answer) { return JsonTextMember(answer, "msg") == "ok"; }
bool IsSinaAnswer(const std::string& answer) {
  return answer.find("\"followers\"") != std::string::npos;
}
bool IsSohuAnswer(const std::string& answer) { return answer.find("\"id\"") != std::string::npos; }

// Sina's account information: the screen name replaces the user id as name.
bool ReadSinaUserInfo(const std::string& answer, SPendingAccount& pending) {
  const std::string name = JsonTextMember(answer, "screen_name");
  if (name.empty()) return false;
  pending.name = name;
  return true;
}

// Sohu's account information: user id (a quoted string) and screen name, both needed.
bool ReadSohuUserInfo(const std::string& answer, SPendingAccount& pending) {
  pending.userId = JsonTextMember(answer, "id");
  pending.name = JsonTextMember(answer, "screen_name");
  return !pending.userId.empty() && !pending.name.empty();
}

// ---- posting ----

void AddTencentPostParams(CWeiboParam& params, const std::string& text, bool,
                          const std::string& clientIp) {
  params.AddParam(PARAM_FORMAT, PARAM_FORMAT_JSON);
  params.AddParam("content", text.c_str());
  params.AddParam("clientip", clientIp.c_str());
}

void AddStatusParam(CWeiboParam& params, const std::string& text, bool, const std::string&) {
  params.AddParam("status", text.c_str());
}

// Sohu reads the status of an upload as percent-encoded UTF-8.
void AddSohuPostParams(CWeiboParam& params, const std::string& text, bool withPicture,
                       const std::string& clientIp) {
  if (!withPicture) return AddStatusParam(params, text, withPicture, clientIp);
  params.AddParam("status", UrlEncode(ConvertCodePage(text, CP_ACP, CP_UTF8)).c_str());
}

// Tencent accepts with "msg":"ok" and gives the new status's id, from which its page
// follows; a refusal's message is logged as the reason.
bool ReadTencentPost(const SServiceRow& row, const std::string& answer,
                     std::vector<std::string>& lines) {
  const std::string msg = JsonTextMember(answer, "msg");
  if (msg == "ok") {
    const std::string id = LogSafeText(JsonTextMember(answer, "id"));
    lines = {row.post.successLine,
             "查看地址:", RowAddress(row, {EHost::TencentWeb, false, "/t/"}, id)};
    return true;
  }
  lines = {row.post.failureLine};
  if (!msg.empty()) lines.push_back("原因:" + LogSafeText(msg));
  return false;
}

// The others accept with the new status, which carries "created_at".
bool ReadStatusPost(const SServiceRow& row, const std::string& answer,
                    std::vector<std::string>& lines) {
  const bool accepted = ContainsText(answer, "created_at");
  lines = {accepted ? row.post.successLine : row.post.failureLine};
  return accepted;
}

// Sina and Sohu also say so when the text repeats one posted before.
bool ReadStatusPostOrRepeat(const SServiceRow& row, const std::string& answer,
                            std::vector<std::string>& lines) {
  if (ReadStatusPost(row, answer, lines)) return true;
  if (ContainsText(answer, "repeated weibo text")) lines.push_back("原因: 微博内容重复!");
  return false;
}

// A service without a consumer pair.
bool NoConsumer(EService, CWeiboParam&) { return true; }

// ---- the rows ----

const char* const kRequestFailed = "获取Request_Token失败!";
const char* const kRequestRefused = "获取Request_Token失败!\r\n\r\n失败原因:";
const char* const kAccessFailed = "获取AccessToken失败!";
const char* const kAccessRefused = "获取Access_Token失败!\r\n\r\n失败原因:";
constexpr SEndpoint kNone = {EHost::TencentOpen, false, nullptr};

// clang-format off
const SPollPlan kTencentPoll = {
    {EHost::TencentOpen, false, "/api/info/update"}, {{"op", "1"}, {"type", "5678"}},
    IsTencentAnswer,
    {{3, "create", EAlertGate::Following, "你关注的好友有更新",
      "您在腾讯微博上关注的好友已更新了%d条新微博", {EHost::TencentWeb, false, "/"}, EAccountPart::None, ""},
     {4, "fans", EAlertGate::Fans, "您在腾讯微博上有新粉丝", "您在腾讯微博上增加了%d个新粉丝",
      {EHost::TencentWeb, false, "/"}, EAccountPart::Name, "/follower"},
     {2, "mentions", EAlertGate::AtMe, "腾讯微博有提到我的消息", "您有%d条提到我的消息",
      {EHost::TencentWeb, false, "/at"}, EAccountPart::None, ""},
     {1, "private", EAlertGate::AtMe, "腾讯微博有您的新私信", "腾讯微博上有您%d条新私信",
      {EHost::TencentWeb, false, "/messages/inbox"}, EAccountPart::None, ""}},
    45000};

const SPollPlan kSinaPoll = {
    {EHost::SinaApi, false, "/statuses/unread.json"}, {{"with_new_status", "1"}, {"since_id", "1"}},
    IsSinaAnswer,
    {{13, "new_status", EAlertGate::Following, "你关注的好友有更新",
      "您在新浪微博上关注的好友已更新了%d条新微博", {EHost::SinaWeb, false, "/"}, EAccountPart::None, ""},
     {14, "followers", EAlertGate::Fans, "您在新浪微博上有新粉丝", "您在新浪微博上增加了%d个新粉丝",
      {EHost::SinaWeb, false, "/"}, EAccountPart::UserId, "/fans"},
     {12, "mentions", EAlertGate::AtMe, "新浪微博有提到我的消息", "您有%d条提到我的消息",
      {EHost::SinaWeb, false, "/atme"}, EAccountPart::None, ""},
     {11, "dm", EAlertGate::AtMe, "新浪微博有您的新私信", "新浪微博上有您%d条新私信",
      {EHost::SinaWeb, false, "/messages"}, EAccountPart::None, ""}},
    45000};

const SPollPlan kSohuPoll = {
    {EHost::SohuApi, false, "/users/show.json"}, {}, IsSohuAnswer,
    {{23, "statuses_count", EAlertGate::Following, "你关注的好友有更新",
      "您在搜狐微博上关注的好友已更新了%d条新微博", {EHost::SohuWeb, false, "/home"}, EAccountPart::None, ""},
     {24, "followers_count", EAlertGate::Fans, "您在搜狐微博上有新粉丝", "您在搜狐微博上增加了%d个新粉丝",
      {EHost::SohuWeb, false, "/follow/followed.jsp?uid="}, EAccountPart::UserId, ""}},
    30000};

const SServiceRow kTencent = {
    EService::Tencent, "QQ", false, false, "您选择了发表到腾讯微博，但是您尚未绑定腾讯微博账号!",
    {"绑定到腾讯微博...",
     {EHost::TencentOpenSecure, true, "/cgi-bin/request_token"}, "null", true,
     {EHost::TencentOpenSecure, true, "/cgi-bin/authorize"},
     {EHost::TencentOpenSecure, true, "/cgi-bin/access_token"}, EHttpMethod_Get, nullptr, "name",
     kRequestFailed, "获取Request_Token!\r\n\r\n失败原因:", kAccessFailed, kAccessRefused,
     kNone, EHttpMethod_Get, nullptr, false},
    {"正在发到腾讯微博...", "成功发表到腾讯微博!", "发表腾讯微博失败!",
     {EHost::TencentOpen, false, "/api/t/add"}, {EHost::TencentOpen, false, "/api/t/add_pic"}, true,
     AddTencentPostParams, ReadTencentPost},
    &kTencentPoll, ConfiguredAddress, AddConsumerKeyParams};

const SServiceRow kSina = {
    EService::Sina, "Sina", true, false, "您选择了发表到新浪微博，但是您尚未绑定新浪微博账号!",
    {"绑定到新浪微博...",
     {EHost::SinaApi, false, "/oauth/request_token"}, nullptr, false,
     {EHost::SinaApi, false, "/oauth/authorize"},
     {EHost::SinaApi, false, "/oauth/access_token"}, EHttpMethod_Post, "user_id", "user_id",
     kRequestFailed, kRequestRefused, kAccessFailed, kAccessRefused,
     {EHost::SinaApi, false, "/account/verify_credentials.json"}, EHttpMethod_Post,
     ReadSinaUserInfo, false},
    {"正在发到新浪微博...", "成功发表到新浪微博!", "发表新浪微博失败!",
     {EHost::SinaApi, false, "/statuses/update.json"}, {EHost::SinaApi, false, "/statuses/upload.json"},
     false, AddStatusParam, ReadStatusPostOrRepeat},
    &kSinaPoll, ConfiguredAddress, AddConsumerKeyParams};

const SServiceRow kSohu = {
    EService::Sohu, "Sohu", true, false, "您选择了发表到搜狐微博，但是您尚未绑定搜狐微博账号!",
    {"绑定到搜狐微博...",
     {EHost::SohuApi, false, "/oauth/request_token"}, nullptr, false,
     {EHost::SohuApi, false, "/oauth/authorize"},
     {EHost::SohuApi, false, "/oauth/access_token"}, EHttpMethod_Post, nullptr, nullptr,
     kRequestFailed, kRequestRefused, kAccessFailed, kAccessRefused,
     {EHost::SohuApi, false, "/users/show.json"}, EHttpMethod_Get, ReadSohuUserInfo, true},
    {"正在发到搜狐微博...", "成功发表到搜狐微博!", "发表搜狐微博失败!",
     {EHost::SohuApi, false, "/statuses/update.json"}, {EHost::SohuApi, false, "/statuses/upload.json"},
     false, AddSohuPostParams, ReadStatusPostOrRepeat},
    &kSohuPoll, ConfiguredAddress, AddConsumerKeyParams};

const SServiceRow kTwitter = {
    EService::Twitter, "Twitter", true, true, "您选择了发表到Twitter，但是您尚未绑定Twitter账号!",
    {"绑定到Twitter...",
     {EHost::TwitterApi, false, "/oauth/request_token"}, "oob", false,
     {EHost::TwitterApi, false, "/oauth/authorize"},
     {EHost::TwitterApi, false, "/oauth/access_token"}, EHttpMethod_Get, "user_id", "screen_name",
     "获取Request Token失败!", kRequestRefused, "获取Access Token失败!", kAccessRefused,
     kNone, EHttpMethod_Get, nullptr, false},
    {"正在发到Twitter...", "成功发表一条Tweet!", "发表Tweet失败!",
     {EHost::TwitterApi, false, "/1/statuses/update.json"}, kNone, false, AddStatusParam,
     ReadStatusPost},
    nullptr, ConfiguredAddress, AddConsumerKeyParams};

// Mastodon runs its own flows (Mastodon.cpp); its plans give the texts and alert kinds.
const SPollPlan kMastodonPoll = {
    {EHost::Mastodon, true, "/api/v1/notifications"}, {}, nullptr,
    {{31, "mention", EAlertGate::AtMe, "Mastodon有提到我的消息", "您在Mastodon上收到了%d条新提及",
      {EHost::Mastodon, true, "/notifications"}, EAccountPart::Server, ""},
     {32, "follow", EAlertGate::Fans, "您在Mastodon上有新关注者", "您在Mastodon上增加了%d个新关注者",
      {EHost::Mastodon, true, "/notifications"}, EAccountPart::Server, ""}},
    45000};

const SServiceRow kMastodon = {
    EService::Mastodon, "Mastodon", false, false, "您选择了发表到Mastodon，但是您尚未绑定Mastodon账号!",
    {"绑定到Mastodon...", kNone, nullptr, false, kNone, kNone, EHttpMethod_Post, nullptr, nullptr,
     "", "", "", "", kNone, EHttpMethod_Get, nullptr, false},
    {"正在发到Mastodon...", "成功发表到Mastodon!", "发表Mastodon失败!", kNone, kNone, false,
     AddStatusParam, ReadStatusPost},
    &kMastodonPoll, ConfiguredAddress, NoConsumer, &kMastodonFlows};
// clang-format on

}  // namespace

const std::vector<const SServiceRow*>& ServiceRows() {
  static const std::vector<const SServiceRow*> rows = {&kTencent, &kSina, &kSohu, &kTwitter,
                                                       &kMastodon};
  return rows;
}

const SServiceRow& ServiceRow(EService service) {
  for (const SServiceRow* row : ServiceRows())
    if (row->id == service) return *row;
  return kTencent;
}

std::string ConfiguredAddress(const SEndpoint& endpoint, const std::string& tail) {
  const std::string path = std::string(endpoint.path ? endpoint.path : "") + tail;
  return endpoint.https ? HttpsUrl(endpoint.host, path) : HttpUrl(endpoint.host, path);
}

std::string RowAddress(const SServiceRow& row, const SEndpoint& endpoint, const std::string& tail) {
  return row.address(endpoint, tail);
}

void AddAccountParams(const SServiceRow& row, CWeiboParam& params, const std::string& token,
                      const std::string& secret) {
  row.addConsumer(row.id, params);
  params.AddParam(QWB_TOKEN_KEY, token.c_str());
  params.AddParam(QWB_TOKEN_SECRET, secret.c_str());
}

const SAlertKind* FindAlertKind(int kind, const SServiceRow** owner) {
  for (const SServiceRow* row : ServiceRows()) {
    if (!row->poll) continue;
    for (const SAlertKind& k : row->poll->kinds) {
      if (k.kind != kind) continue;
      if (owner) *owner = row;
      return &k;
    }
  }
  return nullptr;
}
