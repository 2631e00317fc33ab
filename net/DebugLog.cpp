// The debug log of network requests: formatting without credentials, and one write per
// line to stderr so that lines from several threads never mix.
#include "net/DebugLog.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

bool DebugLogEnabled() {
  static const bool enabled = [] {
    const char* value = std::getenv("PLUMFINCH_DEBUG_LOG");
    return value && std::strcmp(value, "1") == 0;
  }();
  return enabled;
}

void InstallDebugLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (DebugLogEnabled()) QWBlogSetTraceHook(DebugLogRequest);
  });
}

std::string UrlForLog(const std::string& url) {
  size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  size_t end = url.find_first_of("?#", start);
  std::string cut = url.substr(0, end);
  // User information ends at the last "@" before the path.
  size_t pathStart = cut.find('/', start);
  size_t at = cut.rfind('@', pathStart == std::string::npos ? std::string::npos : pathStart);
  if (at != std::string::npos && at >= start) cut.erase(start, at + 1 - start);
  return cut;
}

std::string DebugLogLine(const QWBlogTrace& trace) {
  std::string line = "plumfinch: ";
  line += trace.method ? trace.method : "?";
  line += " " + UrlForLog(trace.url) + " -> ";
  if (trace.status > 0) line += "HTTP " + std::to_string(trace.status);
  if (!trace.error.empty()) {
    if (trace.status > 0) line += ", ";
    // libcurl's texts name hosts and ports; an address in one is cut like the URL.
    std::string error = trace.error;
    size_t query = error.find_first_of("?#");
    if (query != std::string::npos) error.resize(query);
    for (char& c : error) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    line += "error: " + error;
  }
  line += ", " + std::to_string(trace.bytesIn) + " bytes in, " + std::to_string(trace.bytesOut) +
          " bytes out, " + std::to_string(trace.ms) + " ms";
  return line;
}

void DebugLogRequest(const QWBlogTrace& trace) {
  const std::string line = DebugLogLine(trace) + "\n";
  [[maybe_unused]] ssize_t n = write(STDERR_FILENO, line.data(), line.size());
}

void DebugLogNote(const std::string& line) {
  if (!DebugLogEnabled()) return;
  const std::string text = "plumfinch: " + line + "\n";
  [[maybe_unused]] ssize_t n = write(STDERR_FILENO, text.data(), text.size());
}
