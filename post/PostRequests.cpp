// The posting request of each service and the reading of its answer: endpoints,
// parameters in the order the services expect them, success marks and the log lines
// that report an outcome. No window is involved here.
#include <cstdint>

#include "net/ServiceHosts.h"
#include "net/TextOps.h"
#include "post/Posting.h"

namespace {

struct SServicePosting {
  EHost host;
  const char* textPath;     // path of a status without picture
  const char* picturePath;  // path with a picture; null when the service takes none
  const char* startLine;
  const char* successLine;
  const char* failureLine;
  bool reportsDuplicate;  // says so when the answer is the repeated-text refusal
};

// Indexed by EService.
const SServicePosting kPosting[kServiceCount] = {
    {EHost::TencentOpen, "/api/t/add", "/api/t/add_pic", "正在发到腾讯微博...",
     "成功发表到腾讯微博!", "发表腾讯微博失败!", false},
    {EHost::SinaApi, "/statuses/update.json", "/statuses/upload.json", "正在发到新浪微博...",
     "成功发表到新浪微博!", "发表新浪微博失败!", true},
    {EHost::SohuApi, "/statuses/update.json", "/statuses/upload.json", "正在发到搜狐微博...",
     "成功发表到搜狐微博!", "发表搜狐微博失败!", true},
    {EHost::TwitterApi, "/1/statuses/update.json", nullptr, "正在发到Twitter...",
     "成功发表一条Tweet!", "发表Tweet失败!", false},
};

const SServicePosting& PostingOf(EService service) { return kPosting[int(service)]; }

// The value of a JSON string member, found by plain search ("" when absent).
std::string JsonTextMember(const std::string& response, const char* name) {
  return GetTextBetween(response, std::string("\"") + name + "\":", "\"", "\"");
}

bool Contains(const std::string& response, const char* text) {
  return FindText(response, text, 0) != std::string::npos;
}

}  // namespace

const char* PostStartLine(EService service) { return PostingOf(service).startLine; }

SPostRequest MakePostRequest(EService service, CWeiboParam params, const std::string& text,
                             const std::string& picture, const std::string& clientIp) {
  const SServicePosting& posting = PostingOf(service);
  const bool withPicture = posting.picturePath && !picture.empty();
  if (service == EService::Tencent) {
    params.AddParam(PARAM_FORMAT, PARAM_FORMAT_JSON);
    params.AddParam("content", text.c_str());
    params.AddParam("clientip", clientIp.c_str());
  } else if (service == EService::Sohu && withPicture) {
    // Sohu reads the status of an upload as percent-encoded UTF-8.
    params.AddParam("status", UrlEncode(ConvertCodePage(text, CP_ACP, CP_UTF8)).c_str());
  } else {
    params.AddParam("status", text.c_str());
  }
  if (withPicture) params.AddPicNameParam("pic", picture.c_str());
  SPostRequest request;
  request.url = HttpUrl(posting.host, withPicture ? posting.picturePath : posting.textPath);
  request.params = std::move(params);
  request.isTwitter = service == EService::Twitter;
  return request;
}

SPostOutcome ReadPostAnswer(EService service, const std::string& response) {
  const SServicePosting& posting = PostingOf(service);
  SPostOutcome outcome;
  if (service == EService::Tencent) {
    const std::string msg = JsonTextMember(response, "msg");
    outcome.accepted = msg == "ok";
    if (outcome.accepted) {
      const std::string id = LogSafeText(JsonTextMember(response, "id"));
      outcome.lines = {posting.successLine, "查看地址:", HttpUrl(EHost::TencentWeb, "/t/" + id)};
    } else {
      outcome.lines = {posting.failureLine};
      if (!msg.empty()) outcome.lines.push_back("原因:" + LogSafeText(msg));
    }
    return outcome;
  }
  outcome.accepted = Contains(response, "created_at");
  if (outcome.accepted) {
    outcome.lines = {posting.successLine};
  } else {
    outcome.lines = {posting.failureLine};
    if (posting.reportsDuplicate && Contains(response, "repeated weibo text"))
      outcome.lines.push_back("原因: 微博内容重复!");
  }
  return outcome;
}

std::string LogSafeText(const std::string& text, size_t maxBytes) {
  std::string safe = text;
  for (char& c : safe) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  if (safe.size() <= maxBytes) return safe;
  // Never cut inside a character: step back to the first byte of the one at the cut.
  size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80) --cut;
  return safe.substr(0, cut) + "...";
}
