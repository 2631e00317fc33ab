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

bool ReadStatusPost(const SServiceRow& row, const std::string& answer,
                    std::vector<std::string>& lines) {
  const bool accepted = ContainsText(answer, "created_at");
  lines = {accepted ? row.post.successLine : row.post.failureLine};
  return accepted;
}

bool ReadStatusPostOrRepeat(const SServiceRow& row, const std::string& answer,
                            std::vector<std::string>& lines) {
  if (ReadStatusPost(row, answer, lines)) return true;
  if (ContainsText(answer, "repeated weibo text")) lines.push_back("原因: 微博内容重复!");
  return false;
}
