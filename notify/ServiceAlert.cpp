// The main window's handler of WM_SERVICE_ALERT: the service model describes the alert
// kind (caption, message, web address) and a new self-deleting popup shows it.
#include "notify/ServiceAlert.h"

#include <climits>

#include "app/MainDlg.h"
#include "notify/AlertPopup.h"

namespace {

std::function<void(int, long long)>& AlertHook() {
  static std::function<void(int, long long)> hook;
  return hook;
}

}  // namespace

void SetServiceAlertHook(std::function<void(int kind, long long count)> hook) {
  AlertHook() = std::move(hook);
}

LRESULT CMainDlg::OnServiceAlert(WPARAM kind, LPARAM count) {
  const int alertKind = kind > WPARAM(INT_MAX) ? 0 : int(kind);  // 0: no such kind
  if (const auto& hook = AlertHook()) hook(alertKind, count);
  SAlertContent content;
  if (!DescribeServiceAlert(alertKind, count, m_state, content)) return 0;
  CAlertPopup::Open(this, content.title, content.text, content.url);
  return 0;
}
