// Describing an alert: the kind's caption and message from its row, and its web page,
// completed by the account's name or user id where the page needs it.
#include <string>

#include "qwblog/OAuth.h"
#include "services/ServiceFlows.h"

namespace {

std::string FillCount(const std::string& format, long long count) {
  std::string text = format;
  const size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(count));
  return text;
}

}  // namespace

bool DescribeServiceAlert(int kind, long long count, const CServiceState& state,
                          SAlertContent& content) {
  const SServiceRow* row = nullptr;
  const SAlertKind* alert = FindAlertKind(kind, &row);
  if (!alert) return false;
  std::string part;
  if (alert->part == EAccountPart::Server) {
    const SAccountSnapshot account = state.Account(row->id);
    content.title = alert->title;
    content.text = FillCount(alert->text, count);
    content.url = "https://" + account.server + alert->page.path + alert->pathAfter;
    return !account.server.empty();
  }
  if (alert->part != EAccountPart::None) {
    const SAccountSnapshot account = state.Account(row->id);
    // Percent-encoded, so an odd name stays one path segment (or one query value).
    part = qwblog::PercentEncode(alert->part == EAccountPart::Name ? account.name : account.userId);
  }
  content.title = alert->title;
  content.text = FillCount(alert->text, count);
  content.url = RowAddress(*row, alert->page, part + alert->pathAfter);
  return true;
}
