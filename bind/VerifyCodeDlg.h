// CVerifyCodeDlg: the small modal dialog in which the user types the verification code
// that a service's authorisation page shows during binding.
#pragma once
#include <string>

#include "platform/Dialog.h"

class CVerifyCodeDlg : public CDialog {
  Q_OBJECT
 public:
  // Without a parent the application's main window owns the dialog, so the dialog is
  // modal over it.
  explicit CVerifyCodeDlg(QWidget* parent = nullptr);

  // The code that OK accepted, trailing white space removed; empty when cancelled.
  std::string m_strVerifyCode;

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
};

// Removes trailing single-byte white space (space, tab, LF, VT, FF, CR); leading white
// space stays. Bytes of multi-byte characters are never white space in the code pages
// the program uses (their bytes lie above 0x3F), so a plain backwards scan is safe.
std::string TrimTrailingWhiteSpace(std::string text);
