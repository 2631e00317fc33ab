// CProxySetDlg: showing the main window's proxy fields in the dialog's controls, and
// taking them back (window fields, then settings file) when the user confirms.
#include "app/ProxySetDlg.h"

#include "app/MainDlg.h"
#include "net/ProxyText.h"
#include "platform/Shell.h"
#include "res/Resource.h"
#include "settings/Profile.h"

namespace {

// Radio buttons and the field value each stands for, in the order they are checked.
struct SRadioValue {
  int id;
  int value;
};
constexpr SRadioValue kRangeButtons[] = {
    {IDC_PROXY_NONE, 0}, {IDC_PROXY_TWITTER_ONLY, 1}, {IDC_PROXY_ALL, 2}};
constexpr SRadioValue kTypeButtons[] = {
    {IDC_PROXY_HTTP, 0}, {IDC_PROXY_SOCKS4, 4}, {IDC_PROXY_SOCKS5, 7}};

}  // namespace

CProxySetDlg::CProxySetDlg(CMainDlg* main) : CDialog(IDD_PROXY_SET, main), m_pMain(main) {}

bool CProxySetDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!m_pMain) return true;
  const CProxySettings proxy = m_pMain->ReadProxy();
  for (const SRadioValue& b : kRangeButtons)
    CheckDlgButton(b.id, proxy.range == b.value ? BST_CHECKED : BST_UNCHECKED);
  for (const SRadioValue& b : kTypeButtons)
    CheckDlgButton(b.id, proxy.type == b.value ? BST_CHECKED : BST_UNCHECKED);
  const auto address = static_cast<uint32_t>(proxy.address);
  if (address != 0) SetDlgItemText(IDC_PROXY_ADDRESS, FormatProxyAddress(address));
  SetDlgItemText(IDC_PROXY_PORT, std::to_string(proxy.port));
  return true;
}

void CProxySetDlg::OnOK() {
  if (!m_pMain) return CDialog::OnOK();
  const std::string address = GetDlgItemText(IDC_PROXY_ADDRESS);
  if (!IsDlgButtonChecked(IDC_PROXY_NONE) && address.empty()) {
    AfxMessageBox("代理地址不能为空!");
    return;  // the dialog stays open with the user's choices
  }

  CProxySettings proxy = m_pMain->ReadProxy();
  proxy.address = ParseProxyAddress(address);
  proxy.port = ParseSignedNumber(GetDlgItemText(IDC_PROXY_PORT));
  for (const SRadioValue& b : kRangeButtons) {
    if (IsDlgButtonChecked(b.id)) {
      proxy.range = b.value;
      break;
    }
  }
  for (const SRadioValue& b : kTypeButtons) {
    if (IsDlgButtonChecked(b.id)) {
      proxy.type = b.value;
      break;
    }
  }
  // Requests from now on take the new proxy; one already running keeps its own.
  m_pMain->WriteProxy(proxy);

  ProfileInt(true, "ProxyType", proxy.type, 0);
  ProfileInt(true, "ProxyRange", proxy.range, 0);
  ProfileInt(true, "ProxyIP", static_cast<int>(static_cast<uint32_t>(proxy.address)), 0);
  ProfileInt(true, "ProxyPort", proxy.port, 0);
  EndDialog(IDOK);
}
