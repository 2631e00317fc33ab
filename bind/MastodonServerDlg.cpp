// CMastodonServerDlg: offering a server and reading the one the user chose.
#include "bind/MastodonServerDlg.h"

#include <QLineEdit>

#include "bind/VerifyCodeDlg.h"
#include "res/Resource.h"

namespace {

constexpr int IDD_MASTODON_SERVER = 137;
constexpr int IDC_MASTODON_SERVER = 1001;
constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;

// Asks for the Mastodon server before its binding starts; prefilled with the suggestion.
const SDialogDef kServerDialog = {
    IDD_MASTODON_SERVER,
    "绑定Mastodon",
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    0,
    "宋体",
    9,
    200,
    56,
    0,
    {
        {IDC_STATIC, ECtrlKind::Static, "请输入Mastodon服务器地址(如mastodon.social):", 7, 7, 186,
         8, kChild | WS_GROUP, 0},
        {IDC_MASTODON_SERVER, ECtrlKind::Edit, "", 7, 18, 186, 13,
         kChild | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0},
        {IDOK, ECtrlKind::PushButton, "确定", 97, 36, 46, 15,
         kChild | WS_TABSTOP | BS_PUSHBUTTON | BS_DEFPUSHBUTTON, 0},
        {IDCANCEL, ECtrlKind::PushButton, "取消", 147, 36, 46, 15,
         kChild | WS_TABSTOP | BS_PUSHBUTTON, 0},
    },
    {IDC_MASTODON_SERVER, IDOK, IDCANCEL},
};

// Removes single-byte white space (space, tab, LF, VT, FF, CR) at both ends: a server
// name never starts or ends with it, and pasted addresses often carry some.
std::string TrimWhiteSpace(std::string text) {
  text = TrimTrailingWhiteSpace(std::move(text));
  size_t begin = 0;
  while (begin < text.size()) {
    const char c = text[begin];
    if (c != ' ' && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r') break;
    ++begin;
  }
  return text.substr(begin);
}

}  // namespace

CMastodonServerDlg::CMastodonServerDlg(QWidget* parent)
    : CDialog(kServerDialog, parent ? parent : ApplicationMainWindow()) {}

bool CMastodonServerDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDlgItemText(IDC_MASTODON_SERVER, m_strServer);
  // The offer is selected, so typing another server replaces it.
  if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(IDC_MASTODON_SERVER))) edit->selectAll();
  return true;
}

void CMastodonServerDlg::OnOK() {
  m_strServer = TrimWhiteSpace(GetDlgItemText(IDC_MASTODON_SERVER));
  CDialog::OnOK();
}

void CMastodonServerDlg::OnCancel() {
  m_strServer.clear();
  CDialog::OnCancel();
}
