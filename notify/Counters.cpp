// Reading the polled services' counters out of their JSON answers, and the interval
// between two polls. No Qt, so the scanner can be checked and fuzzed on its own.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "notify/Polling.h"

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int ReadJsonCount(std::string response, std::string key) {
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

int PollIntervalMs(int defaultMs) {
  const char* text = std::getenv("PLUMFINCH_POLL_INTERVAL_MS");
  if (!text || !*text) return defaultMs;
  int64_t value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return defaultMs;
    value = value * 10 + (*p - '0');
    if (value > INT_MAX) return defaultMs;
  }
  return value > 0 ? int(value) : defaultMs;
}
