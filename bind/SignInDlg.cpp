// CSignInDlg: the sign-in form, its link button and the check of the password's shape.
#include "bind/SignInDlg.h"

#include <QLabel>
#include <QLineEdit>

#include "platform/Shell.h"
#include "platform/Translation.h"
#include "res/Resource.h"

namespace {

constexpr int IDD_SIGN_IN = 138;
constexpr int IDC_SERVER_LABEL = 1001;
constexpr int IDC_SERVER = 1002;
constexpr int IDC_ACCOUNT_LABEL = 1003;
constexpr int IDC_ACCOUNT = 1004;
constexpr int IDC_PASSWORD_LABEL = 1005;
constexpr int IDC_PASSWORD = 1006;
constexpr int IDC_LINK = 1007;
constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kEdit = kChild | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;

// The captions are the form's; the ones here only make each label its field's buddy.
const SDialogDef kSignInDialog = {
    IDD_SIGN_IN,
    "",
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    0,
    "宋体",
    9,
    220,
    86,
    0,
    {
        {IDC_SERVER_LABEL, ECtrlKind::Static, "服务器:", 7, 9, 64, 8, kChild | WS_GROUP, 0},
        {IDC_SERVER, ECtrlKind::Edit, "", 74, 7, 139, 13, kEdit, 0},
        {IDC_ACCOUNT_LABEL, ECtrlKind::Static, "账号:", 7, 26, 64, 8, kChild | WS_GROUP, 0},
        {IDC_ACCOUNT, ECtrlKind::Edit, "", 74, 24, 139, 13, kEdit, 0},
        {IDC_PASSWORD_LABEL, ECtrlKind::Static, "密码:", 7, 43, 64, 8, kChild | WS_GROUP, 0},
        {IDC_PASSWORD, ECtrlKind::Edit, "", 74, 41, 139, 13, kEdit, 0},
        {IDC_LINK, ECtrlKind::PushButton, "", 7, 64, 96, 15, kChild | WS_TABSTOP | BS_PUSHBUTTON,
         0},
        {IDOK, ECtrlKind::PushButton, "确定", 117, 64, 46, 15,
         kChild | WS_TABSTOP | BS_PUSHBUTTON | BS_DEFPUSHBUTTON, 0},
        {IDCANCEL, ECtrlKind::PushButton, "取消", 167, 64, 46, 15,
         kChild | WS_TABSTOP | BS_PUSHBUTTON, 0},
    },
    {IDC_SERVER, IDC_ACCOUNT, IDC_PASSWORD, IDOK, IDCANCEL, IDC_LINK},
};

std::string Trim(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r\n\v\f");
  if (begin == std::string::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t\r\n\v\f") - begin + 1);
}

QString Caption(const std::string& label) {
  QString text = QString::fromStdString(label);
  if (text.endsWith(QChar(':')) || text.endsWith(QChar(0xFF1A))) text.chop(1);
  return text;
}

}  // namespace

bool FitsPattern(const std::string& text, const std::string& pattern) {
  if (pattern.empty()) return true;
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (pattern[i] == 'x' ? !alnum : text[i] != pattern[i]) return false;
  }
  return true;
}

CSignInDlg::CSignInDlg(const SSignInForm& form, QWidget* parent)
    : CDialog(kSignInDialog, parent ? parent : ApplicationMainWindow()), m_form(form) {}

bool CSignInDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // The form's texts are the service's, in Chinese; they are shown translated.
  setWindowTitle(QString::fromStdString(Tr(m_form.title)));
  const struct {
    int label, field;
    const std::string& caption;
  } fields[] = {{IDC_SERVER_LABEL, IDC_SERVER, m_form.serverLabel},
                {IDC_ACCOUNT_LABEL, IDC_ACCOUNT, m_form.accountLabel},
                {IDC_PASSWORD_LABEL, IDC_PASSWORD, m_form.passwordLabel}};
  for (const auto& f : fields) {
    SetDlgItemText(f.label, Tr(f.caption));
    if (QWidget* field = GetDlgItem(f.field)) field->setAccessibleName(Caption(Tr(f.caption)));
  }
  SetDlgItemText(IDC_SERVER, m_form.server);
  SetDlgItemText(IDC_ACCOUNT, m_form.account);
  SetDlgItemText(IDC_LINK, Tr(m_form.linkCaption));
  if (QWidget* link = GetDlgItem(IDC_LINK)) link->setVisible(!m_form.linkUrl.empty());
  OnCommand(IDC_LINK, [this] { ShellOpenUrl(m_form.linkUrl); });
  if (auto* password = qobject_cast<QLineEdit*>(GetDlgItem(IDC_PASSWORD)))
    password->setEchoMode(QLineEdit::Password);
  // The offer is selected, so typing another server replaces it.
  if (auto* server = qobject_cast<QLineEdit*>(GetDlgItem(IDC_SERVER))) server->selectAll();
  m_answer = SSignInAnswer();
  return true;
}

void CSignInDlg::OnOK() {
  SSignInAnswer answer;
  answer.server = Trim(GetDlgItemText(IDC_SERVER));
  answer.account = Trim(GetDlgItemText(IDC_ACCOUNT));
  answer.password = GetDlgItemText(IDC_PASSWORD);
  // A password of another shape is warned about once; OK again with it goes on.
  if (!answer.password.empty() && !FitsPattern(answer.password, m_form.passwordPattern) &&
      answer.password != m_warnedPassword && !m_form.passwordWarning.empty()) {
    m_warnedPassword = answer.password;
    AfxMessageBox(Tr(m_form.passwordWarning));
    return;
  }
  m_warnedPassword.clear();
  answer.ok = true;
  m_answer = answer;
  CDialog::OnOK();
}

void CSignInDlg::OnCancel() {
  m_warnedPassword.clear();
  m_answer = SSignInAnswer();
  CDialog::OnCancel();
}
