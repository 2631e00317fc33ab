// Tencent Weibo: OAuth 1.0 over https with the callback "null" confirmed, posts that
// carry the machine's public address, and four polled counters.
#include "net/TextOps.h"
#include "services/Readers.h"
#include "services/ServiceRow.h"

namespace {

constexpr SHostDef kOpen = {"TencentOpen", "open.t.qq.com"};
constexpr SHostDef kOpenSecure = {"TencentOpenSecure", "open.t.qq.com"};
constexpr SHostDef kWeb = {"TencentWeb", "t.qq.com"};

bool IsTencentAnswer(const std::string& answer) { return JsonTextMember(answer, "msg") == "ok"; }

void AddTencentPostParams(CWeiboParam& params, const std::string& text, bool,
                          const std::string& clientIp) {
  params.AddParam(PARAM_FORMAT, PARAM_FORMAT_JSON);
  params.AddParam("content", text.c_str());
  params.AddParam("clientip", clientIp.c_str());
}

// Tencent accepts with "msg":"ok" and the new status's id under "data", from which its
// page follows; a refusal's message is logged as the reason.
bool ReadTencentPost(const SServiceRow& row, const SHttpAnswer& answer,
                     std::vector<SUserText>& lines) {
  const SPostAnswer post = ReadPostJson(answer);
  const std::string msg = JsonText(post.body, "msg");
  const std::string id =
      post.body.is_object() && post.body.contains("data") ? JsonText(post.body["data"], "id") : "";
  if (post.ok && msg == "ok" && !id.empty()) {
    lines = {row.post.successLine,
             "查看地址:", TextValue(EndpointAddress({&kWeb, false, "/t/"}, LogSafeText(id)))};
    return true;
  }
  SUserText why = post.why;
  if (!msg.empty() && msg != "ok") why = TextValue(LogSafeText(msg));
  if (why.empty()) why = "服务器的回应无法识别";
  lines = {row.post.failureLine, {"原因:%1", {why}}};
  return false;
}

const SPollPlan kPoll = {
    .endpoint = {&kOpen, false, "/api/info/update"},
    .fixedParams = {{"op", "1"}, {"type", "5678"}},
    .isValid = IsTencentAnswer,
    .kinds = {{.kind = 3,
               .counterKey = "create",
               .gate = EAlertGate::Following,
               .title = "你关注的好友有更新",
               .text = "您在腾讯微博上关注的好友已更新了%1条新微博",
               .page = {&kWeb, false, "/"},
               .part = EAccountPart::None,
               .pathAfter = ""},
              {.kind = 4,
               .counterKey = "fans",
               .gate = EAlertGate::Fans,
               .title = "您在腾讯微博上有新粉丝",
               .text = "您在腾讯微博上增加了%1个新粉丝",
               .page = {&kWeb, false, "/"},
               .part = EAccountPart::Name,
               .pathAfter = "/follower"},
              {.kind = 2,
               .counterKey = "mentions",
               .gate = EAlertGate::AtMe,
               .title = "腾讯微博有提到我的消息",
               .text = "您有%1条提到我的消息",
               .page = {&kWeb, false, "/at"},
               .part = EAccountPart::None,
               .pathAfter = ""},
              {.kind = 1,
               .counterKey = "private",
               .gate = EAlertGate::AtMe,
               .title = "腾讯微博有您的新私信",
               .text = "腾讯微博上有您%1条新私信",
               .page = {&kWeb, false, "/messages/inbox"},
               .part = EAccountPart::None,
               .pathAfter = ""}},
    .intervalMs = 45000,
};

}  // namespace

extern const SServiceRow kTencentRow = {
    .keyPrefix = "QQ",
    .storesUserId = false,
    .proxyPicked = false,
    .notBoundText = "您选择了发表到腾讯微博，但是您尚未绑定腾讯微博账号!",
    .consumer = {"Tencent", "23gd52:9e37:h98g;g57fhg8cf87g294", "h<2;<gc<e;f226f94f:<f748554f3b7e"},
    .hosts = {&kOpen, &kOpenSecure, &kWeb},
    .web = &kWeb,
    .bind =
        {
            .startLine = "绑定到腾讯微博...",
            .requestToken = {&kOpenSecure, true, "/cgi-bin/request_token"},
            .callback = "null",
            .callbackConfirmation = true,
            .authorize = {&kOpenSecure, true, "/cgi-bin/authorize"},
            .accessToken = {&kOpenSecure, true, "/cgi-bin/access_token"},
            .accessMethod = EHttpMethod_Get,
            .accessUserIdKey = nullptr,
            .accessNameKey = "name",
            .requestFailed = kRequestTokenFailed,
            .requestRefused = "获取Request_Token!\r\n\r\n失败原因:%1",
            .accessFailed = kAccessTokenFailed,
            .accessRefused = kAccessTokenRefused,
            .userInfo = {},
            .userInfoMethod = EHttpMethod_Get,
            .readUserInfo = nullptr,
            .userInfoRequired = false,
        },
    .post =
        {
            .startLine = "正在发到腾讯微博...",
            .successLine = "成功发表到腾讯微博!",
            .failureLine = "发表腾讯微博失败!",
            .text = {&kOpen, false, "/api/t/add"},
            .picture = {&kOpen, false, "/api/t/add_pic"},
            .usesClientIp = true,
            .addParams = AddTencentPostParams,
            .readAnswer = ReadTencentPost,
        },
    .poll = &kPoll,
    .window =
        {
            .bindButton = {1002, "腾讯", 43, 10, 36, 15},
            .accountCaption = {-1, "腾讯账号:", 200, 13, 40, 8},
            .nameLabel = {1012, "未绑定", 242, 13, 109, 8},
            .sendBox = {1016, "腾讯微博", 250, 158, 46, 10},
            .sendKey = "SendToQQMB",
            .bindTabSlot = 0,
            .sendTabSlot = 11,
        },
};
