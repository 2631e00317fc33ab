// Sina Weibo: OAuth 1.0 with an optional account-information step for the screen name,
// posts with or without a picture, four polled counters. Its send box may be ticked
// only alone while the "SinaLimit" setting allows it.
#include "services/Readers.h"
#include "services/ServiceRow.h"

namespace {

constexpr SHostDef kApi = {"SinaApi", "api.t.sina.com.cn"};
constexpr SHostDef kWeb = {"SinaWeb", "t.sina.com.cn"};

bool IsSinaAnswer(const std::string& answer) {
  return answer.find("\"followers\"") != std::string::npos;
}

// The screen name replaces the user id as the account's name.
bool ReadSinaUserInfo(const std::string& answer, SPendingAccount& pending) {
  const std::string name = JsonTextMember(answer, "screen_name");
  if (name.empty()) return false;
  pending.name = name;
  return true;
}

const SPollPlan kPoll = {
    .endpoint = {&kApi, false, "/statuses/unread.json"},
    .fixedParams = {{"with_new_status", "1"}, {"since_id", "1"}},
    .isValid = IsSinaAnswer,
    .kinds = {{.kind = 13,
               .counterKey = "new_status",
               .gate = EAlertGate::Following,
               .title = "你关注的好友有更新",
               .text = "您在新浪微博上关注的好友已更新了%1条新微博",
               .page = {&kWeb, false, "/"},
               .part = EAccountPart::None,
               .pathAfter = ""},
              {.kind = 14,
               .counterKey = "followers",
               .gate = EAlertGate::Fans,
               .title = "您在新浪微博上有新粉丝",
               .text = "您在新浪微博上增加了%1个新粉丝",
               .page = {&kWeb, false, "/"},
               .part = EAccountPart::UserId,
               .pathAfter = "/fans"},
              {.kind = 12,
               .counterKey = "mentions",
               .gate = EAlertGate::AtMe,
               .title = "新浪微博有提到我的消息",
               .text = "您有%1条提到我的消息",
               .page = {&kWeb, false, "/atme"},
               .part = EAccountPart::None,
               .pathAfter = ""},
              {.kind = 11,
               .counterKey = "dm",
               .gate = EAlertGate::AtMe,
               .title = "新浪微博有您的新私信",
               .text = "新浪微博上有您%1条新私信",
               .page = {&kWeb, false, "/messages"},
               .part = EAccountPart::None,
               .pathAfter = ""}},
    .intervalMs = 45000,
};

}  // namespace

extern const SServiceRow kSinaRow = {
    .keyPrefix = "Sina",
    .storesUserId = true,
    .proxyPicked = false,
    .postsOnlyAlone = true,
    .notBoundText = "您选择了发表到新浪微博，但是您尚未绑定新浪微博账号!",
    .consumer = {"Sina", "48::523;94", "67:43ch83:;6:53fedf:94f99:23e257"},
    .hosts = {&kApi, &kWeb},
    .web = &kWeb,
    .bind =
        {
            .startLine = "绑定到新浪微博...",
            .requestToken = {&kApi, false, "/oauth/request_token"},
            .callback = nullptr,
            .callbackConfirmation = false,
            .authorize = {&kApi, false, "/oauth/authorize"},
            .accessToken = {&kApi, false, "/oauth/access_token"},
            .accessMethod = EHttpMethod_Post,
            .accessUserIdKey = "user_id",
            .accessNameKey = "user_id",
            .requestFailed = kRequestTokenFailed,
            .requestRefused = kRequestTokenRefused,
            .accessFailed = kAccessTokenFailed,
            .accessRefused = kAccessTokenRefused,
            .userInfo = {&kApi, false, "/account/verify_credentials.json"},
            .userInfoMethod = EHttpMethod_Post,
            .readUserInfo = ReadSinaUserInfo,
            .userInfoRequired = false,
        },
    .post =
        {
            .startLine = "正在发到新浪微博...",
            .successLine = "成功发表到新浪微博!",
            .failureLine = "发表新浪微博失败!",
            .text = {&kApi, false, "/statuses/update.json"},
            .picture = {&kApi, false, "/statuses/upload.json"},
            .usesClientIp = false,
            .addParams = AddStatusParam,
            .readAnswer = ReadStatusPostOrRepeat,
        },
    .poll = &kPoll,
    .window =
        {
            .bindButton = {1008, "新浪", 6, 10, 36, 15},
            .accountCaption = {-1, "新浪账号:", 200, 24, 40, 8},
            .nameLabel = {1018, "未绑定", 242, 24, 109, 8},
            .sendBox = {1017, "新浪微博", 200, 158, 46, 10},
            .sendKey = "SendToSinaMB",
            .bindTabSlot = 6,
            .sendTabSlot = 12,
        },
};
