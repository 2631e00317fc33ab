// Plain-search readers of service answers, and the posting pieces several services share.
#include "services/Readers.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "net/TextOps.h"
#include "services/ServiceRow.h"

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::string JsonTextMember(const std::string& answer, const char* name) {
  return GetTextBetween(answer, std::string("\"") + name + "\":", "\"", "\"");
}

bool ContainsText(const std::string& answer, const char* text) {
  return FindText(answer, text, 0) != std::string::npos;
}

int ReadJsonCount(const std::string& response, const std::string& key) {
  const std::string pattern = "\"" + key + "\":";
  const size_t at = response.find(pattern);
  if (at == std::string::npos) return -1;
  const size_t start = at + pattern.size();
  const size_t end = std::min(response.find(',', start), response.find('}', start));
  if (end == std::string::npos) return -1;

  // atoi's reading, without its undefined behaviour on numbers beyond 32 bits.
  size_t pos = start;
  while (pos < end && IsSpace(response[pos])) ++pos;
  bool negative = false;
  if (pos < end && (response[pos] == '+' || response[pos] == '-'))
    negative = response[pos++] == '-';
  const int64_t limit = negative ? -int64_t(INT_MIN) : int64_t(INT_MAX);
  int64_t value = 0;
  for (; pos < end && response[pos] >= '0' && response[pos] <= '9'; ++pos) {
    value = value * 10 + (response[pos] - '0');
    if (value > limit) return -1;
  }
  return int(negative ? -value : value);
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

void AddStatusParam(CWeiboParam& params, const std::string& text, bool, const std::string&) {
  params.AddParam("status", text.c_str());
}

namespace {

constexpr int kMaxDepth = 64;

bool ShallowEnough(const std::string& text) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxDepth) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

// The answer's status, its body and the text a failure logs.
bool ReadStatusAnswer(const SServiceRow& row, const SHttpAnswer& answer,
                      std::vector<SUserText>& lines, SUserText& why) {
  const SPostAnswer post = ReadPostJson(answer);
  const nlohmann::json& body = post.body;
  const bool hasDate = body.is_object() && body.contains("created_at") &&
                       body["created_at"].is_string() &&
                       !body["created_at"].get<std::string>().empty();
  if (post.ok && hasDate && !JsonText(body, "id").empty()) {
    lines = {row.post.successLine};
    return true;
  }
  why = post.why;
  const std::string error = JsonText(body, "error");
  if (!error.empty()) why = TextValue(LogSafeText(error, 200));
  if (why.empty()) why = "服务器的回应无法识别";
  lines = {row.post.failureLine};
  return false;
}

}  // namespace

nlohmann::json ParseJson(const std::string& text) {
  if (!ShallowEnough(text)) return nlohmann::json();
  nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
  return value.is_discarded() ? nlohmann::json() : value;
}

std::string JsonText(const nlohmann::json& object, const char* name) {
  if (!object.is_object()) return {};
  const auto it = object.find(name);
  if (it == object.end()) return {};
  if (it->is_string()) return it->get<std::string>();
  if (it->is_number_integer()) return std::to_string(it->get<long long>());
  if (it->is_number_unsigned()) return std::to_string(it->get<unsigned long long>());
  return {};
}

SPostAnswer ReadPostJson(const SHttpAnswer& answer) {
  SPostAnswer post;
  if (!answer.answered) {
    post.why = FailureReason(answer);
    return post;
  }
  post.body = ParseJson(answer.body);
  post.why = FailureReason(answer);  // "" for a success status
  if (post.why.empty() && !post.body.is_object()) post.why = "服务器的回应无法识别";
  post.ok = post.why.empty();
  return post;
}

bool ReadStatusPost(const SServiceRow& row, const SHttpAnswer& answer,
                    std::vector<SUserText>& lines) {
  SUserText why;
  if (ReadStatusAnswer(row, answer, lines, why)) return true;
  lines.push_back({"原因:%1", {why}});
  return false;
}

bool ReadStatusPostOrRepeat(const SServiceRow& row, const SHttpAnswer& answer,
                            std::vector<SUserText>& lines) {
  SUserText why;
  if (ReadStatusAnswer(row, answer, lines, why)) return true;
  lines.push_back(ContainsText(answer.body, "repeated weibo text")
                      ? SUserText("原因: 微博内容重复!")
                      : SUserText("原因:%1", {why}));
  return false;
}

SUserText FailureReason(const SHttpAnswer& answer) {
  if (answer.answered)
    return answer.status >= 200 && answer.status < 300
               ? SUserText()
               : TextValue("HTTP " + std::to_string(answer.status));
  switch (answer.failure) {
    case EQWBlogFailure::None:
      return {};
    case EQWBlogFailure::BadRequest:
      return "地址无效";
    case EQWBlogFailure::Picture:
      return "图片无法读取(不存在、不是普通文件或太大)";
    case EQWBlogFailure::NotFound:
      return "找不到服务器";
    case EQWBlogFailure::Refused:
      return "服务器拒绝连接";
    case EQWBlogFailure::Proxy:
      return "代理服务器连接失败";
    case EQWBlogFailure::Tls:
      return "安全连接(TLS)失败";
    case EQWBlogFailure::TimedOut:
      return "连接超时";
    case EQWBlogFailure::ConnectionLost:
      return "连接中断，没有收到回应";
    case EQWBlogFailure::TooLarge:
      return "服务器的回应过大";
    case EQWBlogFailure::Aborted:
      return "程序正在退出，请求已取消";
  }
  return {};
}
