// CVerifyCodeDlg: reading and checking the verification code.
#include "bind/VerifyCodeDlg.h"

#include <QApplication>

#include "platform/Shell.h"
#include "res/Resource.h"

std::string TrimTrailingWhiteSpace(std::string text) {
  size_t end = text.size();
  while (end > 0) {
    const char c = text[end - 1];
    if (c != ' ' && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r') break;
    --end;
  }
  text.resize(end);
  return text;
}

CVerifyCodeDlg::CVerifyCodeDlg(QWidget* parent)
    : CDialog(IDD_VERIFY_CODE, parent ? parent : ApplicationMainWindow()) {}

bool CVerifyCodeDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_strVerifyCode.clear();
  return true;
}

void CVerifyCodeDlg::OnOK() {
  m_strVerifyCode = TrimTrailingWhiteSpace(GetDlgItemText(IDC_VERIFY_CODE));
  if (m_strVerifyCode.empty()) {
    AfxMessageBox("请输入您在网页上看到的验证码！");
    return;
  }
  CDialog::OnOK();
}
