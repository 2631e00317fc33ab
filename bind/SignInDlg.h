// CSignInDlg: the modal dialog that signs in to a service with a server, an account and a
// password. Every text (title, labels, the offered server and account, the link button,
// the password's expected shape and its warning) comes from the form the service's row
// gives; the dialog itself knows no service.
#pragma once
#include <string>

#include "platform/Dialog.h"
#include "services/Session.h"

class CSignInDlg : public CDialog {
  Q_OBJECT
 public:
  // Without a parent the application's main window owns the dialog, so the dialog is
  // modal over it.
  explicit CSignInDlg(const SSignInForm& form, QWidget* parent = nullptr);

  // What OK accepted: server and account without white space around them, the password
  // as typed. ok is false when cancelled.
  SSignInAnswer m_answer;

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

 private:
  SSignInForm m_form;
  std::string m_warnedPassword;  // the password the warning was shown for
};

// Whether text has the shape of pattern: each 'x' a letter or a digit, any other
// character itself. An empty pattern fits everything.
bool FitsPattern(const std::string& text, const std::string& pattern);
