// The main window's handler of WM_SERVICE_ALERT: it turns an alert kind and its count
// into a caption, a message and a web address, and opens a new self-deleting popup.
#include "notify/ServiceAlert.h"

#include <climits>

#include "app/MainDlg.h"
#include "net/ServiceHosts.h"
#include "notify/AlertPopup.h"

namespace {

std::function<void(int, long long)>& AlertHook() {
  static std::function<void(int, long long)> hook;
  return hook;
}

std::string FillCount(const std::string& format, long long count) {
  std::string text = format;
  const size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(count));
  return text;
}

// An account name or id placed into an address stays one path segment (or one query
// value): every byte outside the unreserved set is percent-encoded. Names made of
// letters, digits and "_" are unchanged.
std::string AddressPart(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out += char(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

bool DescribeServiceAlert(int kind, long long count, const std::string& qqName,
                          const std::string& sinaUserId, const std::string& sohuUserId,
                          SAlertContent& content) {
  const char* text = nullptr;
  const char* title = nullptr;
  std::string url;
  switch (kind) {
    case 1:
      text = "腾讯微博上有您%d条新私信";
      title = "腾讯微博有您的新私信";
      url = HttpUrl(EHost::TencentWeb, "/messages/inbox");
      break;
    case 2:
      text = "您有%d条提到我的消息";
      title = "腾讯微博有提到我的消息";
      url = HttpUrl(EHost::TencentWeb, "/at");
      break;
    case 3:
      text = "您在腾讯微博上关注的好友已更新了%d条新微博";
      title = "你关注的好友有更新";
      url = HttpUrl(EHost::TencentWeb, "/");
      break;
    case 4:
      text = "您在腾讯微博上增加了%d个新粉丝";
      title = "您在腾讯微博上有新粉丝";
      url = HttpUrl(EHost::TencentWeb, "/" + AddressPart(qqName) + "/follower");
      break;
    case 11:
      text = "新浪微博上有您%d条新私信";
      title = "新浪微博有您的新私信";
      url = HttpUrl(EHost::SinaWeb, "/messages");
      break;
    case 12:
      text = "您有%d条提到我的消息";
      title = "新浪微博有提到我的消息";
      url = HttpUrl(EHost::SinaWeb, "/atme");
      break;
    case 13:
      text = "您在新浪微博上关注的好友已更新了%d条新微博";
      title = "你关注的好友有更新";
      url = HttpUrl(EHost::SinaWeb, "/");
      break;
    case 14:
      text = "您在新浪微博上增加了%d个新粉丝";
      title = "您在新浪微博上有新粉丝";
      url = HttpUrl(EHost::SinaWeb, "/" + AddressPart(sinaUserId) + "/fans");
      break;
    case 23:
      text = "您在搜狐微博上关注的好友已更新了%d条新微博";
      title = "你关注的好友有更新";
      url = HttpUrl(EHost::SohuWeb, "/home");
      break;
    case 24:
      text = "您在搜狐微博上增加了%d个新粉丝";
      title = "您在搜狐微博上有新粉丝";
      url = HttpUrl(EHost::SohuWeb, "/follow/followed.jsp?uid=" + AddressPart(sohuUserId));
      break;
    default:
      return false;
  }
  content.title = title;
  content.text = FillCount(text, count);
  content.url = url;
  return true;
}

void SetServiceAlertHook(std::function<void(int kind, long long count)> hook) {
  AlertHook() = std::move(hook);
}

LRESULT CMainDlg::OnServiceAlert(WPARAM kind, LPARAM count) {
  const int alertKind = kind > WPARAM(INT_MAX) ? 0 : int(kind);  // 0: no such kind
  if (const auto& hook = AlertHook()) hook(alertKind, count);
  // The account fields are written only on this thread, so they are read directly.
  SAlertContent content;
  if (!DescribeServiceAlert(alertKind, count, m_strQQName, m_strSinaUserID, m_strSohuUserID,
                            content))
    return 0;
  CAlertPopup::Open(this, content.title, content.text, content.url);
  return 0;
}
