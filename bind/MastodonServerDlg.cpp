// CMastodonServerDlg: offering a server and reading the one the user chose.
#include "bind/MastodonServerDlg.h"

#include <QLineEdit>

#include "bind/VerifyCodeDlg.h"
#include "res/Resource.h"

namespace {

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
    : CDialog(IDD_MASTODON_SERVER, parent ? parent : ApplicationMainWindow()) {}

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
