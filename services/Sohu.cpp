// Sohu Weibo: OAuth 1.0 with a required account-information step (user id and screen
// name), a status with a picture sent percent-encoded, two polled counters.
#include "net/TextOps.h"
#include "services/Readers.h"
#include "services/ServiceRow.h"

namespace {

constexpr SHostDef kApi = {"SohuApi", "api.t.sohu.com"};
constexpr SHostDef kWeb = {"SohuWeb", "t.sohu.com"};

bool IsSohuAnswer(const std::string& answer) { return answer.find("\"id\"") != std::string::npos; }

// User id (a quoted string) and screen name, both needed.
bool ReadSohuUserInfo(const std::string& answer, SPendingAccount& pending) {
  pending.userId = JsonTextMember(answer, "id");
  pending.name = JsonTextMember(answer, "screen_name");
  return !pending.userId.empty() && !pending.name.empty();
}

// Sohu reads the status of an upload as percent-encoded UTF-8.
void AddSohuPostParams(CWeiboParam& params, const std::string& text, bool withPicture,
                       const std::string& clientIp) {
  if (!withPicture) return AddStatusParam(params, text, withPicture, clientIp);
  params.AddParam("status", UrlEncode(ConvertCodePage(text, CP_ACP, CP_UTF8)).c_str());
}

const SPollPlan kPoll = {
    .endpoint = {&kApi, false, "/users/show.json"},
    .fixedParams = {},
    .isValid = IsSohuAnswer,
    .kinds = {{.kind = 23,
               .counterKey = "statuses_count",
               .gate = EAlertGate::Following,
               .title = "你关注的好友有更新",
               .text = "您在搜狐微博上关注的好友已更新了%1条新微博",
               .page = {&kWeb, false, "/home"},
               .part = EAccountPart::None,
               .pathAfter = ""},
              {.kind = 24,
               .counterKey = "followers_count",
               .gate = EAlertGate::Fans,
               .title = "您在搜狐微博上有新粉丝",
               .text = "您在搜狐微博上增加了%1个新粉丝",
               .page = {&kWeb, false, "/follow/followed.jsp?uid="},
               .part = EAccountPart::UserId,
               .pathAfter = ""}},
    .intervalMs = 30000,
};

}  // namespace

extern const SServiceRow kSohuRow = {
    .keyPrefix = "Sohu",
    .storesUserId = true,
    .proxyPicked = false,
    .notBoundText = "您选择了发表到搜狐微博，但是您尚未绑定搜狐微博账号!",
    .consumer = {"Sohu", "m7TQO[h9xxJh4IisGLum", "sp9m8CewKGZ2j9O{X2YgYtZGz33YF2yZqCTrG9EW"},
    .hosts = {&kApi, &kWeb},
    .web = &kWeb,
    .bind =
        {
            .startLine = "绑定到搜狐微博...",
            .requestToken = {&kApi, false, "/oauth/request_token"},
            .callback = nullptr,
            .callbackConfirmation = false,
            .authorize = {&kApi, false, "/oauth/authorize"},
            .accessToken = {&kApi, false, "/oauth/access_token"},
            .accessMethod = EHttpMethod_Post,
            .accessUserIdKey = nullptr,
            .accessNameKey = nullptr,
            .requestFailed = kRequestTokenFailed,
            .requestRefused = kRequestTokenRefused,
            .accessFailed = kAccessTokenFailed,
            .accessRefused = kAccessTokenRefused,
            .userInfo = {&kApi, false, "/users/show.json"},
            .userInfoMethod = EHttpMethod_Get,
            .readUserInfo = ReadSohuUserInfo,
            .userInfoRequired = true,
        },
    .post =
        {
            .startLine = "正在发到搜狐微博...",
            .successLine = "成功发表到搜狐微博!",
            .failureLine = "发表搜狐微博失败!",
            .text = {&kApi, false, "/statuses/update.json"},
            .picture = {&kApi, false, "/statuses/upload.json"},
            .usesClientIp = false,
            .addParams = AddSohuPostParams,
            .readAnswer = ReadStatusPostOrRepeat,
        },
    .poll = &kPoll,
    .window =
        {
            .bindButton = {1013, "搜狐", 80, 10, 36, 15},
            .accountCaption = {-1, "搜狐账号:", 200, 35, 40, 8},
            .nameLabel = {1020, "未绑定", 242, 35, 109, 8},
            .sendBox = {1021, "搜狐微博", 300, 158, 46, 10},
            .sendKey = "SendToSohuMB",
            .bindTabSlot = 17,
            .sendTabSlot = 18,
        },
};
