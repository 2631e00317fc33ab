// Twitter: OAuth 1.0 with the out-of-band callback "oob", the user id and screen name in
// the access answer, text-only posts, not polled. Its requests follow the proxy
// setting's Twitter scope.
#include "services/Readers.h"
#include "services/ServiceRow.h"

namespace {

constexpr SHostDef kApi = {"TwitterApi", "api.twitter.com"};
constexpr SHostDef kWeb = {"TwitterWeb", "twitter.com"};

}  // namespace

extern const SServiceRow kTwitterRow = {
    .keyPrefix = "Twitter",
    .storesUserId = true,
    .proxyPicked = true,
    .notBoundText = "您选择了发表到Twitter，但是您尚未绑定Twitter账号!",
    .consumer = {"Twitter", "DVMEEfLd[\\897Ge2tCXJW", "e8IXPVCxV45[KrN8R6X3OIW[KlSn7tTOQLKbMoHNrZ"},
    .hosts = {&kApi, &kWeb},
    .web = &kWeb,
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
};
