// Status-log lines from the settings layer: queued until the window takes them, each
// distinct line delivered once.
#include "settings/Notices.h"

#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace {

using Sink = std::function<void(const std::string&)>;

std::mutex g_mutex;
std::set<std::string> g_seen;        // guarded by g_mutex
std::vector<std::string> g_pending;  // guarded by g_mutex
std::shared_ptr<const Sink> g_sink;  // guarded by g_mutex

}  // namespace

void ReportSettingsNotice(const std::string& line) {
  std::shared_ptr<const Sink> sink;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_seen.insert(line).second) return;
    if (!g_sink) {
      g_pending.push_back(line);
      return;
    }
    sink = g_sink;
  }
  (*sink)(line);
}

void SetSettingsNoticeSink(std::function<void(const std::string&)> sink) {
  std::vector<std::string> pending;
  std::shared_ptr<const Sink> current;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sink = sink ? std::make_shared<const Sink>(std::move(sink)) : nullptr;
    if (!g_sink) return;
    pending.swap(g_pending);
    current = g_sink;
  }
  for (const std::string& line : pending) (*current)(line);
}

void ResetSettingsNotices() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_seen.clear();
  g_pending.clear();
}
